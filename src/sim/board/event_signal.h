// How the board signals the event bound to a driver event queue.
#pragma once

#include <zel/zel.h>

namespace zel::sim {

// Who sets the event bound to a driver event queue when a record is queued:
// ZelDrvSignalEvent unless another is put in place. The board service puts
// its own, which carries the signal to the client process that bound the
// event. Called under the board's lock: it must not block.
struct EventSignaller {
    void (*pfnSignal)(void *pContext, OSA_HANDLE hEvent);
    void *pContext;
};
// nullptr restores ZelDrvSignalEvent. The signaller must stay valid until it
// is replaced and no request is running.
void SetEventSignaller(const EventSignaller *pSignaller);
void SignalBoundEvent(OSA_HANDLE hEvent);

// Told of every signal of a bound event, whoever delivers it: a capture
// records it. Called under the board's lock, before the signal is delivered:
// it must not block. nullptr: nobody is told.
using SignalObserver = void (*)(OSA_HANDLE hEvent);
void SetSignalObserver(SignalObserver observer);

}  // namespace zel::sim
