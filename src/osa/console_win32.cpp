// The console key read and the tone on Windows: the runtime's unechoed key
// read and the kernel's Beep.
#include <conio.h>
#include <stdio.h>
#include <windows.h>

#include "console_platform.h"

namespace zel::osa {

ZEL_INT32 ReadKeyUnechoed() { return _getch(); }

ZEL_BOOL SoundTone(ZEL_UINT32 nFrequency, ZEL_UINT32 nDuration) {
    return static_cast<ZEL_BOOL>(Beep(nFrequency, nDuration));
}

void LockStdin() { _lock_file(stdin); }
void UnlockStdin() { _unlock_file(stdin); }

}  // namespace zel::osa
