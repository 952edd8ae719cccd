// The result a replay answers with once a request has matched nothing in its
// cassette: a driver result of the device-control source, as the simulated
// driver's own failures are, so a program describes it without a board.
#pragma once

#include <zel/zelsim_cassette.h>

#include "sim_failures.h"

namespace zel::sim {

// X(name, source, severity, code, line, catalogue text)
#define ZEL_SIM_REPLAY_FAILURES(X)                                            \
    X(kSimReplayNotInCassette, kSourceDriverDevice, 1, ZEL_E_CALL_FAIL, 2500, \
      "replay: the request is not in the cassette")

ZEL_DEFINE_FAILURES(ZEL_SIM_REPLAY_FAILURES, kSimReplayFailures)

static_assert(kSimReplayNotInCassette == static_cast<ZEL_RESULT>(ZELSIM_REPLAY_NOT_IN_CASSETTE));

}  // namespace zel::sim
