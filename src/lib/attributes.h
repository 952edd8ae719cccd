// Attributes: the internal side. The four attributes the library answers on
// ZEL_LIB_HANDLE, and every failure the attribute operations raise.
#pragma once

#include <array>
#include <cstdint>

#include <zel/zel.h>

#include "requests.h"
#include "result.h"

namespace zel {

namespace attr {

// The library's own attributes and the descriptor word they all carry.
inline constexpr std::uint32_t kLibraryAttribInfo = 1;
inline constexpr char kRevisionString[] = ZEL_DRV_REV_STR;
inline constexpr char kLibraryName[] = ZEL_LIB_NAME_STR;
inline constexpr std::uint32_t kLibraryFlag = 1;
static_assert(sizeof(kRevisionString) == 9 && sizeof(kLibraryName) == 11);

}  // namespace attr

// ZelDrvGetAttributeType
inline constexpr ZEL_RESULT kAttrTypeInvalidId = LibraryFailure(ZEL_E_INVALID_ATTRIBUTE, 333);
inline constexpr ZEL_RESULT kAttrTypeNullOutput = LibraryFailure(ZEL_E_INVALID_PARAMETER, 335);
// ZelDrvGetAttributeValueUint32Ex
inline constexpr ZEL_RESULT kAttrUint32ExNullValue = LibraryFailure(ZEL_E_INVALID_PARAMETER, 393);
// ZelDrvGetAttributeValue, library path
inline constexpr ZEL_RESULT kAttrLibBufferBelowWord = LibraryFailure(ZEL_E_INVALID_PARAMETER, 432);
inline constexpr ZEL_RESULT kAttrLibNullBuffer = LibraryFailure(ZEL_E_INVALID_PARAMETER, 433);
inline constexpr ZEL_RESULT kAttrLibBufferBelowRevStr = LibraryFailure(ZEL_E_INVALID_PARAMETER, 436);
inline constexpr ZEL_RESULT kAttrLibBufferBelowVersion = LibraryFailure(ZEL_E_INVALID_PARAMETER, 441);
inline constexpr ZEL_RESULT kAttrLibBufferBelowName = LibraryFailure(ZEL_E_INVALID_PARAMETER, 455);
inline constexpr ZEL_RESULT kAttrLibInvalidId = LibraryFailure(ZEL_E_INVALID_ATTRIBUTE, 460);
// ZelDrvGetAttributeValue, driver path
inline constexpr ZEL_RESULT kAttrGetZeroBuffer = LibraryFailure(ZEL_E_INVALID_PARAMETER, 473);
inline constexpr ZEL_RESULT kAttrGetNullBuffer = LibraryFailure(ZEL_E_INVALID_PARAMETER, 474);
inline constexpr ZEL_RESULT kAttrGetBufferTooLarge = LibraryFailure(ZEL_E_INVALID_PARAMETER, 475);
inline constexpr ZEL_RESULT kAttrGetOutOfResources = LibraryFailure(ZEL_E_OUT_OF_RESOURCES, 477);
// ZelDrvSetAttributeValueSz
inline constexpr ZEL_RESULT kAttrSetSzNullString = LibraryFailure(ZEL_E_INVALID_PARAMETER, 521);
// ZelDrvSetAttributeValue
inline constexpr ZEL_RESULT kAttrSetNullValue = LibraryFailure(ZEL_E_INVALID_PARAMETER, 544);
inline constexpr ZEL_RESULT kAttrSetValueTooLarge = LibraryFailure(ZEL_E_INVALID_PARAMETER, 546);
inline constexpr ZEL_RESULT kAttrSetOutOfResources = LibraryFailure(ZEL_E_OUT_OF_RESOURCES, 549);

inline constexpr std::array kAttributeFailures = {
    kAttrTypeInvalidId,     kAttrTypeNullOutput,       kAttrUint32ExNullValue,     kAttrLibBufferBelowWord,
    kAttrLibNullBuffer,     kAttrLibBufferBelowRevStr, kAttrLibBufferBelowVersion, kAttrLibBufferBelowName,
    kAttrLibInvalidId,      kAttrGetZeroBuffer,        kAttrGetNullBuffer,         kAttrGetBufferTooLarge,
    kAttrGetOutOfResources, kAttrSetSzNullString,      kAttrSetNullValue,          kAttrSetValueTooLarge,
    kAttrSetOutOfResources,
};

static_assert(kAttrTypeInvalidId == static_cast<ZEL_RESULT>(0xB5014D10u));
static_assert(kAttrUint32ExNullValue == static_cast<ZEL_RESULT>(0xB5018909u));
static_assert(kAttrLibBufferBelowWord == static_cast<ZEL_RESULT>(0xB501B009u));
static_assert(kAttrLibBufferBelowRevStr == static_cast<ZEL_RESULT>(0xB501B409u));
static_assert(kAttrLibBufferBelowVersion == static_cast<ZEL_RESULT>(0xB501B909u));
static_assert(kAttrLibBufferBelowName == static_cast<ZEL_RESULT>(0xB501C709u));
static_assert(kAttrLibInvalidId == static_cast<ZEL_RESULT>(0xB501CC10u));
static_assert(kAttrGetZeroBuffer == static_cast<ZEL_RESULT>(0xB501D909u));
static_assert(kAttrGetOutOfResources == static_cast<ZEL_RESULT>(0xB501DD08u));
static_assert(kAttrSetOutOfResources == static_cast<ZEL_RESULT>(0xB5022508u));

}  // namespace zel
