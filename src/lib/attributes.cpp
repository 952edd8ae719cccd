// Attributes: type, value and the typed wrappers. ZEL_LIB_HANDLE is answered
// by the library itself; every other handle is one request to the driver.
#include "attributes.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>

#include "connection.h"
#include "export_alias.h"
#include "request.h"

namespace zel {
namespace {

struct LibraryAttribute {
    std::uint32_t id;
    std::uint32_t type;
    std::span<const std::uint8_t> value;  // its size is the attribute's size
    ZEL_RESULT bufferTooSmall;            // 0: any buffer of a word or more will do
};

constexpr std::array<std::uint8_t, 8> VersionBytes() {
    return protocol::HalfWordBytes<4>(
        {kLibraryVersion.nMajor, kLibraryVersion.nMinor, kLibraryVersion.nBuild, kLibraryVersion.nRevision});
}

template <std::size_t N>
constexpr std::array<std::uint8_t, N> StringBytes(const char (&text)[N]) {
    std::array<std::uint8_t, N> bytes{};
    for (std::size_t i = 0; i < N; ++i) bytes[i] = static_cast<std::uint8_t>(text[i]);
    return bytes;
}

constexpr std::array<std::uint8_t, 4> kFlagBytes = {attr::kLibraryFlag, 0, 0, 0};
constexpr auto kVersionBytes = VersionBytes();
constexpr auto kRevisionBytes = StringBytes(attr::kRevisionString);
constexpr auto kNameBytes = StringBytes(attr::kLibraryName);
static_assert(kVersionBytes == std::array<std::uint8_t, 8>{0x02, 0x00, 0x1D, 0x00, 0x01, 0x00, 0x00, 0x00});

const std::array<LibraryAttribute, 4> kLibraryAttributes = {{
    {ZEL_ATTR_LIB_REV_STR, ZEL_ATTR_TYPE_SZ, kRevisionBytes, kAttrLibBufferBelowRevStr},
    {ZEL_ATTR_LIB_REV_NUMBER, ZEL_ATTR_TYPE_STRUCT, kVersionBytes, kAttrLibBufferBelowVersion},
    {ZEL_ATTR_LIB_NAME, ZEL_ATTR_TYPE_SZ, kNameBytes, kAttrLibBufferBelowName},
    {ZEL_ATTR_LIB_FLAG, ZEL_ATTR_TYPE_BOOL, kFlagBytes, 0},
}};

const LibraryAttribute *FindLibraryAttribute(std::uint32_t nAttribId) {
    for (const LibraryAttribute &attribute : kLibraryAttributes) {
        if (attribute.id == nAttribId) return &attribute;
    }
    return nullptr;
}

ZEL_RESULT GetLibraryAttributeValue(ZEL_UINT32 nAttribId, void *pAttribValue, ZEL_UINT32 cbAttribValueBuf,
                                    ZEL_UINT32 *pcbAttribValueReturned) {
    if (pcbAttribValueReturned != nullptr) *pcbAttribValueReturned = 0;
    // The size test comes before the identifier is looked at.
    if (cbAttribValueBuf < sizeof(ZEL_UINT32)) return kAttrLibBufferBelowWord;
    if (pAttribValue == nullptr) return kAttrLibNullBuffer;
    const LibraryAttribute *attribute = FindLibraryAttribute(nAttribId);
    if (attribute == nullptr) return kAttrLibInvalidId;
    const auto cbValue = static_cast<std::uint32_t>(attribute->value.size());
    if (cbAttribValueBuf < cbValue) return attribute->bufferTooSmall;
    std::memcpy(pAttribValue, attribute->value.data(), cbValue);
    if (pcbAttribValueReturned != nullptr) *pcbAttribValueReturned = cbValue;
    return 0;
}

// The response block starts out holding the caller's bytes in its value
// area, so wherever the driver returns no value bytes the caller's own come
// back unchanged; the words before it start at 0.
ZEL_RESULT GetDriverAttributeValue(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId, void *pAttribValue,
                                   ZEL_UINT32 cbAttribValueBuf, ZEL_UINT32 *pcbAttribValueReturned) {
    if (cbAttribValueBuf == 0) return kAttrGetZeroBuffer;
    if (pAttribValue == nullptr) return kAttrGetNullBuffer;
    if (cbAttribValueBuf > attr::kMaxGetValueBuf) return kAttrGetBufferTooLarge;

    using R = attributes::get_value;
    const std::uint32_t cbBlock = cbAttribValueBuf + attr::kGetValueOverhead;
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[cbBlock]);
    if (!block) return kAttrGetOutOfResources;
    std::memset(block.get(), 0, R::pAttribValue.offset);
    std::memcpy(block.get() + R::pAttribValue.offset, pAttribValue, cbAttribValueBuf);
    block[cbBlock - 1] = 0;

    std::array<std::uint8_t, R::kLayout.cbIn> input{};
    PutWord(input, R::hObject, hObject);
    PutWord(input, R::nAttribId, nAttribId);
    PutWord(input, R::cbAttribValueBuf, cbAttribValueBuf);
    const ZEL_RESULT result =
        ZelDrvDeviceControl(R::kLayout.function, input.data(), static_cast<std::uint32_t>(input.size()), block.get(),
                            cbBlock, R::kLayout.framing);

    const std::span<const std::uint8_t> response(block.get(), cbBlock);
    std::memcpy(pAttribValue, block.get() + R::pAttribValue.offset, cbAttribValueBuf);
    // A value delivered is never reported larger than the caller's buffer, so
    // no caller reads past it. After a failure the word is the driver's own
    // (a driver may give the size it needs) and is passed on as it is.
    if (pcbAttribValueReturned != nullptr) {
        const std::uint32_t cbReported = GetWord(response, R::cbAttribValueReturned);
        *pcbAttribValueReturned = result >= 0 ? std::min(cbReported, cbAttribValueBuf) : cbReported;
    }
    return result;
}

}  // namespace
}  // namespace zel

extern "C" {

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeType(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                       ZEL_UINT32 *pnAttribType, ZEL_UINT32 *pcbAttribSize,
                                                       ZEL_UINT32 *pnAttribInfo) {
    if (pnAttribType == nullptr || pcbAttribSize == nullptr || pnAttribInfo == nullptr) {
        return zel::kAttrTypeNullOutput;
    }
    if (hObject == ZEL_LIB_HANDLE) {
        *pnAttribType = ZEL_ATTR_TYPE_STRUCT;
        *pcbAttribSize = 0;
        *pnAttribInfo = zel::attr::kLibraryAttribInfo;
        const zel::LibraryAttribute *attribute = zel::FindLibraryAttribute(nAttribId);
        if (attribute == nullptr) return zel::kAttrTypeInvalidId;
        *pnAttribType = attribute->type;
        *pcbAttribSize = static_cast<ZEL_UINT32>(attribute->value.size());
        *pnAttribInfo = zel::attr::kLibraryAttribInfo;
        return 0;
    }

    using R = zel::attributes::get_type;
    zel::Request<R> request;
    request.Put<R::hObject>(hObject);
    request.Put<R::nAttribId>(nAttribId);
    const ZEL_RESULT result = request.Send();
    *pnAttribType = request.Out<R::nAttribType>();
    *pcbAttribSize = request.Out<R::cbAttribSize>();
    *pnAttribInfo = request.Out<R::nAttribInfo>();
    return result;
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValue(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId, void *pAttribValue,
                                                        ZEL_UINT32 cbAttribValueBuf,
                                                        ZEL_UINT32 *pcbAttribValueReturned) {
    if (hObject == ZEL_LIB_HANDLE) {
        return zel::GetLibraryAttributeValue(nAttribId, pAttribValue, cbAttribValueBuf, pcbAttribValueReturned);
    }
    return zel::GetDriverAttributeValue(hObject, nAttribId, pAttribValue, cbAttribValueBuf, pcbAttribValueReturned);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetAttributeValue(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                        const void *pAttribValue, ZEL_UINT32 cbAttribValue) {
    if (cbAttribValue != 0 && pAttribValue == nullptr) return zel::kAttrSetNullValue;
    if (cbAttribValue > zel::attr::kMaxSetValue) return zel::kAttrSetValueTooLarge;

    using R = zel::attributes::set_value;
    const std::uint32_t cbBlock = cbAttribValue + zel::attr::kSetValueOverhead;
    std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[cbBlock]);
    if (!block) return zel::kAttrSetOutOfResources;
    const std::span<std::uint8_t> input(block.get(), cbBlock);
    std::memset(block.get(), 0, R::pAttribValue.offset);
    zel::PutWord(input, R::hObject, hObject);
    zel::PutWord(input, R::nAttribId, nAttribId);
    zel::PutWord(input, R::cbAttribValue, cbAttribValue);
    if (cbAttribValue != 0) std::memcpy(block.get() + R::pAttribValue.offset, pAttribValue, cbAttribValue);
    block[cbBlock - 1] = 0;

    std::array<std::uint8_t, R::kLayout.cbOut> response{};
    return zel::ZelDrvDeviceControl(R::kLayout.function, block.get(), cbBlock, response.data(),
                                    static_cast<std::uint32_t>(response.size()), R::kLayout.framing);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValueUint32(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                              ZEL_UINT32 *pAttribValue) {
    return ZelDrvGetAttributeValue(hObject, nAttribId, pAttribValue, sizeof(ZEL_UINT32), nullptr);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValueBool(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                            ZEL_BOOL *pAttribValue)
    ZEL_ALIAS(ZelDrvGetAttributeValueUint32, 12);

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValueUint32Ex(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                                ZEL_UINT32 nAttribValueIn, ZEL_UINT32 *pAttribValue) {
    if (pAttribValue == nullptr) return zel::kAttrUint32ExNullValue;
    *pAttribValue = nAttribValueIn;
    return ZelDrvGetAttributeValue(hObject, nAttribId, pAttribValue, sizeof(ZEL_UINT32), nullptr);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValueSz(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                          char *pszAttribValue, ZEL_UINT32 cbAttribValueBuf) {
    return ZelDrvGetAttributeValue(hObject, nAttribId, pszAttribValue, cbAttribValueBuf, nullptr);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetAttributeValueUint32(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                              ZEL_UINT32 nAttribValue) {
    return ZelDrvSetAttributeValue(hObject, nAttribId, &nAttribValue, sizeof(nAttribValue));
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetAttributeValueBool(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                            ZEL_BOOL nAttribValue)
    ZEL_ALIAS(ZelDrvSetAttributeValueUint32, 12);

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetAttributeValueSz(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                          const char *pszAttribValue) {
    if (pszAttribValue == nullptr) return zel::kAttrSetSzNullString;
    // The NUL travels with the string; a string too long for a 32-bit size
    // is refused like any value too large for its request.
    const std::size_t cbString = std::strlen(pszAttribValue) + 1;
    if (cbString > zel::attr::kMaxSetValue) return zel::kAttrSetValueTooLarge;
    return ZelDrvSetAttributeValue(hObject, nAttribId, pszAttribValue, static_cast<ZEL_UINT32>(cbString));
}

}  // extern "C"
