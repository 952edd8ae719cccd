// What the board service uses of the simulator: the handle format, so that
// it can tell which objects a client holds; the event signaller, so that a
// record queued for a client reaches that client's process; the object
// keeper, so that records, the debug dump and the board's own closes follow
// who holds what; the application probe, so that a scenario waits for what
// its clients say of their application queues; the stimulus table, which
// its commands and the control command's help come from; for its trace, log
// and status the board time, the objects' names and the request log with
// its times; a way to abandon a scenario run whose control connection went;
// and the scenario parameters the control command substitutes. The service
// sees nothing else of the simulator's inside.
#pragma once

#include "../board/application_state.h"
#include "../board/board_clients.h"
#include "../board/board_time.h"
#include "../board/event_signal.h"
#include "../board/handles.h"
#include "../board/object_names.h"
#include "../driver/request_log.h"
#include "../world/scenario_abandon.h"
#include "../world/scenario_parameters.h"
#include "../world/stimuli.h"
