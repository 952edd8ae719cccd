/*
 * zelsim_cassette.h - cassettes: record what the board answered, replay it
 * with no board. Included by zelsim.h; docs/cassettes.md describes the
 * format, the matching rules and the divergence report.
 *
 * Capture records every request the library sends to the in-process
 * simulator exactly as it was sent and answered (input words, sizes, the
 * bytes the driver wrote, the byte count, the call's outcome, the result),
 * the opens and closes of its devices, and every signal of an event bound to
 * one of its event queues. It changes nothing the program sees.
 *
 * Replay serves "ZELDRV" and "ZELNET" from a cassette instead of the
 * simulator: each request is matched against the recording and answered with
 * the recorded reply; the program's own event bound to a queue is signalled
 * where the recording's was. Time is virtual: nothing waits for the recorded
 * pace. A request that matches nothing stops the replay: it and every later
 * request fail with ZELSIM_REPLAY_NOT_IN_CASSETTE ("replay: the request is
 * not in the cassette"), and the divergence report names the request, the
 * closest recorded request and each word that differs.
 *
 * The simulator and a replay both serve "ZELDRV": install one at a time.
 * All functions are thread-safe.
 */
#ifndef ZELSIM_CASSETTE_H
#define ZELSIM_CASSETTE_H

/* For ZELSIM_API; zelsim.h includes this header in turn. */
#include <zel/zelsim.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The result of every request after a replay has diverged. */
#define ZELSIM_REPLAY_NOT_IN_CASSETTE 0x9689C40Du

/* Starts recording the simulator's requests into the file pszPath, created
 * or truncated. Returns 1 when started; 0 when pszPath is NULL or empty,
 * the file cannot be created, or a capture is already running (it goes on).
 * NULL: pszPath NULL gives 0. Sizes: a NUL-terminated path of the
 * platform's own form. */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimCaptureStart(const char *pszPath);
/* Stops the capture and closes its file. Returns 1 when a capture was
 * running and every record reached the file; 0 when none was running or a
 * write failed. Requests running on other threads finish their records
 * first. */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimCaptureStop(void);

#define ZELSIM_MATCH_IN_ORDER 0u /* each request must equal the next recorded one */
#define ZELSIM_MATCH_CONTENT 1u  /* each takes the first unused recorded one it equals */

/* Reads the cassette pszPath and serves "ZELDRV" and "ZELNET" from it,
 * matching in order. Returns 1 when installed; 0 when the file cannot be
 * read or is not a cassette, or a device is already served (the simulator,
 * another replay). NULL: pszPath NULL gives 0. */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimReplayInstall(const char *pszPath);
/* As ZelSimReplayInstall with a match mode (ZELSIM_MATCH_...). On failure
 * copies the reason ("FILE:LINE: message" for a bad cassette) into
 * pszError, cut to cbError bytes with its NUL. NULL: pszPath NULL gives 0;
 * pszError may be NULL (cbError is then ignored). Sizes: cbError 0 writes
 * nothing. */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimReplayInstallEx(const char *pszPath, ZEL_UINT32 nMatch, char *pszError,
                                                       ZEL_UINT32 cbError);
/* Stops serving; harmless when no replay is installed. Release the
 * library's connection first. The report and counts stay readable until the
 * next install. */
ZELSIM_API void ZEL_CALLCONV ZelSimReplayUninstall(void);

/* Whether the replay has diverged (1) or not, or none was installed (0). */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimReplayDiverged(void);
/* How many recorded requests have not been served (0 without a replay). */
ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimReplayUnused(void);
/* Copies the divergence report (several lines, "" when the replay has not
 * diverged) into pszReport, cut to cbReport bytes with its NUL. Returns the
 * report's whole length without its NUL. NULL: pszReport NULL copies nothing
 * and returns the length. Sizes: cbReport 0 copies nothing. */
ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimReplayReport(char *pszReport, ZEL_UINT32 cbReport);
/* Waits until at most coUnused recorded requests are left unserved, the
 * replay diverges, or nTimeoutMs pass (ZEL_INFINITE: no limit). Returns 1
 * when the count was reached. A program that ends when told to (as one
 * that runs until its input ends) learns here that the replay has come to
 * the point where it was told. */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimReplayWait(ZEL_UINT32 coUnused, ZEL_UINT32 nTimeoutMs);

#ifdef __cplusplus
}
#endif

#endif /* ZELSIM_CASSETTE_H */
