// Whether the application has caught up with the board, beyond the board's
// own driver event queues: its application event queues, which live in the
// library of the application's process, and the requests on their way to
// the board. The scenario runner moves the clock only when all are quiet.
#pragma once

#include <cstdint>

namespace zel::sim {

// Who answers for the application queues. Without a probe the library of
// this very process does (the board in the application's own process); a
// service that serves other processes sets one that asks what they told it.
// Called under the board's lock: it must not call the board.
struct ApplicationProbe {
    bool (*pfnQueuesDrained)(void *pContext);
    void *pContext;
};
// nullptr: this process's library. The probe must stay valid until it is
// replaced and no scenario runs.
void SetApplicationProbe(const ApplicationProbe *pProbe);
bool ApplicationQueuesDrained();

// A request counts from before it waits for the board's lock until its
// reply is made, so a runner holding the lock sees one that waits for it.
void RequestStarted();
void RequestEnded();
std::uint32_t RequestsInFlight();

}  // namespace zel::sim
