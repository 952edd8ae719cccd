// Driver event queues and event data: six operations, one request each. The
// library neither interprets nor converts a record word.
#include "event_queues.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "request.h"

namespace zel {
namespace {

// Both set forms carry a whole record.
template <class R>
ZEL_RESULT PutRecord(ZEL_HANDLE hEventQueue, const ZelEventData &record) {
    Request<R> request;
    request.template Put<R::hEventQueue>(hEventQueue);
    request.template Put<R::nExData0>(record.nExData0);
    request.template Put<R::nExData1>(record.nExData1);
    request.template Put<R::nData0>(record.nData0);
    request.template Put<R::nData1>(record.nData1);
    request.template Put<R::nData2>(record.nData2);
    request.template Put<R::nData3>(record.nData3);
    request.template Put<R::nData4>(record.nData4);
    request.template Put<R::nData5>(record.nData5);
    return request.Send();
}

}  // namespace
}  // namespace zel

extern "C" {

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreateEventQueue(ZEL_UINT32 coMaxEvents, OSA_HANDLE hEvent,
                                                       ZEL_HANDLE *phEventQueue) {
    if (phEventQueue == nullptr) return zel::kEvqCreateNullHandleOut;
    using R = zel::event_queues::create_queue;
    zel::Request<R> request;
    request.Put<R::coMaxEvents>(coMaxEvents);
    request.Put<R::hEvent>(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hEvent)));
    request.Put<R::hDriver>(zel::ConnectionHandleWord());
    const ZEL_RESULT result = request.Send();
    *phEventQueue = request.Out<R::hEventQueue>();
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetEventData(ZEL_HANDLE hEventQueue, ZelEventData *pEventData) {
    if (pEventData == nullptr) return zel::kEvqGetNullRecord;
    using R = zel::event_queues::get_event_data;
    zel::Request<R> request;
    request.Put<R::hEventQueue>(hEventQueue);
    const ZEL_RESULT result = request.Send();
    *pEventData = {request.Out<R::nExData0>(), request.Out<R::nExData1>(), request.Out<R::nData0>(),
                   request.Out<R::nData1>(),   request.Out<R::nData2>(),   request.Out<R::nData3>(),
                   request.Out<R::nData4>(),   request.Out<R::nData5>()};
    return result;
}

// The driver writes the records straight into the caller's array; a null
// array or a zero count is the driver's to refuse.
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetEventDataEx(ZEL_HANDLE hEventQueue, ZelEventData *pEventData,
                                                     ZEL_UINT32 coEventData, ZEL_UINT32 *pcoEventsReturned) {
    if (pcoEventsReturned == nullptr) return zel::kEvqGetExNullCountOut;
    using R = zel::event_queues::get_event_data_ex;
    zel::Request<R> request;
    request.Put<R::hEventQueue>(hEventQueue);
    request.PutAddress<R::pEventData>(pEventData);
    request.Put<R::coEventData>(coEventData);
    const ZEL_RESULT result = request.Send();
    // The driver's count is never passed on above the room it was given, so a
    // caller that walks the records it is told of stays inside its array.
    *pcoEventsReturned = std::min(request.Out<R::coEventsReturned>(), coEventData);
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetEventData(ZEL_HANDLE hEventQueue, ZEL_UINT32 nData0, ZEL_UINT32 nData1,
                                                   ZEL_UINT32 nData2, ZEL_UINT32 nData3, ZEL_UINT32 nData4,
                                                   ZEL_UINT32 nData5) {
    const ZelEventData record{0, 0, nData0, nData1, nData2, nData3, nData4, nData5};
    return zel::PutRecord<zel::event_queues::set_event_data>(hEventQueue, record);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetEventDataEx(ZEL_HANDLE hEventQueue, ZEL_UINT32 nData0, ZEL_UINT32 nData1,
                                                     ZEL_UINT32 nData2, ZEL_UINT32 nData3, ZEL_UINT32 nData4,
                                                     ZEL_UINT32 nData5, ZEL_UINT32 nExData0, ZEL_UINT32 nExData1) {
    const ZelEventData record{nExData0, nExData1, nData0, nData1, nData2, nData3, nData4, nData5};
    return zel::PutRecord<zel::event_queues::set_event_data_ex>(hEventQueue, record);
}

// The buffer size goes before the event code. The copy stops at the text's
// first NUL, at the caller's size and at the 256-byte field, whichever comes
// first, and always ends with a NUL when the caller gave room for one.
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEventCode2String(ZEL_HANDLE hDevice, ZEL_UINT32 nEventCode,
                                                       ZEL_UINT32 cbStringBuf, char *pszStringBuf) {
    if (cbStringBuf != 0 && pszStringBuf == nullptr) return zel::kEvqCode2StringNullBuffer;
    using R = zel::event_queues::event_code_text;
    zel::Request<R> request;
    request.Put<R::hDevice>(hDevice);
    request.Put<R::cbStringBuf>(cbStringBuf);
    request.Put<R::nEventCode>(nEventCode);
    const ZEL_RESULT result = request.Send();
    if (cbStringBuf != 0) {
        const auto field = request.OutBytes<R::pszStringBuf>();
        const auto limit = std::min<std::size_t>(cbStringBuf - 1, field.size() - 1);
        const auto nul = std::find(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(limit), 0);
        const auto cbText = static_cast<std::size_t>(nul - field.begin());
        std::memcpy(pszStringBuf, field.data(), cbText);
        pszStringBuf[cbText] = '\0';
    }
    return result;
}

}  // extern "C"
