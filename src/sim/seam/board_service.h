// What the board service uses of the simulator: the handle format, so that
// it can tell which objects a client holds; the event signaller, so that a
// record queued for a client reaches that client's process; the object
// keeper, so that records, the debug dump and the board's own closes follow
// who holds what; the application probe, so that a scenario waits for what
// its clients say of their application queues; and the stimulus table,
// which its commands and the control command's help come from. The service sees nothing else of the
// simulator's inside.
#pragma once

#include "../board/application_state.h"
#include "../board/board_clients.h"
#include "../board/event_signal.h"
#include "../board/handles.h"
#include "../world/stimuli.h"
