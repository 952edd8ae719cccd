#include "event_queue_model.h"

#include <atomic>

#include "board.h"
#include "board_clients.h"
#include "board_time.h"

namespace zel::sim {
namespace {
std::atomic<const EventSignaller *> g_signaller{nullptr};
std::atomic<const ObjectKeeper *> g_keeper{nullptr};
std::atomic<SignalObserver> g_signalObserver{nullptr};
}  // namespace

void SetSignalObserver(SignalObserver observer) { g_signalObserver.store(observer); }

void SetEventSignaller(const EventSignaller *pSignaller) { g_signaller.store(pSignaller); }

void SetObjectKeeper(const ObjectKeeper *pKeeper) { g_keeper.store(pKeeper); }

bool MayReceive(ZEL_HANDLE hQueue, ZEL_HANDLE hObject) {
    const ObjectKeeper *keeper = g_keeper.load();
    return keeper == nullptr || keeper->pfnMayReceive(keeper->pContext, hQueue, hObject);
}

bool VisibleToCaller(ZEL_HANDLE hObject) {
    const ObjectKeeper *keeper = g_keeper.load();
    return keeper == nullptr || keeper->pfnVisible(keeper->pContext, hObject);
}

void ObjectClosed(ZEL_HANDLE hObject) {
    if (const ObjectKeeper *keeper = g_keeper.load()) keeper->pfnClosed(keeper->pContext, hObject);
}

void SignalBoundEvent(OSA_HANDLE hEvent) {
    if (const SignalObserver observer = g_signalObserver.load()) observer(hEvent);
    if (const EventSignaller *signaller = g_signaller.load()) {
        signaller->pfnSignal(signaller->pContext, hEvent);
    } else {
        ZelDrvSignalEvent(hEvent);
    }
}

bool QueueRecord(DriverEventQueue &queue, const ZelEventData &record) {
    if (queue.count >= queue.capacity) return false;
    queue.ring[(queue.head + queue.count) % queue.capacity] = record;
    ++queue.count;
    queue.drained = false;
    // The event belongs to the application; one it has closed is its own
    // affair and does not stop the record from being queued.
    if (queue.hEvent != nullptr) SignalBoundEvent(queue.hEvent);
    return true;
}

bool TakeRecord(DriverEventQueue &queue, ZelEventData &record) {
    if (queue.count == 0) return false;
    record = queue.ring[queue.head];
    queue.head = (queue.head + 1) % queue.capacity;
    --queue.count;
    return true;
}

void PostDeviceEvent(Board &board, ZEL_HANDLE hObject, std::uint32_t nEventCode, std::uint32_t nState) {
    PostBoardEvent(board, hObject, nEventCode, nState, 0, 0);
}

void PostBoardEvent(Board &board, ZEL_HANDLE hObject, std::uint32_t nEventCode, std::uint32_t nData1,
                    std::uint32_t nData4, std::uint32_t nData5) {
    EventQueueState &state = board.queues;
    // Every happening takes a sequence number, queued or not.
    ++state.sequence;
    if (state.queues.Count() == 0) return;
    const std::uint64_t now = DriverTimeMicros();
    ZelEventData record{};
    record.nExData0 = hObject;
    record.nExData1 = state.sequence;
    record.nData0 = nEventCode;
    record.nData1 = nData1;
    record.nData2 = static_cast<std::uint32_t>(now);
    record.nData3 = static_cast<std::uint32_t>(now >> 32);
    record.nData4 = nData4;
    record.nData5 = nData5;
    // A queue that may not hear of the object is not full of it either: it
    // neither takes the record nor counts it lost.
    state.queues.ForEach([&record, hObject](ZEL_HANDLE hQueue, DriverEventQueue &queue) {
        if (!MayReceive(hQueue, hObject)) return;
        if (!QueueRecord(queue, record)) ++queue.lost;
    });
}

bool CloseEventQueue(Board &board, ZEL_HANDLE hEventQueue) {
    auto &queues = board.queues.queues;
    DriverEventQueue *queue = queues.Find(hEventQueue);
    if (queue == nullptr) return false;
    *queue = DriverEventQueue{};  // gives the ring's memory back now
    queues.Remove(hEventQueue);
    ObjectClosed(hEventQueue);
    return true;
}

DriverEventQueue *FindEventQueue(Board &board, ZEL_HANDLE hEventQueue) { return board.queues.queues.Find(hEventQueue); }

}  // namespace zel::sim
