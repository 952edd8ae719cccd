/*
 * zel.h - the client library of the ZEL telephony interface boards.
 *
 * The one header an application includes. It compiles as C and as C++.
 * Every function is exported with the interface's calling convention
 * (__stdcall on 32-bit Windows) and returns its outcome as a ZEL_RESULT,
 * except where a section says otherwise.
 */
#ifndef ZEL_H
#define ZEL_H

#include <stdarg.h>
#include <stdint.h>
#include <time.h>

/* ---------------------------------------------------------------------------
 * Version: the library's version record holds these four numbers, and
 * ZEL_DRV_REV_STR spells them. The shared library's SONAME carries the major
 * number, which changes only when the interface breaks.
 * ------------------------------------------------------------------------- */
#define ZEL_VERSION_MAJOR 2
#define ZEL_VERSION_MINOR 29
#define ZEL_VERSION_BUILD 1
#define ZEL_VERSION_REVISION 0

/* ---------------------------------------------------------------------------
 * Export and calling-convention macros
 * ------------------------------------------------------------------------- */
#if defined(_WIN32)
#define ZEL_CALLCONV __stdcall
#if defined(ZEL_BUILDING_LIBRARY)
#define ZEL_API __declspec(dllexport)
#elif defined(ZEL_STATIC)
#define ZEL_API
#else
#define ZEL_API __declspec(dllimport)
#endif
#else
#define ZEL_CALLCONV
#define ZEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------
 * Types
 * ------------------------------------------------------------------------- */
typedef int32_t ZEL_RESULT;
typedef uint32_t ZEL_UINT32;
typedef int32_t ZEL_INT32;
typedef uint64_t ZEL_UINT64;
typedef int64_t ZEL_INT64;
/* 0 is false, anything else true. */
typedef ZEL_UINT32 ZEL_BOOL;
/* A handle issued by the driver; bits 31..28 name the kind of object. */
typedef ZEL_UINT32 ZEL_HANDLE;
/* A handle of the operating-system layer: the driver connection, an open
 * device or an event object. One machine word; see OSA_INVALID_HANDLE_VALUE. */
typedef void *OSA_HANDLE;

/* The event record: eight little-endian words, extension words first. */
typedef struct ZelEventData {
    ZEL_UINT32 nExData0;
    ZEL_UINT32 nExData1;
    ZEL_UINT32 nData0;
    ZEL_UINT32 nData1;
    ZEL_UINT32 nData2;
    ZEL_UINT32 nData3;
    ZEL_UINT32 nData4;
    ZEL_UINT32 nData5;
} ZelEventData;

/* The library's version record: 2.29.1.0. */
typedef struct ZelVersionInfo {
    uint16_t nMajor;
    uint16_t nMinor;
    uint16_t nBuild;
    uint16_t nRevision;
} ZelVersionInfo;

/* ---------------------------------------------------------------------------
 * Constants
 * ------------------------------------------------------------------------- */

/* Common error codes (the low byte of a ZEL_RESULT). */
#define ZEL_S_NO_DATA 0x01
#define ZEL_S_SIGNALLED 0x02
#define ZEL_S_TIMEOUT 0x03
#define ZEL_E_NOT_IMPLEMENTED 0x06
#define ZEL_E_OUT_OF_RESOURCES 0x08
#define ZEL_E_INVALID_PARAMETER 0x09
#define ZEL_E_INVALID_HANDLE 0x0B
#define ZEL_E_CALL_FAIL 0x0D
#define ZEL_E_INVALID_ATTRIBUTE 0x10
#define ZEL_E_NOT_CONNECTED 0x16

/* Source identifiers: bits 30..23 of a ZEL_RESULT. 106 is the client library,
 * 134 its request transport. The one list below gives each identifier's
 * enumerator and value, X(enumerator, value), and the library's name table
 * is made from it too. Entries 162 and 164 name the same file: the second
 * enumerator carries a suffix so both identifiers stay distinct, and its
 * row, Y(enumerator, value, name), gives the name it shows. */
#define ZEL_SOURCE_ID_LIST(X, Y)                                     \
    X(ZEL_SRC_SOURCE_ID_NONE, 0)                                     \
    X(ZEL_SRC_DRV_KVASM_CPP, 1)                                      \
    X(ZEL_SRC_DRV_KVPELDO55X4ASM_CPP, 2)                             \
    X(ZEL_SRC_DRV_KVPELDO5X4CST_CPP, 3)                              \
    X(ZEL_SRC_DRV_KVPELDO5X4EX_CPP, 4)                               \
    X(ZEL_SRC_DRV_KVPELDO5X4PRO_CPP, 5)                              \
    X(ZEL_SRC_DRV_KVPELDO5XNASM_CPP, 6)                              \
    X(ZEL_SRC_DRV_KVDEBUG_CPP, 7)                                    \
    X(ZEL_SRC_DRV_KVDEVICE_CPP, 8)                                   \
    X(ZEL_SRC_DRV_KVEVENTQUEUE_CPP, 9)                               \
    X(ZEL_SRC_DRV_KVHWDEVICE_CPP, 10)                                \
    X(ZEL_SRC_DRV_KVLOGICALDEVICE_CPP, 11)                           \
    X(ZEL_SRC_DRV_KVPIPE_CPP, 12)                                    \
    X(ZEL_SRC_DRV_KVPNPDEVICE_CPP, 13)                               \
    X(ZEL_SRC_DRV_KVUTILS_CPP, 14)                                   \
    X(ZEL_SRC_DRV_KVAIC_CPP, 15)                                     \
    X(ZEL_SRC_DRV_KVALIS_CPP, 16)                                    \
    X(ZEL_SRC_DRV_KVAMB_CPP, 17)                                     \
    X(ZEL_SRC_DRV_KVBURST_CPP, 18)                                   \
    X(ZEL_SRC_DRV_KVCODEC_CPP, 19)                                   \
    X(ZEL_SRC_DRV_KVCTBUS_CPP, 20)                                   \
    X(ZEL_SRC_DRV_KVDSP_CPP, 21)                                     \
    X(ZEL_SRC_DRV_KVDSPC5400X_CPP, 22)                               \
    X(ZEL_SRC_DRV_KVDSPC5410A_CPP, 23)                               \
    X(ZEL_SRC_DRV_KVDSPC5416_CPP, 24)                                \
    X(ZEL_SRC_DRV_KVDSPC548C549_CPP, 25)                             \
    X(ZEL_SRC_DRV_KVDSPC54CST_CPP, 26)                               \
    X(ZEL_SRC_DRV_KVDSPC54X_CPP, 27)                                 \
    X(ZEL_SRC_DRV_KVDSPC55X_CPP, 28)                                 \
    X(ZEL_SRC_DRV_KVEEPROM_CPP, 29)                                  \
    X(ZEL_SRC_DRV_KVEEPROMNM93CS46_CPP, 30)                          \
    X(ZEL_SRC_DRV_KVEEPROMNM93CS56_CPP, 31)                          \
    X(ZEL_SRC_DRV_KVFALC_CPP, 32)                                    \
    X(ZEL_SRC_DRV_KVFALC56_CPP, 33)                                  \
    X(ZEL_SRC_DRV_KVFPGASPARTAN_CPP, 34)                             \
    X(ZEL_SRC_DRV_KVFSFIFO_CPP, 35)                                  \
    X(ZEL_SRC_DRV_KVISAC_CPP, 36)                                    \
    X(ZEL_SRC_DRV_KVPLX_CPP, 37)                                     \
    X(ZEL_SRC_DRV_KVPLX9056_CPP, 38)                                 \
    X(ZEL_SRC_DRV_KVQUADFALC_CPP, 39)                                \
    X(ZEL_SRC_DRV_KVQUADFALCMEMBER_CPP, 40)                          \
    X(ZEL_SRC_DRV_KVRINGBUF_CPP, 41)                                 \
    X(ZEL_SRC_DRV_KVTBC_CPP, 42)                                     \
    X(ZEL_SRC_DRV_DRIVERENTRY_CPP, 43)                               \
    X(ZEL_SRC_DRV_KVDRIVER_CPP, 44)                                  \
    X(ZEL_SRC_DRV_KVDRIVERDEVICE_CPP, 45)                            \
    X(ZEL_SRC_DRV_KVE1ABCDBITACCESS_CPP, 46)                         \
    X(ZEL_SRC_DRV_KVE1SBITACCESS_CPP, 47)                            \
    X(ZEL_SRC_DRV_KVFALCE1ABCDBITACCESS_CPP, 48)                     \
    X(ZEL_SRC_DRV_KVFALCE1SBITACCESS_CPP, 49)                        \
    X(ZEL_SRC_DRV_KVFALCHDLCRECEIVER_CPP, 50)                        \
    X(ZEL_SRC_DRV_KVFALCHDLCSENDER_CPP, 51)                          \
    X(ZEL_SRC_DRV_KVFALCT1DLBITACCESS_CPP, 52)                       \
    X(ZEL_SRC_DRV_KVFALCT1ROBBITACCESS_CPP, 53)                      \
    X(ZEL_SRC_DRV_KVHDLCDEVICE_CPP, 54)                              \
    X(ZEL_SRC_DRV_KVHDLCRECEIVER_CPP, 55)                            \
    X(ZEL_SRC_DRV_KVHDLCSENDER_CPP, 56)                              \
    X(ZEL_SRC_DRV_KVRAWDATA_CPP, 57)                                 \
    X(ZEL_SRC_DRV_KVRAWDATARECEIVER_CPP, 58)                         \
    X(ZEL_SRC_DRV_KVRAWDATASENDER_CPP, 59)                           \
    X(ZEL_SRC_DRV_KVSPM1CONSTVALGENERATOR_CPP, 60)                   \
    X(ZEL_SRC_DRV_KVSPM1DATACONVERTER_CPP, 61)                       \
    X(ZEL_SRC_DRV_KVSPM1DTMFDETECTOR_CPP, 62)                        \
    X(ZEL_SRC_DRV_KVSPM1DTMFDIALER_CPP, 63)                          \
    X(ZEL_SRC_DRV_KVSPM1DUALDETECTOR_CPP, 64)                        \
    X(ZEL_SRC_DRV_KVSPM1EFFECTSGENERATOR_CPP, 65)                    \
    X(ZEL_SRC_DRV_KVSPM1FSKDETECTOR_CPP, 66)                         \
    X(ZEL_SRC_DRV_KVSPM1HDLCRECEIVER_CPP, 67)                        \
    X(ZEL_SRC_DRV_KVSPM1HDLCSENDER_CPP, 68)                          \
    X(ZEL_SRC_DRV_KVSPM1MFDETECTOR_CPP, 69)                          \
    X(ZEL_SRC_DRV_KVSPM1MFDIALER_CPP, 70)                            \
    X(ZEL_SRC_DRV_KVSPM1RAWDATARECEIVER_CPP, 71)                     \
    X(ZEL_SRC_DRV_KVSPM1RAWDATASENDER_CPP, 72)                       \
    X(ZEL_SRC_DRV_KVSPM1SILENCEDETECTOR_CPP, 73)                     \
    X(ZEL_SRC_DRV_KVSPM1SINEWAVEGENERATOR_CPP, 74)                   \
    X(ZEL_SRC_DRV_KVSPM1SINGLEDETECTOR_CPP, 75)                      \
    X(ZEL_SRC_DRV_KVSPM1VALSAMPLER_CPP, 76)                          \
    X(ZEL_SRC_DRV_KVSPMLOGICALDEVICE_CPP, 77)                        \
    X(ZEL_SRC_DRV_KVT1DLBITACCESS_CPP, 78)                           \
    X(ZEL_SRC_DRV_KVT1E1BITACCESS_CPP, 79)                           \
    X(ZEL_SRC_DRV_KVT1ROBBITACCESS_CPP, 80)                          \
    X(ZEL_SRC_DRV_KVUSERAPPLICATION_CPP, 81)                         \
    X(ZEL_SRC_DRV_KVNIC_CPP, 82)                                     \
    X(ZEL_SRC_DRV_KVWESK32PCI_CPP, 83)                               \
    X(ZEL_SRC_DRV_KVLUNTER8SPCI_CPP, 84)                             \
    X(ZEL_SRC_DRV_KVLUNTER8UPCI_CPP, 85)                             \
    X(ZEL_SRC_DRV_KVFASKELPCI_CPP, 86)                               \
    X(ZEL_SRC_DRV_KVNIC1BUS_CPP, 87)                                 \
    X(ZEL_SRC_DRV_KVKURM2PCI_CPP, 88)                                \
    X(ZEL_SRC_DRV_KVKURM8PCI_CPP, 89)                                \
    X(ZEL_SRC_DRV_KVPELDO5XNPCI_CPP, 90)                             \
    X(ZEL_SRC_DRV_KVNICPCMCIA_CPP, 91)                               \
    X(ZEL_SRC_DRV_KVKURM2PCMCIA_CPP, 92)                             \
    X(ZEL_SRC_DRV_KVKURM2PCMCIAPLUS_CPP, 93)                         \
    X(ZEL_SRC_DRV_KVKURM2PCMCIAPLUSC549_CPP, 94)                     \
    X(ZEL_SRC_DRV_KVKURM2PCMCIAPLUSCST_CPP, 95)                      \
    X(ZEL_SRC_DRV_KVKURM2PCMCIAPLUSEX_CPP, 96)                       \
    X(ZEL_SRC_DRV_KVKURM2PCMCIAPLUSPRO_CPP, 97)                      \
    X(ZEL_SRC_DRV_KVKURM2PCMCIASTD_CPP, 98)                          \
    X(ZEL_SRC_DRV_KVNICPLUS_CPP, 99)                                 \
    X(ZEL_SRC_DRV_KVDRAVOLIN_CPP, 100)                               \
    X(ZEL_SRC_DRV_KVKURM8PCIPLUS_CPP, 101)                           \
    X(ZEL_SRC_LIB_ZELBRD_C, 102)                                     \
    X(ZEL_SRC_LIB_ZELBRI_C, 103)                                     \
    X(ZEL_SRC_LIB_ZELBURST_C, 104)                                   \
    X(ZEL_SRC_LIB_ZELDATA_C, 105)                                    \
    X(ZEL_SRC_LIB_ZELDRV_C, 106)                                     \
    X(ZEL_SRC_LIB_ZELDSP_C, 107)                                     \
    X(ZEL_SRC_LIB_ZELHDLC_C, 108)                                    \
    X(ZEL_SRC_LIB_ZELJTAG_C, 109)                                    \
    X(ZEL_SRC_LIB_ZELPOTS_C, 110)                                    \
    X(ZEL_SRC_LIB_ZELRAW_C, 111)                                     \
    X(ZEL_SRC_LIB_ZELT1E1_C, 112)                                    \
    X(ZEL_SRC_LIB_ZELTONE_C, 113)                                    \
    X(ZEL_SRC_LIB_ZELTST_C, 114)                                     \
    X(ZEL_SRC_DRV_KVASM_H, 115)                                      \
    X(ZEL_SRC_DRV_KVDEVICE_H, 116)                                   \
    X(ZEL_SRC_DRV_KVFIFO_H, 117)                                     \
    X(ZEL_SRC_DRV_KVHWDEVICE_H, 118)                                 \
    X(ZEL_SRC_DRV_KVLOGICALDEVICE_H, 119)                            \
    X(ZEL_SRC_DRV_KVPNPDEVICE_H, 120)                                \
    X(ZEL_SRC_DRV_KVDSP_H, 121)                                      \
    X(ZEL_SRC_DRV_KVFALC_H, 122)                                     \
    X(ZEL_SRC_DRV_KVPLX_H, 123)                                      \
    X(ZEL_SRC_DRV_KVE1ABCDBITACCESS_H, 124)                          \
    X(ZEL_SRC_DRV_KVE1SBITACCESS_H, 125)                             \
    X(ZEL_SRC_DRV_KVHDLCRECEIVER_H, 126)                             \
    X(ZEL_SRC_DRV_KVHDLCSENDER_H, 127)                               \
    X(ZEL_SRC_DRV_KVT1DLBITACCESS_H, 128)                            \
    X(ZEL_SRC_DRV_KVT1ROBBITACCESS_H, 129)                           \
    X(ZEL_SRC_DRV_KVNIC_H, 130)                                      \
    X(ZEL_SRC_DRV_KVNIC1BUS_H, 131)                                  \
    X(ZEL_SRC_DRV_KVKURM2PCMCIA_H, 132)                              \
    X(ZEL_SRC_DRV_KVKURM2PCMCIAPLUS_H, 133)                          \
    X(ZEL_SRC_LIB_ZELLIB_H, 134)                                     \
    X(ZEL_SRC_DRV_KVFALC56_H, 135)                                   \
    X(ZEL_SRC_DRV_KVTIRBE16PCIPLUS_CPP, 136)                         \
    X(ZEL_SRC_LIB_OSABOARD_C, 137)                                   \
    X(ZEL_SRC_OSA_OSANDISOID_CPP, 138)                               \
    X(ZEL_SRC_DRV_KVWESK6X6PCIPLUS_CPP, 139)                         \
    X(ZEL_SRC_DRV_KVCSTDTMFDETECTOR_CPP, 140)                        \
    X(ZEL_SRC_LIB_ZELCST_C, 141)                                     \
    X(ZEL_SRC_DRV_KVCSTPOTSLI_CPP, 142)                              \
    X(ZEL_SRC_DRV_KVCSTCALLERID_CPP, 143)                            \
    X(ZEL_SRC_DRV_KVCSTDTMFDIALER_CPP, 144)                          \
    X(ZEL_SRC_DRV_KVCSTVOICEACTIVITYDETECTOR_CPP, 145)               \
    X(ZEL_SRC_DRV_KVCSTCOMFORTNOISEGENERATOR_CPP, 146)               \
    X(ZEL_SRC_DRV_KVCSTVOICEMIXER_CPP, 147)                          \
    X(ZEL_SRC_DRV_KVCSTECHOCANCEL_CPP, 148)                          \
    X(ZEL_SRC_DRV_KVCSTCPTDETECTOR_CPP, 149)                         \
    X(ZEL_SRC_DRV_KVCSTCPTGENERATOR_CPP, 150)                        \
    X(ZEL_SRC_DRV_KVPROSLIC_CPP, 151)                                \
    X(ZEL_SRC_LIB_ZELSLIC_C, 152)                                    \
    X(ZEL_SRC_DRV_KVCSTCIDDETECTOR_CPP, 153)                         \
    X(ZEL_SRC_DRV_KVQUELBY2PC104_CPP, 154)                           \
    X(ZEL_SRC_DRV_KVKURM2EXPRESSCARD_CPP, 155)                       \
    X(ZEL_SRC_DRV_KVKURMEXPRESSCARD_CPP, 156)                        \
    X(ZEL_SRC_DRV_KVKURM4EXPRESSCARD_CPP, 157)                       \
    X(ZEL_SRC_DRV_KVDAVINCIDMP_CPP, 158)                             \
    X(ZEL_SRC_DRV_KVDAVINCIASP_CPP, 159)                             \
    X(ZEL_SRC_DRV_KVDAVINCISPI_CPP, 160)                             \
    X(ZEL_SRC_DRV_KVPELDOORNETH_CPP, 161)                            \
    X(ZEL_SRC_DRV_KVAMBT8100_CPP, 162)                               \
    X(ZEL_SRC_DRV_KVAMBT8110L_CPP, 163)                              \
    Y(ZEL_SRC_DRV_KVAMBT8100_CPP_2, 164, ZEL_SRC_DRV_KVAMBT8100_CPP) \
    X(ZEL_SRC_DRV_KVAMB_H, 165)                                      \
    X(ZEL_SRC_LIB_ZELDMP_C, 166)                                     \
    X(ZEL_SRC_DRV_KVORNETHASM_CPP, 167)                              \
    X(ZEL_SRC_DRV_KVZLETHSW_CPP, 168)                                \
    X(ZEL_SRC_DRV_KVDAVINCIHPI_CPP, 169)

#define ZEL_SOURCE_ID_ENUMERATOR_(id, value) id = value,
#define ZEL_SOURCE_ID_ENUMERATOR_NAMED_(id, value, name) id = value,
typedef enum ZelSourceIdE {
    ZEL_SOURCE_ID_LIST(ZEL_SOURCE_ID_ENUMERATOR_, ZEL_SOURCE_ID_ENUMERATOR_NAMED_) ZEL_SRC_COUNT = 170
} ZelSourceIdE;
#undef ZEL_SOURCE_ID_ENUMERATOR_
#undef ZEL_SOURCE_ID_ENUMERATOR_NAMED_

#define ZEL_INVALID_HANDLE_VALUE ((ZEL_HANDLE)0xFFFFFFFFu)
#define ZEL_LIB_HANDLE ((ZEL_HANDLE)0xFFFFFFFEu)
#define OSA_INVALID_HANDLE_VALUE ((OSA_HANDLE)(~(uintptr_t)0))

/* Handle kinds (bits 31..28 of a ZEL_HANDLE). */
#define ZEL_HANDLE_KIND(h) ((ZEL_UINT32)(h) >> 28)
#define ZEL_HANDLE_KIND_PHYSICAL_DEVICE 1u
#define ZEL_HANDLE_KIND_LOGICAL_DEVICE 2u
#define ZEL_HANDLE_KIND_PIPE 4u

/* Timeout that never ends. */
#define ZEL_INFINITE 0xFFFFFFFFu
/* Most events one wait can name. */
#define ZEL_MAX_WAIT_EVENTS 64u

/* Library attributes, answered on ZEL_LIB_HANDLE without a driver. */
#define ZEL_ATTR_LIB_REV_STR 9u
#define ZEL_ATTR_LIB_REV_NUMBER 10u
#define ZEL_ATTR_LIB_NAME 11u
#define ZEL_ATTR_LIB_FLAG 12u
#define ZEL_ATTR_TYPE_SZ 0u
#define ZEL_ATTR_TYPE_BOOL 2u
#define ZEL_ATTR_TYPE_STRUCT 3u
#define ZEL_DRV_REV_STR "2.29.1.0"
#define ZEL_LIB_NAME_STR "ZelDrv.Lib"

/* Application event queues. */
#define ZEL_MAX_APP_EVENT_QUEUES 128u
#define ZEL_NO_APP_EVENT_QUEUE 0xFFFFFFFFu

/* Room in a time-slot mask, in bytes. */
#define ZEL_MAX_TIMESLOT_MASK_SIZE 512

/* Longest line or script field OsaConsoleGetStr returns, NUL included. */
#define OSA_CONSOLE_MAX_LINE 1024u

/* ---------------------------------------------------------------------------
 * The contract, read with each function's comment below.
 *
 * - NULL: each comment names every pointer parameter and says whether it
 *   may be NULL. A NULL that a function refuses returns the failure named
 *   (code 0x09, ZEL_E_INVALID_PARAMETER, unless said otherwise), sends no
 *   request and writes no out-parameter. Functions that cannot fail skip
 *   the write instead.
 * - Sizes: each comment gives the sizes a function accepts and the largest.
 * - Refused: a local failure (source 106, the fixed line of its test) is
 *   returned before any request is sent; nothing is written unless said.
 * - Transport: an operation that sends a request returns the driver's
 *   result word, or 0xC300AA0D when the device-control call failed yet
 *   reported bytes, or 0xC300AD0D when the reply is empty or too short to
 *   hold the result word (not connected included). The request to
 *   ZelDrvGetDeviceHandle has its own pair: 0xC300B90D and 0xC300BC0D.
 * - "Copied whatever the result": the out-parameter receives the response
 *   field after any outcome. Where the reply never reached the field, it
 *   receives the field's start value: 0 unless said otherwise. After a
 *   failure it holds no meaning for the caller.
 * - A negative result is a failure (ZelFailure); any other a success, the
 *   informational results (severity 0, for example 0x3500F916, ZEL_S_NO_DATA)
 *   included.
 * ------------------------------------------------------------------------- */

/* ---------------------------------------------------------------------------
 * Result codes
 * ------------------------------------------------------------------------- */
/* ZelSuccess: 1 when r is a success (r >= 0, informational results
 * included), else 0. NULL: no pointer. Sizes: none. Cannot fail. */
ZEL_API ZEL_BOOL ZEL_CALLCONV ZelSuccess(ZEL_RESULT r);
/* ZelFailure: 1 when r is a failure (r < 0), else 0.
 * NULL: no pointer. Sizes: none. Cannot fail. */
ZEL_API ZEL_BOOL ZEL_CALLCONV ZelFailure(ZEL_RESULT r);
/* ZelResultSeverity: bit 31 of r, 0 or 1.
 * NULL: no pointer. Sizes: none. Cannot fail. */
ZEL_API ZEL_UINT32 ZEL_CALLCONV ZelResultSeverity(ZEL_RESULT r);
/* ZelResultSourceId: bits 30..23 of r, 0 to 255 (names below ZEL_SRC_COUNT).
 * NULL: no pointer. Sizes: none. Cannot fail. */
ZEL_API ZEL_UINT32 ZEL_CALLCONV ZelResultSourceId(ZEL_RESULT r);
/* ZelResultLineNum: bits 22..8 of r, 0 to 32767.
 * NULL: no pointer. Sizes: none. Cannot fail. */
ZEL_API ZEL_UINT32 ZEL_CALLCONV ZelResultLineNum(ZEL_RESULT r);
/* ZelResultErrorCode: bits 7..0 of r, 0 to 255, without the severity bit.
 * NULL: no pointer. Sizes: none. Cannot fail. */
ZEL_API ZEL_UINT32 ZEL_CALLCONV ZelResultErrorCode(ZEL_RESULT r);
/* ZelResultCode: splits r into its parts. *pnErrorCode: the error code,
 * with bit 31 kept for the common codes (0 to 29), so 0xC300AA0D gives
 * 0x8000000D; *pnSeverity, *pnSourceId, *pnLineNum as the accessors above.
 * NULL: each of the four pointers may be NULL; that part is not written.
 * Sizes: none. Returns nothing; cannot fail. */
ZEL_API void ZEL_CALLCONV ZelResultCode(ZEL_RESULT r, ZEL_UINT32 *pnErrorCode, ZEL_UINT32 *pnSeverity,
                                        ZEL_UINT32 *pnSourceId, ZEL_UINT32 *pnLineNum);

/* ZelDrvResultCode2String: describes a result. hDevice 0: from the built-in
 * catalogue, without a driver; returns 0 with the entry's text, or
 * ZEL_S_NO_DATA (1) with a default text when the catalogue has no entry.
 * The text is cut to cbStringBuf - 1 characters and NUL-terminated; the
 * rest of the buffer is padded with NULs. Any other hDevice: one request;
 * the driver writes the text into pszStringBuf itself, up to cbStringBuf
 * bytes, and the result is the transport's; the library never touches the
 * buffer on that path.
 * NULL: pszStringBuf may be NULL on the catalogue path (taken as no room:
 * nothing written, the result still tells whether an entry exists); on the
 * driver path a NULL or a wrong size is the driver's to refuse.
 * Sizes: cbStringBuf 0 to 0xFFFFFFFF; the buffer must hold cbStringBuf
 * bytes; 0 writes nothing. Written on failure: the catalogue path always
 * writes when there is room; the driver path as the driver did. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvResultCode2String(ZEL_HANDLE hDevice, ZEL_RESULT nResultCode,
                                                        ZEL_UINT32 cbStringBuf, char *pszStringBuf);

/* ---------------------------------------------------------------------------
 * Connection
 * ------------------------------------------------------------------------- */
/* ZelDrvConnectLib: opens the driver's device ZELDRV, prepares the
 * application event queue table and sends the library version. Returns the
 * version request's result (the connection stays open whatever it is),
 * 0xB500CF0D when already connected (nothing changes), 0xB500D50B when the
 * device does not open. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvConnectLib(void);
/* ZelNetConnectLib: as ZelDrvConnectLib on the device ZELNET, without
 * preparing the queue table; 0xB5009A0D when already connected, 0xB500A00B
 * when the device does not open. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelNetConnectLib(void);
/* ZelDrvReleaseLib: closes the connection and every application event queue.
 * Returns 0, or the informational 0x3500F916 (a success) when not connected.
 * Sends nothing. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReleaseLib(void);
/* ZelDrvIsLibConnected: *pbConnected := 1 when connected, else 0. Always
 * returns 0 and sends nothing. NULL: pbConnected may be NULL; nothing is
 * written then. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvIsLibConnected(ZEL_BOOL *pbConnected);
/* ZelDrvGetHandle: *phDriver := the connection's platform handle; returns 0.
 * Not connected: 0xB5023D16, tested first, *phDriver untouched.
 * NULL: phDriver NULL while connected is refused with 0xB5024109.
 * Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetHandle(OSA_HANDLE *phDriver);

/* ---------------------------------------------------------------------------
 * Devices and enumeration. nParam words go to the driver unchanged; their
 * meaning is the driver's. Every operation below sends one request unless a
 * test refuses it, and returns as described under "Transport" above.
 * ------------------------------------------------------------------------- */
/* ZelDrvGetDeviceHandle: the handle of a device already open.
 * *phDevice := ZEL_INVALID_HANDLE_VALUE, then on success the driver's handle
 * (ZEL_INVALID_HANDLE_VALUE when the reply stopped before it).
 * NULL: phDevice may be NULL; the request is sent all the same.
 * Sizes: none. Transport codes: 0xC300B90D, 0xC300BC0D. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetDeviceHandle(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3,
                                                      ZEL_HANDLE *phDevice);
/* ZelDrvOpenPhysicalDevice: opens a physical device (nParam5 travels before
 * nParam4). *phDevice := the handle on success, ZEL_INVALID_HANDLE_VALUE on
 * any failure. NULL: phDevice NULL is refused with 0xB5028B09.
 * Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvOpenPhysicalDevice(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3,
                                                         ZEL_UINT32 nParam4, ZEL_UINT32 nParam5, ZEL_HANDLE *phDevice);
/* ZelDrvOpenPhysicalDeviceEx: opens a physical device without returning a
 * handle. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvOpenPhysicalDeviceEx(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3);
/* ZelDrvCreateLogicalDevice: a logical device on the physical device
 * hHostDevice; a host of another kind is refused with 0xB502A30B.
 * *phLogicalDevice := the handle on success; untouched on any failure.
 * NULL: phLogicalDevice NULL is refused with 0xB502A709 (after the host
 * test). Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreateLogicalDevice(ZEL_HANDLE hHostDevice, ZEL_UINT32 nParam2,
                                                          ZEL_UINT32 nParam3, ZEL_UINT32 nParam4,
                                                          ZEL_HANDLE *phLogicalDevice);
/* ZelDrvEnable: enables a device; hDevice of no valid kind (1 to 6) is
 * refused with 0xB502C30B. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEnable(ZEL_HANDLE hDevice, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3);
/* ZelDrvDisable: disables a device; hDevice of no valid kind is refused
 * with 0xB502DA0B. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDisable(ZEL_HANDLE hDevice, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3);
/* ZelDrvGetState: *pnState := the driver's state word, copied whatever the
 * result. hDevice 0 is refused with 0xB502F10B (any other value is sent).
 * NULL: pnState NULL is refused with 0xB502F509. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetState(ZEL_HANDLE hDevice, ZEL_UINT32 *pnState);
/* ZelDrvReset: resets a device; hDevice 0 is refused with 0xB503080B.
 * NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReset(ZEL_HANDLE hDevice);
/* ZelDrvConnectBoard: connects the board hBoard to the CT bus hCtBus; a
 * handle of no valid kind is refused, hCtBus first (0xB503A50B), then
 * hBoard (0xB503A90B). NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvConnectBoard(ZEL_HANDLE hCtBus, ZEL_HANDLE hBoard);
/* ZelDrvClose: closes a driver object; hDevice of no valid kind is refused
 * with 0xB503E50B. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvClose(ZEL_HANDLE hDevice);
/* ZelDrvPollEvents: asks the driver to poll hDevice for events; hDevice of
 * no valid kind is refused with 0xB503FA0B. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvPollEvents(ZEL_HANDLE hDevice);
/* ZelDrvIteratorBegin: *pIterator := 0, the start position; returns 0 and
 * sends nothing. NULL: pIterator NULL is refused with 0xB5040709.
 * Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvIteratorBegin(ZEL_UINT32 *pIterator);
/* Returns a ZEL_BOOL: 1 while the iterator is not at its end marker.
 * ZelDrvIsIteratorEnd: 1 while *pIterator is not ZEL_INVALID_HANDLE_VALUE,
 * 0 at the end marker; sends nothing, cannot fail.
 * NULL: pIterator may be NULL and counts as ended (0). Sizes: none. */
ZEL_API ZEL_BOOL ZEL_CALLCONV ZelDrvIsIteratorEnd(const ZEL_UINT32 *pIterator);
/* ZelDrvEnumDeviceType: one enumeration step. Sends *pIterator; then
 * *pnDeviceType := the driver's value and *pIterator := the driver's next
 * position (ZEL_INVALID_HANDLE_VALUE at the end), both copied whatever the
 * result. A step whose reply never reached the iterator (not connected,
 * empty or short reply) leaves the end marker, and so does a refused step,
 * so a loop on ZelDrvIsIteratorEnd alone always ends; after a driver's own
 * failure the iterator is what the driver returned.
 * NULL: pIterator NULL is refused with 0xB5041309; pnDeviceType NULL with
 * 0xB5041609, which also sets *pIterator to the end marker. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEnumDeviceType(ZEL_UINT32 nParam1, ZEL_UINT32 *pIterator,
                                                     ZEL_UINT32 *pnDeviceType);
/* ZelDrvEnumDevice: one step of a device enumeration, as
 * ZelDrvEnumDeviceType; nParam2 goes before the iterator.
 * NULL: pIterator NULL is refused with 0xB5042A09; pnDevice NULL with
 * 0xB5042D09, which also sets *pIterator to the end marker. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEnumDevice(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 *pIterator,
                                                 ZEL_UINT32 *pnDevice);

/* ---------------------------------------------------------------------------
 * Pipes and connections
 * ------------------------------------------------------------------------- */
/* ZelDrvCreatePipe: *phPipe := the new pipe's handle, copied whatever the
 * result. NULL: phPipe NULL is refused with 0xB5031D09. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreatePipe(ZEL_UINT32 nParam1, ZEL_HANDLE *phPipe);
/* ZelDrvConnectPipe: connects the pipe hPipe (kind 4, else 0xB5033A0B) to
 * the physical device hDevice (kind 1, else 0xB5033E0B) over the time slots
 * of a mask. NULL: pTimeSlotMask may be NULL: no mask, size 0 sent whatever
 * coMaskSize says. Sizes: with a mask, coMaskSize 0 to
 * ZEL_MAX_TIMESLOT_MASK_SIZE (512) bytes, read from pTimeSlotMask; outside
 * that range refused with 0xB5034509. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvConnectPipe(ZEL_HANDLE hPipe, ZEL_UINT32 nParam2, ZEL_HANDLE hDevice,
                                                  ZEL_UINT32 nParam4, const void *pTimeSlotMask, ZEL_INT32 coMaskSize);
/* ZelDrvDisconnectPipe: hPipe must be a pipe (kind 4), else 0xB5035F0B.
 * NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDisconnectPipe(ZEL_HANDLE hPipe, ZEL_UINT32 nParam2);
/* ZelDrvConnectLogicalDevice: connects two objects; their kinds are the
 * driver's to judge. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvConnectLogicalDevice(ZEL_HANDLE hFromDevice, ZEL_UINT32 nParam2,
                                                           ZEL_HANDLE hToDevice, ZEL_UINT32 nParam4);
/* ZelDrvDisconnectLogicalDevice: both handles must be a logical device or a
 * pipe (kind 2 or 4): hFromDevice is tested first (0xB5038B0B), then
 * hToDevice (0xB5038F0B). NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDisconnectLogicalDevice(ZEL_HANDLE hFromDevice, ZEL_UINT32 nParam2,
                                                              ZEL_HANDLE hToDevice, ZEL_UINT32 nParam4);

/* ---------------------------------------------------------------------------
 * Attributes. On ZEL_LIB_HANDLE the library answers identifiers 9 to 12
 * itself, without a driver; every other handle is one request.
 * ------------------------------------------------------------------------- */
/* ZelDrvGetAttributeType: type, size and third descriptor word of an
 * attribute. Library handle: 3, 0, 1 first, then the attribute's own; an
 * identifier outside 9 to 12 returns 0xB5014D10 and leaves 3, 0, 1. Driver:
 * the three words copied whatever the result.
 * NULL: none of the three may be NULL: refused with 0xB5014F09.
 * Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeType(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                       ZEL_UINT32 *pnAttribType, ZEL_UINT32 *pcbAttribSize,
                                                       ZEL_UINT32 *pnAttribInfo);
/* ZelDrvGetAttributeValue: reads an attribute into pAttribValue.
 * Library handle: *pcbAttribValueReturned := 0 first; cbAttribValueBuf below
 * 4 returns 0xB501B009, NULL pAttribValue 0xB501B109, an unknown identifier
 * 0xB501CC10, a buffer below the value's size 0xB501B409 (9), 0xB501B909
 * (10), 0xB501C709 (11); on success the value and its size.
 * Driver: the request carries cbAttribValueBuf; the value area starts out
 * holding the caller's bytes, so bytes the driver does not return come back
 * unchanged, and the value area and size are copied whatever the result.
 * The size reported with a success is never above cbAttribValueBuf; after a
 * failure it is the driver's word (which may say the size it needs).
 * NULL: pcbAttribValueReturned may be NULL; pAttribValue NULL is refused
 * with 0xB501DA09. Sizes: cbAttribValueBuf 1 to 0xFFFFFFEE
 * (0xFFFFFFFF - 17): 0 is refused with 0xB501D909, larger with 0xB501DB09.
 * Cost: the request's response block is sized from the buffer, as the
 * protocol has it: one heap block of cbAttribValueBuf + 17 bytes, filled
 * from the caller's buffer and copied back, so time and memory grow with the
 * size (a 2 GiB buffer takes 2 GiB more memory, over 4 GiB in all, and
 * seconds); a block that cannot be had returns 0xB501DD08. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValue(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId, void *pAttribValue,
                                                        ZEL_UINT32 cbAttribValueBuf,
                                                        ZEL_UINT32 *pcbAttribValueReturned);
/* ZelDrvSetAttributeValue: writes cbAttribValue bytes from pAttribValue.
 * Library handle too goes to the driver. NULL: pAttribValue may be NULL
 * only with cbAttribValue 0; otherwise refused with 0xB5022009.
 * Sizes: cbAttribValue 0 to 0xFFFFFFE2 (0xFFFFFFFF - 29); larger is refused
 * with 0xB5022209. Cost: one heap block of cbAttribValue + 29 bytes (the
 * request), filled from the caller's value; 0xB5022508 when it cannot be
 * had. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetAttributeValue(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                        const void *pAttribValue, ZEL_UINT32 cbAttribValue);
/* ZelDrvGetAttributeValueUint32: ZelDrvGetAttributeValue with a 4-byte
 * buffer and no size out. NULL: pAttribValue NULL is refused as there
 * (0xB501DA09, or 0xB501B109 on the library handle). Sizes: 4, fixed. */
/* ZelDrvGetAttributeValueBool is the same function under a second name. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValueUint32(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                              ZEL_UINT32 *pAttribValue);
/* ZelDrvGetAttributeValueBool: ZelDrvGetAttributeValueUint32 under a second
 * name. NULL: pAttribValue NULL is refused as there. Sizes: 4, fixed. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValueBool(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                            ZEL_BOOL *pAttribValue);
/* ZelDrvGetAttributeValueUint32Ex: *pAttribValue := nAttribValueIn, then
 * ZelDrvGetAttributeValueUint32; the value stays when none is returned.
 * NULL: pAttribValue NULL is refused with 0xB5018909. Sizes: 4, fixed. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValueUint32Ex(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                                ZEL_UINT32 nAttribValueIn, ZEL_UINT32 *pAttribValue);
/* ZelDrvGetAttributeValueSz: ZelDrvGetAttributeValue into a string buffer of
 * cbAttribValueBuf bytes, no size out; the driver's string is not
 * terminated by the library. NULL: pszAttribValue NULL is refused as there.
 * Sizes: as ZelDrvGetAttributeValue, with its cost. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValueSz(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                          char *pszAttribValue, ZEL_UINT32 cbAttribValueBuf);
/* ZelDrvSetAttributeValueUint32: writes the 4-byte value nAttribValue.
 * NULL: no pointer. Sizes: 4, fixed. */
/* ZelDrvSetAttributeValueBool is the same function under a second name. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetAttributeValueUint32(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                              ZEL_UINT32 nAttribValue);
/* ZelDrvSetAttributeValueBool: ZelDrvSetAttributeValueUint32 under a second
 * name. NULL: no pointer. Sizes: 4, fixed. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetAttributeValueBool(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                            ZEL_BOOL nAttribValue);
/* ZelDrvSetAttributeValueSz: writes the string with its NUL.
 * NULL: pszAttribValue NULL is refused with 0xB5020909. Sizes: a string of
 * up to 0xFFFFFFE1 characters (its size with the NUL up to 0xFFFFFFE2);
 * longer is refused with 0xB5022209. Cost as ZelDrvSetAttributeValue. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetAttributeValueSz(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                          const char *pszAttribValue);

/* ---------------------------------------------------------------------------
 * Driver event queues and event data. No argument is tested beyond the
 * pointers named; handles and counts are the driver's to judge.
 * ------------------------------------------------------------------------- */
/* ZelDrvCreateEventQueue: a driver queue of coMaxEvents records bound to
 * the event hEvent. *phEventQueue := the queue's handle, copied whatever the
 * result. NULL: phEventQueue NULL is refused with 0xB5065509; hEvent NULL
 * goes to the driver. Sizes: coMaxEvents 0 to 0xFFFFFFFF, the driver's to
 * judge. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreateEventQueue(ZEL_UINT32 coMaxEvents, OSA_HANDLE hEvent,
                                                       ZEL_HANDLE *phEventQueue);
/* ZelDrvGetEventData: takes one record; *pEventData := the response's
 * record, copied whatever the result (zeros where the reply stopped).
 * NULL: pEventData NULL is refused with 0xB5066A09. Sizes: one record. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetEventData(ZEL_HANDLE hEventQueue, ZelEventData *pEventData);
/* ZelDrvGetEventDataEx: takes up to coEventData records; the driver writes
 * them straight into pEventData, which must stay valid for coEventData x 32
 * bytes until the call returns. *pcoEventsReturned := the driver's count,
 * copied whatever the result but never above coEventData, so a caller that
 * walks that many records stays inside its array.
 * NULL: pcoEventsReturned NULL is refused with 0xB5067F09; pEventData NULL
 * (with any count) goes to the driver, which refuses it.
 * Sizes: coEventData 0 to 0xFFFFFFFF records, the driver's to judge. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetEventDataEx(ZEL_HANDLE hEventQueue, ZelEventData *pEventData,
                                                     ZEL_UINT32 coEventData, ZEL_UINT32 *pcoEventsReturned);
/* ZelDrvSetEventData: puts a record with nData0 to nData5 (extension words
 * 0). NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetEventData(ZEL_HANDLE hEventQueue, ZEL_UINT32 nData0, ZEL_UINT32 nData1,
                                                   ZEL_UINT32 nData2, ZEL_UINT32 nData3, ZEL_UINT32 nData4,
                                                   ZEL_UINT32 nData5);
/* ZelDrvSetEventDataEx: puts a whole record; nExData0 and nExData1 become
 * its first two words. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetEventDataEx(ZEL_HANDLE hEventQueue, ZEL_UINT32 nData0, ZEL_UINT32 nData1,
                                                     ZEL_UINT32 nData2, ZEL_UINT32 nData3, ZEL_UINT32 nData4,
                                                     ZEL_UINT32 nData5, ZEL_UINT32 nExData0, ZEL_UINT32 nExData1);
/* ZelDrvEventCode2String: the driver's text of an event code, copied into
 * pszStringBuf whatever the result (an empty text where the reply stopped):
 * up to its first NUL, at most cbStringBuf - 1 characters and never more
 * than 255, always NUL-terminated. NULL: pszStringBuf may be NULL only with
 * cbStringBuf 0 (nothing written); otherwise refused with 0xB5069409.
 * Sizes: cbStringBuf 0 to 0xFFFFFFFF, sent to the driver; 256 always
 * suffices. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEventCode2String(ZEL_HANDLE hDevice, ZEL_UINT32 nEventCode,
                                                       ZEL_UINT32 cbStringBuf, char *pszStringBuf);

/* ---------------------------------------------------------------------------
 * Event objects and waits: operating-system events, no driver involved.
 * ------------------------------------------------------------------------- */
/* ZelDrvCreateEvent: *phEvent := a new auto-reset event, or NULL (still
 * with result 0) when none can be made. NULL: phEvent NULL is refused with
 * 0xB504250D. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreateEvent(OSA_HANDLE *phEvent);
/* ZelDrvSignalEvent: sets the event; 0, or 0xB504890D when hEvent is no
 * event (NULL included). NULL: hEvent NULL fails as said. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSignalEvent(OSA_HANDLE hEvent);
/* ZelDrvCloseEvent: closes the event; always 0. NULL: hEvent NULL or a
 * handle that names nothing is ignored. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCloseEvent(OSA_HANDLE hEvent);
/* ZelDrvWaitForSingleEvent: waits up to nTimeoutMs (ZEL_INFINITE: no end)
 * for the event. 0 when it was set (and is consumed), ZEL_S_TIMEOUT (3) at
 * the timeout, 0xB505950B when abandoned, 0xB5059B0D when the wait fails
 * (hEvent NULL or no event included). NULL: hEvent NULL fails as said.
 * Sizes: nTimeoutMs 0 to 0xFFFFFFFF. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWaitForSingleEvent(OSA_HANDLE hEvent, ZEL_UINT32 nTimeoutMs);
/* ZelDrvWaitForMultipleEvents: waits for any (bWaitAll 0, lowest index
 * wins) or all of coEvents events. ZEL_S_SIGNALLED (2) with *pnIndex := the
 * index (0 when all), ZEL_S_TIMEOUT (3), 0xB505DC0B when abandoned (index
 * given too), 0xB505E50D when the wait fails. *pnIndex is written only with
 * ZEL_S_SIGNALLED and 0xB505DC0B.
 * NULL: pnIndex may be NULL (no index written); phEvents NULL fails the
 * wait (0xB505E50D). Sizes: coEvents 1 to ZEL_MAX_WAIT_EVENTS (64); others
 * fail the wait; phEvents holds coEvents handles. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWaitForMultipleEvents(ZEL_UINT32 coEvents, const OSA_HANDLE *phEvents,
                                                            ZEL_UINT32 nTimeoutMs, ZEL_BOOL bWaitAll,
                                                            ZEL_UINT32 *pnIndex);
/* ZelDrvCancelTask: not implemented; always 0xB5062406.
 * NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCancelTask(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2);

/* ---------------------------------------------------------------------------
 * Registers, time and debug dump. Each word travels whole; the width is the
 * driver's to apply.
 * ------------------------------------------------------------------------- */
/* ZelDrvReadReg8: *pnValue := the driver's word, copied whatever the result.
 * NULL: pnValue NULL is refused with 0xB506A909. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReadReg8(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 *pnValue);
/* ZelDrvReadReg16: as ZelDrvReadReg8; pnValue NULL is refused with
 * 0xB506B609. NULL: see above. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReadReg16(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 *pnValue);
/* ZelDrvReadReg32: as ZelDrvReadReg8; pnValue NULL is refused with
 * 0xB506C309. NULL: see above. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReadReg32(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 *pnValue);
/* ZelDrvWriteReg8: writes nValue. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWriteReg8(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 nValue);
/* ZelDrvWriteReg16: writes nValue. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWriteReg16(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 nValue);
/* ZelDrvWriteReg32: writes nValue. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWriteReg32(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 nValue);
/* ZelDrvDbgDump: asks the driver for a debug dump.
 * NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDbgDump(ZEL_HANDLE hDevice, ZEL_UINT32 nCommand);
/* ZelDrvGetCurrentTime: *pTime := the driver's time (two words, low first),
 * copied whatever the result. NULL: pTime NULL is refused with 0xB506E609.
 * Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetCurrentTime(ZEL_UINT64 *pTime);

/* ---------------------------------------------------------------------------
 * Application event queues: 128 in-process rings, prepared by
 * ZelDrvConnectLib and closed by ZelDrvReleaseLib. A handle is an index
 * 0 to 127; others are refused. Outside that connection (before the first
 * ZelDrvConnectLib, after ZelDrvReleaseLib, or connected by
 * ZelNetConnectLib) every operation below fails with 0xB5074E16 after its
 * index and pointer tests, and changes no queue.
 * ------------------------------------------------------------------------- */
/* ZelCreateAppEventQueue: a ring of coMaxEvents records signalling hEvent.
 * *phEventQueue := its index, or ZEL_NO_APP_EVENT_QUEUE on any later
 * failure (0xB5074E16 outside the connection). NULL: phEventQueue NULL is
 * refused with 0xB5075209; hEvent NULL with 0xB507570B. Sizes: coMaxEvents 1 to 0x07FFFFFF (its block of
 * coMaxEvents x 32 bytes fits 32 bits); others 0xB5075409; 0xB5075C08 when
 * the blocks cannot be had or all 128 queues are open. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelCreateAppEventQueue(ZEL_UINT32 coMaxEvents, OSA_HANDLE hEvent,
                                                       ZEL_UINT32 *phEventQueue);
/* ZelCloseAppEventQueue: closes the queue; 0 (also for one not open),
 * 0xB507880B for an index of 128 or more, 0xB5074E16 outside the
 * connection. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelCloseAppEventQueue(ZEL_UINT32 hEventQueue);
/* ZelGetAppEventData: takes the oldest record into *pEventData: 0, or the
 * informational 0x3507B301 when the queue is empty (nothing written).
 * Failures, nothing written: 0xB507A60B index out of range, 0xB507AF0B not
 * open, 0xB507B10D no storage, 0xB5074E16 outside the connection.
 * NULL: pEventData NULL is refused with 0xB507A909. Sizes: one record. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelGetAppEventData(ZEL_UINT32 hEventQueue, ZelEventData *pEventData);
/* ZelGetAppEventDataEx: takes up to coEventData records, oldest first, into
 * pEventData; *pcoEventsReturned := how many (0 on every outcome after the
 * pointer tests, never above coEventData). Empty queue: the informational
 * 0x3507DF01. Failures: 0xB507D00B index out of range (nothing written),
 * 0xB507DB0B not open, 0xB507DD0D no storage, 0xB5074E16 outside the
 * connection. NULL: pEventData or pcoEventsReturned NULL is refused with 0xB507D309.
 * Sizes: coEventData up to 0x7FFFFFFF records; 0 or negative takes none;
 * pEventData holds coEventData records. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelGetAppEventDataEx(ZEL_UINT32 hEventQueue, ZelEventData *pEventData,
                                                     ZEL_INT32 coEventData, ZEL_UINT32 *pcoEventsReturned);
/* ZelQueueAppEventDataEx: appends a record without signalling; a full ring
 * drops its oldest record. Failures: 0xB5087D0B index out of range,
 * 0xB508390B not open, 0xB5083B0D no storage, 0xB5074E16 outside the
 * connection (the record is not kept). NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelQueueAppEventDataEx(ZEL_UINT32 hEventQueue, ZEL_UINT32 nData0, ZEL_UINT32 nData1,
                                                       ZEL_UINT32 nData2, ZEL_UINT32 nData3, ZEL_UINT32 nData4,
                                                       ZEL_UINT32 nData5, ZEL_UINT32 nExData0, ZEL_UINT32 nExData1);
/* ZelSetAppEventDataEx: ZelQueueAppEventDataEx, then ZelSignalAppEvent;
 * the failures of either (outside the connection 0xB5074E16, nothing
 * queued or signalled). NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelSetAppEventDataEx(ZEL_UINT32 hEventQueue, ZEL_UINT32 nData0, ZEL_UINT32 nData1,
                                                     ZEL_UINT32 nData2, ZEL_UINT32 nData3, ZEL_UINT32 nData4,
                                                     ZEL_UINT32 nData5, ZEL_UINT32 nExData0, ZEL_UINT32 nExData1);
/* ZelSignalAppEvent: signals the queue's event; 0xB508080B for an index of
 * 128 or more, 0xB5074E16 outside the connection (nothing signalled).
 * NULL: no pointer. Sizes: none. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelSignalAppEvent(ZEL_UINT32 hEventQueue);

/* ---------------------------------------------------------------------------
 * OS layer: devices, threads, locks, time. These return the system's own
 * results, never a ZEL_RESULT.
 * ------------------------------------------------------------------------- */

/* Storage for one lock, owned by the caller (a recursive, process-local
 * lock). Large enough and aligned for every platform's native lock. */
typedef union OSA_MUTEX {
    void *pAlign;
    ZEL_UINT64 nAlign;
    unsigned char abOpaque[64];
} OSA_MUTEX;

typedef ZEL_UINT32(ZEL_CALLCONV *OSA_THREAD_ROUTINE)(void *pParam);

/* OsaDeviceOpen: opens the device named pszName (a registered provider
 * first); OSA_INVALID_HANDLE_VALUE when it does not open.
 * NULL: pszName NULL does not open. Sizes: a name of 1 to 51 characters;
 * a longer one does not open (never truncated). */
ZEL_API OSA_HANDLE ZEL_CALLCONV OsaDeviceOpen(const char *pszName);
/* OsaDeviceClose: closes a device (or an event) handle; nonzero on success,
 * 0 for a handle that names nothing. NULL: hDevice NULL gives 0.
 * Sizes: none. */
ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceClose(OSA_HANDLE hDevice);
/* OsaDeviceIoControl: one synchronous device-control request; nonzero on
 * success, 0 on failure (an invalid handle included). *pcbReturned := the
 * bytes written to pOut on success; on failure it may keep its value.
 * NULL: pcbReturned may be NULL (no count written); pIn and pOut may be NULL
 * with size 0. Sizes: cbIn and cbOut 0 to 0xFFFFFFFF, each buffer holding
 * its size. */
ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceIoControl(OSA_HANDLE hDevice, ZEL_UINT32 nControlCode, const void *pIn,
                                                 ZEL_UINT32 cbIn, void *pOut, ZEL_UINT32 cbOut,
                                                 ZEL_UINT32 *pcbReturned);
/* OsaThreadSleep: sleeps nMilliseconds (0: yields).
 * NULL: no pointer. Sizes: 0 to 0xFFFFFFFF ms. */
ZEL_API void ZEL_CALLCONV OsaThreadSleep(ZEL_UINT32 nMilliseconds);
/* OsaThreadStart: starts pfnRoutine(NULL) on a new thread of raised
 * priority; nonzero when started. NULL: pfnRoutine NULL starts nothing (0).
 * Sizes: none. */
ZEL_API ZEL_BOOL ZEL_CALLCONV OsaThreadStart(OSA_THREAD_ROUTINE pfnRoutine);
/* OsaThreadStartEx: as OsaThreadStart with pParam handed to the routine.
 * NULL: pfnRoutine NULL starts nothing (0); pParam may be NULL.
 * Sizes: none. */
ZEL_API ZEL_BOOL ZEL_CALLCONV OsaThreadStartEx(OSA_THREAD_ROUTINE pfnRoutine, void *pParam);
/* OsaMutexInit: makes a lock in *pMutex. NULL: pMutex NULL does nothing.
 * Sizes: none. */
ZEL_API void ZEL_CALLCONV OsaMutexInit(OSA_MUTEX *pMutex);
/* OsaMutexLock: takes the lock (again, by its owner). NULL: pMutex NULL
 * does nothing. Sizes: none. */
ZEL_API void ZEL_CALLCONV OsaMutexLock(OSA_MUTEX *pMutex);
/* OsaMutexUnlock: releases one take. NULL: pMutex NULL does nothing.
 * Sizes: none. */
ZEL_API void ZEL_CALLCONV OsaMutexUnlock(OSA_MUTEX *pMutex);
/* OsaMutexDestroy: deletes the lock. NULL: pMutex NULL does nothing.
 * Sizes: none. */
ZEL_API void ZEL_CALLCONV OsaMutexDestroy(OSA_MUTEX *pMutex);
/* OsaStdLocalTime: *pTime (seconds since 1970) as local time, in storage
 * the layer owns (overwritten by the calling thread's next call); NULL when
 * it cannot be converted. NULL: pTime NULL gives NULL. Sizes: the time as the platform's
 * time_t holds it. */
ZEL_API struct tm *ZEL_CALLCONV OsaStdLocalTime(const ZEL_INT64 *pTime);

/* Device providers: in-process stand-ins for kernel devices (the board
 * simulator, test fakes). OsaDeviceOpen looks a name up here first. */
typedef struct OsaDeviceProvider {
    void *pContext;
    ZEL_BOOL(ZEL_CALLCONV *pfnOpen)(void *pContext);
    ZEL_BOOL(ZEL_CALLCONV *pfnIoControl)
    (void *pContext, ZEL_UINT32 nControlCode, const void *pIn, ZEL_UINT32 cbIn, void *pOut, ZEL_UINT32 cbOut,
     ZEL_UINT32 *pcbReturned);
    void(ZEL_CALLCONV *pfnClose)(void *pContext);
} OsaDeviceProvider;

/* OsaDeviceRegisterProvider: serves the name pszName from *pProvider (copied);
 * nonzero when registered. NULL: pszName, pProvider or any of its three
 * functions NULL registers nothing (0); pContext may be NULL. Sizes: a name
 * of 1 to 51 characters. The provider is always given a count to store. */
ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceRegisterProvider(const char *pszName, const OsaDeviceProvider *pProvider);
/* OsaDeviceUnregisterProvider: removes the provider of pszName, closing its
 * open device; nonzero when one was removed. NULL: pszName NULL gives 0.
 * Sizes: none. */
ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceUnregisterProvider(const char *pszName);

/* ---------------------------------------------------------------------------
 * OS layer: console with scripted input
 * ------------------------------------------------------------------------- */
/* OsaConsoleInput: the input calls read pszScript before the console; "^"
 * ends a field for the line reads. The script is not copied: it must stay
 * valid and unchanged until it is consumed or replaced by the next
 * OsaConsoleInput. NULL: pszScript NULL counts as "" (console input).
 * Sizes: any NUL-terminated string. */
ZEL_API void ZEL_CALLCONV OsaConsoleInput(const char *pszScript);
/* OsaConsoleInit: does nothing. NULL: no pointer. Sizes: none. */
/* OsaConsoleExit is the same (empty) function under a second name. */
ZEL_API void ZEL_CALLCONV OsaConsoleInit(void);
/* OsaConsoleExit: OsaConsoleInit under a second name.
 * NULL: no pointer. Sizes: none. */
ZEL_API void ZEL_CALLCONV OsaConsoleExit(void);
/* OsaConsolePrintF: vfprintf to standard output; the count of characters
 * written, negative on error. NULL: pszFormat NULL writes nothing and
 * returns -1. Sizes: none. */
ZEL_API ZEL_INT32 ZEL_CALLCONV OsaConsolePrintF(const char *pszFormat, va_list args);
/* OsaConsolePutStr: the string and a newline to standard output; 0, or -1
 * on error. NULL: pszString NULL writes nothing and returns -1.
 * Sizes: any NUL-terminated string. */
ZEL_API ZEL_INT32 ZEL_CALLCONV OsaConsolePutStr(const char *pszString);
/* Reads at most OSA_CONSOLE_MAX_LINE bytes (NUL included) into pszBuffer.
 * OsaConsoleGetStr: OsaConsoleGetStrEx(pszBuffer, OSA_CONSOLE_MAX_LINE).
 * NULL: pszBuffer NULL reads nothing and returns NULL.
 * Sizes: pszBuffer holds OSA_CONSOLE_MAX_LINE (1024) bytes. */
ZEL_API char *ZEL_CALLCONV OsaConsoleGetStr(char *pszBuffer);
/* OsaConsoleGetStrEx: the next script field, or one line of standard input
 * when the script is exhausted, without its "^" or newline; at most
 * cbBuffer - 1 characters and a NUL are stored, the rest of a longer field
 * or line is dropped. Returns pszBuffer, or NULL at the end of input.
 * NULL: pszBuffer NULL returns NULL. Sizes: cbBuffer 1 to 0xFFFFFFFF; 0
 * returns NULL. */
ZEL_API char *ZEL_CALLCONV OsaConsoleGetStrEx(char *pszBuffer, ZEL_UINT32 cbBuffer);
/* OsaConsoleGetCh: the next script character as a signed 8-bit value
 * (-128 to 127: 0x80 to 0xFF give negatives), or, when the script is
 * exhausted, one console key without echo (0 to 255) or -1 at the end of
 * input. NULL: no pointer. Sizes: none. */
ZEL_API ZEL_INT32 ZEL_CALLCONV OsaConsoleGetCh(void);
/* OsaBeep: a tone of nFrequency Hz for nDuration ms (elsewhere than Windows
 * the terminal's bell); nonzero when sounded. NULL: no pointer.
 * Sizes: 0 to 0xFFFFFFFF each. */
ZEL_API ZEL_BOOL ZEL_CALLCONV OsaBeep(ZEL_UINT32 nFrequency, ZEL_UINT32 nDuration);

#ifdef __cplusplus
}
#endif

#endif /* ZEL_H */
