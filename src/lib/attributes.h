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

// X(name, source, severity, code, line, catalogue text)
#define ZEL_ATTRIBUTE_FAILURES(X)                                                                                     \
    /* ZelDrvGetAttributeType */                                                                                      \
    X(kAttrTypeInvalidId, kSourceLibrary, 1, ZEL_E_INVALID_ATTRIBUTE, 333,                                            \
      "ZelDrvGetAttributeType: Invalid Attribute ID")                                                                 \
    X(kAttrTypeNullOutput, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 335,                                           \
      "ZelDrvGetAttributeType: pnAttribType, pcbAttribSize and pnAttribInfo can not be NULL")                         \
    /* ZelDrvGetAttributeValueUint32Ex */                                                                             \
    X(kAttrUint32ExNullValue, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 393, "pAttribValue can not be NULL")        \
    /* ZelDrvGetAttributeValue, library path */                                                                       \
    X(kAttrLibBufferBelowWord, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 432,                                       \
      "Minimal required Buffer size is ZEL_UINT32")                                                                   \
    X(kAttrLibNullBuffer, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 433,                                            \
      "ZelDrvGetAttributeValue: pAttribValue can not be NULL")                                                        \
    X(kAttrLibBufferBelowRevStr, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 436,                                     \
      "Buffer size is too small for ZEL_DRV_REV_STR.")                                                                \
    X(kAttrLibBufferBelowVersion, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 441,                                    \
      "Buffer size is too small for Library Revision Number, the size should be larger than that of ZelVersionInfo.") \
    X(kAttrLibBufferBelowName, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 455, "User buffer is too small")           \
    X(kAttrLibInvalidId, kSourceLibrary, 1, ZEL_E_INVALID_ATTRIBUTE, 460,                                             \
      "ZelDrvGetAttributeValue: Invalid Attribute ID")                                                                \
    /* ZelDrvGetAttributeValue, driver path */                                                                        \
    X(kAttrGetZeroBuffer, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 473, "cbAttribValueBuf can not be zero")        \
    X(kAttrGetNullBuffer, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 474,                                            \
      "ZelDrvGetAttributeValue: pAttribValue can not be NULL")                                                        \
    X(kAttrGetBufferTooLarge, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 475,                                        \
      "ZelDrvGetAttributeValue: cbAttribValueBuf is too large for one request")                                       \
    X(kAttrGetOutOfResources, kSourceLibrary, 1, ZEL_E_OUT_OF_RESOURCES, 477,                                         \
      "ZelDrvGetAttributeValue: Failed to allocate resources for this operation")                                     \
    /* ZelDrvSetAttributeValueSz */                                                                                   \
    X(kAttrSetSzNullString, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 521,                                          \
      "ZelDrvSetAttributeValueSz: pszAttribValue can not be NULL")                                                    \
    /* ZelDrvSetAttributeValue */                                                                                     \
    X(kAttrSetNullValue, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 544,                                             \
      "ZelDrvSetAttributeValue: pAttribValue can not be NULL when cbAttribValue is not zero")                         \
    X(kAttrSetValueTooLarge, kSourceLibrary, 1, ZEL_E_INVALID_PARAMETER, 546,                                         \
      "ZelDrvSetAttributeValue: cbAttribValue is too large for one request")                                          \
    X(kAttrSetOutOfResources, kSourceLibrary, 1, ZEL_E_OUT_OF_RESOURCES, 549,                                         \
      "ZelDrvSetAttributeValue: Failed to allocate resources for this operation")

ZEL_DEFINE_FAILURES(ZEL_ATTRIBUTE_FAILURES, kAttributeFailures)

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
