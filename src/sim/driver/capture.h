// Capture at the simulator's provider entry: every exchange exactly as the
// library sent and received it, the opens and closes of its devices, and the
// signals of events bound to its queues, written to a cassette.
#pragma once

#include <zel/zel.h>

namespace zel::sim::capture {

// One provider call while a capture may run. Signals raised on this thread
// during the call are written after the call's own record, so a replay
// delivers them once the reply is in the program's hands.
class Call {
public:
    Call();
    ~Call();
    Call(const Call &) = delete;
    Call &operator=(const Call &) = delete;

    bool Active() const { return active_; }
    void Exchange(const char *pszDevice, ZEL_UINT32 nControlCode, const void *pIn, ZEL_UINT32 cbIn, const void *pOut,
                  ZEL_UINT32 cbOut, ZEL_UINT32 cbReturned, bool succeeded);
    void Opened(const char *pszDevice, bool opened);
    void Closed(const char *pszDevice);

private:
    bool active_ = false;
};

}  // namespace zel::sim::capture
