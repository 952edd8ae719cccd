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
 * Result codes
 * ------------------------------------------------------------------------- */
ZEL_API ZEL_BOOL ZEL_CALLCONV ZelSuccess(ZEL_RESULT r);
ZEL_API ZEL_BOOL ZEL_CALLCONV ZelFailure(ZEL_RESULT r);
ZEL_API ZEL_UINT32 ZEL_CALLCONV ZelResultSeverity(ZEL_RESULT r);
ZEL_API ZEL_UINT32 ZEL_CALLCONV ZelResultSourceId(ZEL_RESULT r);
ZEL_API ZEL_UINT32 ZEL_CALLCONV ZelResultLineNum(ZEL_RESULT r);
ZEL_API ZEL_UINT32 ZEL_CALLCONV ZelResultErrorCode(ZEL_RESULT r);
ZEL_API void ZEL_CALLCONV ZelResultCode(ZEL_RESULT r, ZEL_UINT32 *pnErrorCode, ZEL_UINT32 *pnSeverity,
                                        ZEL_UINT32 *pnSourceId, ZEL_UINT32 *pnLineNum);

/* Describes a result: from the built-in catalogue when hDevice is 0 (returns
 * 0, or ZEL_S_NO_DATA with a default text), else by asking the driver. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvResultCode2String(ZEL_HANDLE hDevice, ZEL_RESULT nResultCode,
                                                        ZEL_UINT32 cbStringBuf, char *pszStringBuf);

/* ---------------------------------------------------------------------------
 * Connection
 * ------------------------------------------------------------------------- */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvConnectLib(void);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelNetConnectLib(void);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReleaseLib(void);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvIsLibConnected(ZEL_BOOL *pbConnected);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetHandle(OSA_HANDLE *phDriver);

/* ---------------------------------------------------------------------------
 * Devices and enumeration
 * ------------------------------------------------------------------------- */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetDeviceHandle(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3,
                                                      ZEL_HANDLE *phDevice);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvOpenPhysicalDevice(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3,
                                                         ZEL_UINT32 nParam4, ZEL_UINT32 nParam5, ZEL_HANDLE *phDevice);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvOpenPhysicalDeviceEx(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreateLogicalDevice(ZEL_HANDLE hHostDevice, ZEL_UINT32 nParam2,
                                                          ZEL_UINT32 nParam3, ZEL_UINT32 nParam4,
                                                          ZEL_HANDLE *phLogicalDevice);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEnable(ZEL_HANDLE hDevice, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDisable(ZEL_HANDLE hDevice, ZEL_UINT32 nParam2, ZEL_UINT32 nParam3);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetState(ZEL_HANDLE hDevice, ZEL_UINT32 *pnState);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReset(ZEL_HANDLE hDevice);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvConnectBoard(ZEL_HANDLE hCtBus, ZEL_HANDLE hBoard);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvClose(ZEL_HANDLE hDevice);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvPollEvents(ZEL_HANDLE hDevice);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvIteratorBegin(ZEL_UINT32 *pIterator);
/* Returns a ZEL_BOOL: 1 while the iterator is not at its end marker. */
ZEL_API ZEL_BOOL ZEL_CALLCONV ZelDrvIsIteratorEnd(const ZEL_UINT32 *pIterator);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEnumDeviceType(ZEL_UINT32 nParam1, ZEL_UINT32 *pIterator,
                                                     ZEL_UINT32 *pnDeviceType);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEnumDevice(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2, ZEL_UINT32 *pIterator,
                                                 ZEL_UINT32 *pnDevice);

/* ---------------------------------------------------------------------------
 * Pipes and connections
 * ------------------------------------------------------------------------- */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreatePipe(ZEL_UINT32 nParam1, ZEL_HANDLE *phPipe);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvConnectPipe(ZEL_HANDLE hPipe, ZEL_UINT32 nParam2, ZEL_HANDLE hDevice,
                                                  ZEL_UINT32 nParam4, const void *pTimeSlotMask, ZEL_INT32 coMaskSize);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDisconnectPipe(ZEL_HANDLE hPipe, ZEL_UINT32 nParam2);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvConnectLogicalDevice(ZEL_HANDLE hFromDevice, ZEL_UINT32 nParam2,
                                                           ZEL_HANDLE hToDevice, ZEL_UINT32 nParam4);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDisconnectLogicalDevice(ZEL_HANDLE hFromDevice, ZEL_UINT32 nParam2,
                                                              ZEL_HANDLE hToDevice, ZEL_UINT32 nParam4);

/* ---------------------------------------------------------------------------
 * Attributes
 * ------------------------------------------------------------------------- */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeType(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                       ZEL_UINT32 *pnAttribType, ZEL_UINT32 *pcbAttribSize,
                                                       ZEL_UINT32 *pnAttribInfo);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValue(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId, void *pAttribValue,
                                                        ZEL_UINT32 cbAttribValueBuf,
                                                        ZEL_UINT32 *pcbAttribValueReturned);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetAttributeValue(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                        const void *pAttribValue, ZEL_UINT32 cbAttribValue);
/* ZelDrvGetAttributeValueBool is the same function under a second name. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValueUint32(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                              ZEL_UINT32 *pAttribValue);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValueBool(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                            ZEL_BOOL *pAttribValue);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValueUint32Ex(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                                ZEL_UINT32 nAttribValueIn, ZEL_UINT32 *pAttribValue);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetAttributeValueSz(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                          char *pszAttribValue, ZEL_UINT32 cbAttribValueBuf);
/* ZelDrvSetAttributeValueBool is the same function under a second name. */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetAttributeValueUint32(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                              ZEL_UINT32 nAttribValue);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetAttributeValueBool(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                            ZEL_BOOL nAttribValue);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetAttributeValueSz(ZEL_HANDLE hObject, ZEL_UINT32 nAttribId,
                                                          const char *pszAttribValue);

/* ---------------------------------------------------------------------------
 * Driver event queues and event data
 * ------------------------------------------------------------------------- */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreateEventQueue(ZEL_UINT32 coMaxEvents, OSA_HANDLE hEvent,
                                                       ZEL_HANDLE *phEventQueue);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetEventData(ZEL_HANDLE hEventQueue, ZelEventData *pEventData);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetEventDataEx(ZEL_HANDLE hEventQueue, ZelEventData *pEventData,
                                                     ZEL_UINT32 coEventData, ZEL_UINT32 *pcoEventsReturned);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetEventData(ZEL_HANDLE hEventQueue, ZEL_UINT32 nData0, ZEL_UINT32 nData1,
                                                   ZEL_UINT32 nData2, ZEL_UINT32 nData3, ZEL_UINT32 nData4,
                                                   ZEL_UINT32 nData5);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSetEventDataEx(ZEL_HANDLE hEventQueue, ZEL_UINT32 nData0, ZEL_UINT32 nData1,
                                                     ZEL_UINT32 nData2, ZEL_UINT32 nData3, ZEL_UINT32 nData4,
                                                     ZEL_UINT32 nData5, ZEL_UINT32 nExData0, ZEL_UINT32 nExData1);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvEventCode2String(ZEL_HANDLE hDevice, ZEL_UINT32 nEventCode,
                                                       ZEL_UINT32 cbStringBuf, char *pszStringBuf);

/* ---------------------------------------------------------------------------
 * Event objects and waits
 * ------------------------------------------------------------------------- */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCreateEvent(OSA_HANDLE *phEvent);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvSignalEvent(OSA_HANDLE hEvent);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCloseEvent(OSA_HANDLE hEvent);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWaitForSingleEvent(OSA_HANDLE hEvent, ZEL_UINT32 nTimeoutMs);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWaitForMultipleEvents(ZEL_UINT32 coEvents, const OSA_HANDLE *phEvents,
                                                            ZEL_UINT32 nTimeoutMs, ZEL_BOOL bWaitAll,
                                                            ZEL_UINT32 *pnIndex);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvCancelTask(ZEL_UINT32 nParam1, ZEL_UINT32 nParam2);

/* ---------------------------------------------------------------------------
 * Registers, time and debug dump
 * ------------------------------------------------------------------------- */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReadReg8(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 *pnValue);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReadReg16(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 *pnValue);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReadReg32(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 *pnValue);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWriteReg8(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 nValue);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWriteReg16(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 nValue);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvWriteReg32(ZEL_HANDLE hDevice, ZEL_UINT32 nRegister, ZEL_UINT32 nValue);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvDbgDump(ZEL_HANDLE hDevice, ZEL_UINT32 nCommand);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetCurrentTime(ZEL_UINT64 *pTime);

/* ---------------------------------------------------------------------------
 * Application event queues
 * ------------------------------------------------------------------------- */
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelCreateAppEventQueue(ZEL_UINT32 coMaxEvents, OSA_HANDLE hEvent,
                                                       ZEL_UINT32 *phEventQueue);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelCloseAppEventQueue(ZEL_UINT32 hEventQueue);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelGetAppEventData(ZEL_UINT32 hEventQueue, ZelEventData *pEventData);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelGetAppEventDataEx(ZEL_UINT32 hEventQueue, ZelEventData *pEventData,
                                                     ZEL_INT32 coEventData, ZEL_UINT32 *pcoEventsReturned);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelQueueAppEventDataEx(ZEL_UINT32 hEventQueue, ZEL_UINT32 nData0, ZEL_UINT32 nData1,
                                                       ZEL_UINT32 nData2, ZEL_UINT32 nData3, ZEL_UINT32 nData4,
                                                       ZEL_UINT32 nData5, ZEL_UINT32 nExData0, ZEL_UINT32 nExData1);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelSetAppEventDataEx(ZEL_UINT32 hEventQueue, ZEL_UINT32 nData0, ZEL_UINT32 nData1,
                                                     ZEL_UINT32 nData2, ZEL_UINT32 nData3, ZEL_UINT32 nData4,
                                                     ZEL_UINT32 nData5, ZEL_UINT32 nExData0, ZEL_UINT32 nExData1);
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelSignalAppEvent(ZEL_UINT32 hEventQueue);

/* ---------------------------------------------------------------------------
 * OS layer: devices, threads, locks, time
 * ------------------------------------------------------------------------- */

/* Storage for one lock, owned by the caller (a recursive, process-local
 * lock). Large enough and aligned for every platform's native lock. */
typedef union OSA_MUTEX {
    void *pAlign;
    ZEL_UINT64 nAlign;
    unsigned char abOpaque[64];
} OSA_MUTEX;

typedef ZEL_UINT32(ZEL_CALLCONV *OSA_THREAD_ROUTINE)(void *pParam);

ZEL_API OSA_HANDLE ZEL_CALLCONV OsaDeviceOpen(const char *pszName);
ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceClose(OSA_HANDLE hDevice);
ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceIoControl(OSA_HANDLE hDevice, ZEL_UINT32 nControlCode, const void *pIn,
                                                 ZEL_UINT32 cbIn, void *pOut, ZEL_UINT32 cbOut,
                                                 ZEL_UINT32 *pcbReturned);
ZEL_API void ZEL_CALLCONV OsaThreadSleep(ZEL_UINT32 nMilliseconds);
ZEL_API ZEL_BOOL ZEL_CALLCONV OsaThreadStart(OSA_THREAD_ROUTINE pfnRoutine);
ZEL_API ZEL_BOOL ZEL_CALLCONV OsaThreadStartEx(OSA_THREAD_ROUTINE pfnRoutine, void *pParam);
ZEL_API void ZEL_CALLCONV OsaMutexInit(OSA_MUTEX *pMutex);
ZEL_API void ZEL_CALLCONV OsaMutexLock(OSA_MUTEX *pMutex);
ZEL_API void ZEL_CALLCONV OsaMutexUnlock(OSA_MUTEX *pMutex);
ZEL_API void ZEL_CALLCONV OsaMutexDestroy(OSA_MUTEX *pMutex);
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

ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceRegisterProvider(const char *pszName, const OsaDeviceProvider *pProvider);
ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceUnregisterProvider(const char *pszName);

/* ---------------------------------------------------------------------------
 * OS layer: console with scripted input
 * ------------------------------------------------------------------------- */
ZEL_API void ZEL_CALLCONV OsaConsoleInput(const char *pszScript);
/* OsaConsoleExit is the same (empty) function under a second name. */
ZEL_API void ZEL_CALLCONV OsaConsoleInit(void);
ZEL_API void ZEL_CALLCONV OsaConsoleExit(void);
ZEL_API ZEL_INT32 ZEL_CALLCONV OsaConsolePrintF(const char *pszFormat, va_list args);
ZEL_API ZEL_INT32 ZEL_CALLCONV OsaConsolePutStr(const char *pszString);
/* Reads at most OSA_CONSOLE_MAX_LINE bytes (NUL included) into pszBuffer. */
ZEL_API char *ZEL_CALLCONV OsaConsoleGetStr(char *pszBuffer);
ZEL_API char *ZEL_CALLCONV OsaConsoleGetStrEx(char *pszBuffer, ZEL_UINT32 cbBuffer);
ZEL_API ZEL_INT32 ZEL_CALLCONV OsaConsoleGetCh(void);
ZEL_API ZEL_BOOL ZEL_CALLCONV OsaBeep(ZEL_UINT32 nFrequency, ZEL_UINT32 nDuration);

#ifdef __cplusplus
}
#endif

#endif /* ZEL_H */
