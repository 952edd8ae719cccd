// The parts of the console services that differ by platform. Each platform's
// console_*.cpp implements them; src/osa/console.cpp holds the rest.
#pragma once

#include <zel/zel.h>

namespace zel::osa {

// One key from the console without echo, waiting for it: its code (0..255),
// or -1 when input has ended.
ZEL_INT32 ReadKeyUnechoed();

// Sounds a tone; nonzero when it could be sounded.
ZEL_BOOL SoundTone(ZEL_UINT32 nFrequency, ZEL_UINT32 nDuration);

// Holds standard input's stream lock across a whole line read.
void LockStdin();
void UnlockStdin();

}  // namespace zel::osa
