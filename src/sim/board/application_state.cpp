#include "application_state.h"

#include <atomic>

#include "app_queue_state.h"

namespace zel::sim {
namespace {

std::atomic<const ApplicationProbe *> g_probe{nullptr};
std::atomic<std::uint32_t> g_requestsInFlight{0};

bool ThisProcessDrained() {
#if defined(_WIN32) && !defined(ZELSIM_BESIDE_LIBRARY)
    // The Windows library does not export its queue state: beside a
    // separate zel.dll the driver queues alone tell. The simulated zel.dll
    // carries the library, so there the state is a plain call.
    return true;
#else
    return appqueue::BusyQueues(ZelAppQueuesState()) == 0;
#endif
}

}  // namespace

void SetApplicationProbe(const ApplicationProbe *pProbe) { g_probe.store(pProbe, std::memory_order_release); }

bool ApplicationQueuesDrained() {
    const ApplicationProbe *probe = g_probe.load(std::memory_order_acquire);
    return probe != nullptr ? probe->pfnQueuesDrained(probe->pContext) : ThisProcessDrained();
}

void RequestStarted() { g_requestsInFlight.fetch_add(1, std::memory_order_acq_rel); }
void RequestEnded() { g_requestsInFlight.fetch_sub(1, std::memory_order_acq_rel); }
std::uint32_t RequestsInFlight() { return g_requestsInFlight.load(std::memory_order_acquire); }

}  // namespace zel::sim
