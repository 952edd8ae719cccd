// Driver event queues and event data: six operations, one request each. The
// library neither interprets nor converts a record word.
#include "event_queues.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "request.h"

namespace zel {
namespace {

// A record from 32 response bytes, word by word (little-endian on the wire).
ZelEventData RecordAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
    ZelEventData record;
    record.nExData0 = GetWord(bytes, offset);
    record.nExData1 = GetWord(bytes, offset + 4);
    record.nData0 = GetWord(bytes, offset + 8);
    record.nData1 = GetWord(bytes, offset + 12);
    record.nData2 = GetWord(bytes, offset + 16);
    record.nData3 = GetWord(bytes, offset + 20);
    record.nData4 = GetWord(bytes, offset + 24);
    record.nData5 = GetWord(bytes, offset + 28);
    return record;
}

// Both set forms carry a whole record at 20: the extension words at 20 and
// 24, the data words from 28.
template <RequestLayout Req>
ZEL_RESULT PutRecord(ZEL_HANDLE hEventQueue, const ZelEventData &record) {
    Request<Req> request;
    request.template Put<16>(hEventQueue);
    request.template Put<20>(record.nExData0);
    request.template Put<24>(record.nExData1);
    request.template Put<28>(record.nData0);
    request.template Put<32>(record.nData1);
    request.template Put<36>(record.nData2);
    request.template Put<40>(record.nData3);
    request.template Put<44>(record.nData4);
    request.template Put<48>(record.nData5);
    return request.Send();
}

}  // namespace
}  // namespace zel

extern "C" {

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreateEventQueue(ZEL_UINT32 coMaxEvents, OSA_HANDLE hEvent,
                                                       ZEL_HANDLE *phEventQueue) {
    if (phEventQueue == nullptr) return zel::kEvqCreateNullHandleOut;
    zel::Request<zel::req::kCreateEventQueue> request;
    request.Put<16>(coMaxEvents);
    request.Put<20>(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hEvent)));
    request.Put<24>(zel::ConnectionHandleWord());
    const ZEL_RESULT result = request.Send();
    *phEventQueue = request.Out<8>();
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetEventData(ZEL_HANDLE hEventQueue, ZelEventData *pEventData) {
    if (pEventData == nullptr) return zel::kEvqGetNullRecord;
    zel::Request<zel::req::kGetEventData> request;
    request.Put<16>(hEventQueue);
    const ZEL_RESULT result = request.Send();
    *pEventData = zel::RecordAt(request.OutBytes(), 8);
    return result;
}

// The driver writes the records straight into the caller's array; a null
// array or a zero count is the driver's to refuse.
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetEventDataEx(ZEL_HANDLE hEventQueue, ZelEventData *pEventData,
                                                     ZEL_UINT32 coEventData, ZEL_UINT32 *pcoEventsReturned) {
    if (pcoEventsReturned == nullptr) return zel::kEvqGetExNullCountOut;
    zel::Request<zel::req::kGetEventDataEx> request;
    request.Put<16>(hEventQueue);
    request.PutAddress(pEventData);
    request.Put<24>(coEventData);
    const ZEL_RESULT result = request.Send();
    // The driver's count is never passed on above the room it was given, so a
    // caller that walks the records it is told of stays inside its array.
    *pcoEventsReturned = std::min(request.Out<8>(), coEventData);
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetEventData(ZEL_HANDLE hEventQueue, ZEL_UINT32 nData0, ZEL_UINT32 nData1,
                                                   ZEL_UINT32 nData2, ZEL_UINT32 nData3, ZEL_UINT32 nData4,
                                                   ZEL_UINT32 nData5) {
    const ZelEventData record{0, 0, nData0, nData1, nData2, nData3, nData4, nData5};
    return zel::PutRecord<zel::req::kSetEventData>(hEventQueue, record);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetEventDataEx(ZEL_HANDLE hEventQueue, ZEL_UINT32 nData0, ZEL_UINT32 nData1,
                                                     ZEL_UINT32 nData2, ZEL_UINT32 nData3, ZEL_UINT32 nData4,
                                                     ZEL_UINT32 nData5, ZEL_UINT32 nExData0, ZEL_UINT32 nExData1) {
    const ZelEventData record{nExData0, nExData1, nData0, nData1, nData2, nData3, nData4, nData5};
    return zel::PutRecord<zel::req::kSetEventDataEx>(hEventQueue, record);
}

// The buffer size goes before the event code. The copy stops at the text's
// first NUL, at the caller's size and at the 256-byte field, whichever comes
// first, and always ends with a NUL when the caller gave room for one.
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEventCode2String(ZEL_HANDLE hDevice, ZEL_UINT32 nEventCode,
                                                       ZEL_UINT32 cbStringBuf, char *pszStringBuf) {
    if (cbStringBuf != 0 && pszStringBuf == nullptr) return zel::kEvqCode2StringNullBuffer;
    zel::Request<zel::req::kEventCode2String> request;
    request.Put<16>(hDevice);
    request.Put<20>(cbStringBuf);
    request.Put<24>(nEventCode);
    const ZEL_RESULT result = request.Send();
    if (cbStringBuf != 0) {
        const auto field = request.OutBytes().subspan(zel::evq::kTextOffset, zel::evq::kTextField);
        const auto limit = std::min<std::size_t>(cbStringBuf - 1, field.size() - 1);
        const auto nul = std::find(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(limit), 0);
        const auto cbText = static_cast<std::size_t>(nul - field.begin());
        std::memcpy(pszStringBuf, field.data(), cbText);
        pszStringBuf[cbText] = '\0';
    }
    return result;
}

}  // extern "C"
