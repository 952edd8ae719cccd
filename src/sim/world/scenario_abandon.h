// Abandoning a scenario run from outside it: a run played for someone who
// has gone (a service's control connection) ends without waiting it out.
#pragma once

#include <atomic>

namespace zel::sim {

// While a run plays on the calling thread, *pAbandon set ends it at its
// next wait for the application, failed ("the run was abandoned"), and the
// board is left as after any run. nullptr: nothing abandons it. The flag
// must outlive the run.
void SetRunAbandon(const std::atomic<bool> *pAbandon);

}  // namespace zel::sim
