/*
 * zelsim.h - the board simulator: an in-process stand-in for the boards'
 * driver, for tests and for development without a board.
 *
 * Installed, it serves the control devices "ZELDRV" and "ZELNET" through the
 * OS layer's device providers, so ZelDrvConnectLib and ZelNetConnectLib
 * reach it exactly as they would reach the driver. Each device opens once at
 * a time, like the real one. It answers every request of the library from
 * one simulated board, and lets a test distort replies (fault injection) and
 * read back what was asked of it (the request log).
 *
 * All functions are thread-safe. Release the library's connection before
 * ZelSimUninstall.
 */
#ifndef ZELSIM_H
#define ZELSIM_H

#include <zel/zel.h>

/* The simulator is a library of its own: zelsim.dll beside zel.dll, or a
 * static library beside the static zel (ZEL_STATIC). */
#if defined(_WIN32) && !defined(ZEL_STATIC)
#if defined(ZELSIM_BUILDING_LIBRARY)
#define ZELSIM_API __declspec(dllexport)
#else
#define ZELSIM_API __declspec(dllimport)
#endif
#elif defined(_WIN32)
#define ZELSIM_API
#else
#define ZELSIM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the simulator for "ZELDRV" and "ZELNET". A first install starts
 * from power-on state. Returns 1 when installed (also when it already was). */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimInstall(void);
/* Removes both devices. Harmless when not installed. */
ZELSIM_API void ZEL_CALLCONV ZelSimUninstall(void);
/* Power-on state: the board model is reset, faults and the log are cleared. */
ZELSIM_API void ZEL_CALLCONV ZelSimReset(void);

/* ---------------------------------------------------------------------------
 * Fault injection. A fault applies to requests of one function number (or of
 * any, ZELSIM_ANY_FUNCTION) after the board has served them: the board's
 * state changes as usual, only the reply that the library sees is distorted.
 * Faults are tried in the order injected; the first that matches applies.
 * ------------------------------------------------------------------------- */
#define ZELSIM_ANY_FUNCTION 0xFFFFFFFFu

/* The device-control call fails but reports a byte count: nValue when it is
 * not 0, else the whole output size. */
#define ZELSIM_FAULT_CALL_FAILS 1u
/* The call succeeds but returns no byte; the output is left untouched. */
#define ZELSIM_FAULT_EMPTY_RESPONSE 2u
/* The call succeeds with only the first nValue bytes of the response
 * delivered; the rest of the caller's output keeps its contents. */
#define ZELSIM_FAULT_SHORT_RESPONSE 3u
/* The driver's result word is replaced by nValue. */
#define ZELSIM_FAULT_RESULT_WORD 4u

/* coTimes: how many requests the fault distorts; 0 keeps it until cleared.
 * Returns 0 for an unknown kind or when the fault table (32 faults) is full. */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimInjectFault(ZEL_UINT32 nFunction, ZEL_UINT32 nFault, ZEL_UINT32 nValue,
                                                   ZEL_UINT32 coTimes);
ZELSIM_API void ZEL_CALLCONV ZelSimClearFaults(void);

/* ---------------------------------------------------------------------------
 * Request log: the most recent ZELSIM_LOG_CAPACITY requests, oldest first.
 * ------------------------------------------------------------------------- */
#define ZELSIM_LOG_CAPACITY 256u
#define ZELSIM_LOG_INPUT_BYTES 64u

typedef struct ZelSimLogRecord {
    ZEL_UINT32 nFunction;                       /* function number ((control code - 0x220000) / 4) */
    ZEL_UINT32 nControlCode;                    /* control code as received */
    ZEL_UINT32 cbIn;                            /* input size as sent */
    ZEL_UINT32 cbOut;                           /* output size as sent */
    ZEL_UINT32 cbReturned;                      /* byte count reported to the caller */
    ZEL_BOOL bCallSucceeded;                    /* what the device-control call returned */
    ZEL_RESULT nResult;                         /* the result word in the reply (after faults) */
    ZEL_UINT32 cbInLogged;                      /* how many input bytes abIn holds */
    unsigned char abIn[ZELSIM_LOG_INPUT_BYTES]; /* the first input bytes */
} ZelSimLogRecord;

ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimLogCount(void);
/* Copies record nIndex (0 = oldest kept) into *pRecord; 0 when out of range
 * or pRecord is null. */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimLogGet(ZEL_UINT32 nIndex, ZelSimLogRecord *pRecord);
ZELSIM_API void ZEL_CALLCONV ZelSimLogClear(void);

#ifdef __cplusplus
}
#endif

/* The world outside the board, the clock and scenarios. */
#include <zel/zelsim_world.h>
/* Cassettes: capture and replay. */
#include <zel/zelsim_cassette.h>

#endif /* ZELSIM_H */
