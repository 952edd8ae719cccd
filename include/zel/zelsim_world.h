/*
 * zelsim_world.h - the world outside the simulated board: telephones on the
 * FXS line ports, an exchange behind the FXO line ports, the far ends of the
 * E1 and T1 trunks; the board's clock (real or virtual); and scenarios, short
 * texts of timed stimuli and expectations that a runner plays against an
 * application. Included by zelsim.h. docs/simulator.md tells the whole story:
 * every stimulus, the records the board posts for it, every application
 * action and what it does to the world, and the scenario format.
 *
 * Devices are named by type (ZELSIM_DEVTYPE_FXS, _FXO, _E1, _T1) and number,
 * as in ZelDrvOpenPhysicalDevice. Every function is thread-safe and may be
 * called while the application runs. A function that acts on the world
 * returns 1 when it did, 0 when it refused: an unknown device or one of the
 * wrong type, an argument out of range, a null pointer, or a stimulus that
 * makes no sense in the line's state (a telephone going off-hook that is
 * off-hook already). A refusal changes nothing.
 */
#ifndef ZELSIM_WORLD_H
#define ZELSIM_WORLD_H

/* For ZELSIM_API; zelsim.h includes this header in turn. */
#include <zel/zelsim.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------
 * The board's clock. In real time (the default, and again after ZelSimReset)
 * driver time is microseconds since the process started and timed stimuli
 * fire on a thread of the simulator's own. In virtual time driver time
 * starts at 0 when the mode is chosen and moves only when a test advances it;
 * every timed stimulus due on the way fires at its own time, in order.
 * Choosing a mode cancels the timed stimuli pending (ring cadences, digits
 * being dialled, the board's timers).
 * ------------------------------------------------------------------------- */
#define ZELSIM_CLOCK_REAL 0u
#define ZELSIM_CLOCK_VIRTUAL 1u

/* Returns 0 for another mode. */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimSetClock(ZEL_UINT32 nMode);
ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimGetClock(void);
/* Moves virtual time on by nMicros (at most ZELSIM_CLOCK_MAX_ADVANCE) and
 * fires what falls due. Returns 0 in real time or when nMicros is too big. */
#define ZELSIM_CLOCK_MAX_ADVANCE 86400000000u /* a day */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimAdvanceClock(ZEL_UINT64 nMicros);

/* ---------------------------------------------------------------------------
 * Strictness. The board is strict by default, and again after ZelSimReset:
 * a line or trunk's device posts records only while it is enabled; a DTMF
 * digit reaches the application only through an enabled DTMF detector that
 * hears the line (hosted on its device, or joined to it by pipes on its time
 * slots and object connections); going off-hook, ringing a telephone and
 * tones, digits or frames need an enabled device as well as an enabled
 * logical device (refused with 2430); a trunk regains frame synchronisation
 * by itself after its signal returns. bStrict 0 makes it lenient: records
 * for any open device, digits without a detector, no resynchronisation
 * without ZelSimTrunkFrameSync.
 * ------------------------------------------------------------------------- */
ZELSIM_API void ZEL_CALLCONV ZelSimSetStrict(ZEL_BOOL bStrict);

/* ---------------------------------------------------------------------------
 * Telephones on FXS ports. Digits: pszDigits holds 1 to ZELSIM_MAX_DIGITS
 * characters of "0123456789*#ABCD" for DTMF, of "0123456789" for pulses;
 * NULL or any other character is refused. A telephone dials only while it
 * is off-hook. DTMF digits take ZELSIM_DTMF_TONE_MS each and are
 * ZELSIM_DTMF_GAP_MS apart; a pulse digit n takes n breaks (10 for 0) of
 * ZELSIM_PULSE_MS each, then ZELSIM_PULSE_GAP_MS before the next digit.
 * ------------------------------------------------------------------------- */
#define ZELSIM_MAX_DIGITS 32u
#define ZELSIM_DTMF_TONE_MS 100u
#define ZELSIM_DTMF_GAP_MS 100u
#define ZELSIM_PULSE_MS 100u
#define ZELSIM_PULSE_GAP_MS 700u
#define ZELSIM_FLASH_MS 500u

/* Lifting the handset of a ringing telephone answers: the ringing stops. */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxsOffHook(ZEL_UINT32 nPort);
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxsOnHook(ZEL_UINT32 nPort);
/* A hook flash of ZELSIM_FLASH_MS; only while off-hook. */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxsFlash(ZEL_UINT32 nPort);
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxsDialDtmf(ZEL_UINT32 nPort, const char *pszDigits);
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxsDialPulse(ZEL_UINT32 nPort, const char *pszDigits);

/* ---------------------------------------------------------------------------
 * The exchange behind FXO ports. Ringing repeats bursts of nOnMs ringing and
 * nOffMs silence (each 1 to ZELSIM_MAX_CADENCE_MS; 0 for both gives the
 * default 2000/4000) until ZelSimFxoStopRinging, or until the application
 * answers by going off-hook. pszCallerId (NULL: none; else 1 to
 * ZELSIM_MAX_DIGITS characters of "0123456789*#") is sent once, in the
 * silence after the first burst: ZELSIM_CALLER_ID_DELAY_MS after it ends, or
 * half-way through a shorter silence. Ringing is refused while the line is
 * off-hook or ringing already.
 * ------------------------------------------------------------------------- */
#define ZELSIM_RING_ON_MS 2000u
#define ZELSIM_RING_OFF_MS 4000u
#define ZELSIM_MAX_CADENCE_MS 60000u
#define ZELSIM_CALLER_ID_DELAY_MS 500u

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxoRing(ZEL_UINT32 nPort, ZEL_UINT32 nOnMs, ZEL_UINT32 nOffMs,
                                               const char *pszCallerId);
/* The caller gives up before the answer; refused unless ringing. */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxoStopRinging(ZEL_UINT32 nPort);
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxoReversePolarity(ZEL_UINT32 nPort);
/* The far end hangs up: the loop current drops; only while off-hook. */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxoDropLoopCurrent(ZEL_UINT32 nPort);
/* DTMF digits from the far end, timed as a telephone's; only while off-hook. */
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimFxoDigits(ZEL_UINT32 nPort, const char *pszDigits);

/* ---------------------------------------------------------------------------
 * The far end of E1 and T1 trunks (nType ZELSIM_DEVTYPE_E1 or _T1). A trunk
 * starts in frame synchronisation without alarms. bOn 1 raises a condition,
 * 0 clears it; a change to the state it is in is refused. Loss of signal
 * also loses frame synchronisation. Channels count from 0 (E1 0 to 31, T1 0
 * to 23); nBits holds the ABCD signalling bits (0 to 15, A in bit 3). HDLC
 * frames hold 1 to ZELSIM_MAX_HDLC_FRAME bytes and are refused during loss
 * of signal. On a strict board a trunk whose signal returns regains frame
 * synchronisation ZELSIM_FRAME_SYNC_DELAY_MS later (unless the signal went
 * again meanwhile); a lenient board waits for ZelSimTrunkFrameSync.
 * ------------------------------------------------------------------------- */
#define ZELSIM_MAX_HDLC_FRAME 256u
#define ZELSIM_FRAME_SYNC_DELAY_MS 100u

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimTrunkLossOfSignal(ZEL_UINT32 nType, ZEL_UINT32 nNumber, ZEL_BOOL bOn);
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimTrunkAlarmIndication(ZEL_UINT32 nType, ZEL_UINT32 nNumber, ZEL_BOOL bOn);
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimTrunkRemoteAlarm(ZEL_UINT32 nType, ZEL_UINT32 nNumber, ZEL_BOOL bOn);
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimTrunkFrameSync(ZEL_UINT32 nType, ZEL_UINT32 nNumber, ZEL_BOOL bOn);
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimTrunkSignalling(ZEL_UINT32 nType, ZEL_UINT32 nNumber, ZEL_UINT32 nChannel,
                                                       ZEL_UINT32 nBits);
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimTrunkHdlcFrame(ZEL_UINT32 nType, ZEL_UINT32 nNumber, ZEL_UINT32 nChannel,
                                                      const void *pFrame, ZEL_UINT32 cbFrame);

/* ---------------------------------------------------------------------------
 * What the world sees. ZelSimGetLineState gives the state bits of a line or
 * trunk (ZELSIM_LINE_* for FXS and FXO, ZELSIM_TRUNK_* for E1 and T1); 0
 * for an unknown device or a null pnState. ZelSimDescribeLine writes one
 * line of text such as "FXS 3: ringing" or "FXO 0: off-hook, digits sent
 * 0123"; ZelSimWorldHistory the board's most recent ZELSIM_HISTORY_ENTRIES
 * happenings, one a line ("   2.000 s  FXO 0: ringing (ring 1)"), oldest
 * first. Both return the size the whole text needs with its NUL (0 for an
 * unknown device) and write as much as fits in cbText bytes, always
 * NUL-terminated when cbText is not 0; pszText may be NULL when cbText is 0.
 * ------------------------------------------------------------------------- */
#define ZELSIM_LINE_OFF_HOOK 0x1u  /* FXS: the telephone; FXO: the application's hook */
#define ZELSIM_LINE_RINGING 0x2u   /* FXS: rung by the application; FXO: rung by the exchange */
#define ZELSIM_LINE_CONNECTED 0x4u /* FXO: a call is up (loop current flows) */
#define ZELSIM_LINE_REVERSED 0x8u  /* FXO: polarity reversed */
#define ZELSIM_LINE_TONE 0x10u     /* a tone generator plays on the line */
#define ZELSIM_TRUNK_LOS 0x1u      /* loss of signal */
#define ZELSIM_TRUNK_AIS 0x2u      /* alarm indication signal */
#define ZELSIM_TRUNK_RAI 0x4u      /* remote alarm indication */
#define ZELSIM_TRUNK_IN_SYNC 0x8u  /* frame synchronisation */
#define ZELSIM_HISTORY_ENTRIES 32u

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimGetLineState(ZEL_UINT32 nType, ZEL_UINT32 nNumber, ZEL_UINT32 *pnState);
ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimDescribeLine(ZEL_UINT32 nType, ZEL_UINT32 nNumber, char *pszText,
                                                      ZEL_UINT32 cbText);
ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimWorldHistory(char *pszText, ZEL_UINT32 cbText);

/* ---------------------------------------------------------------------------
 * Scenarios. A scenario is a text of at most ZELSIM_SCENARIO_MAX_BYTES bytes,
 * ZELSIM_SCENARIO_MAX_LINE bytes a line and ZELSIM_SCENARIO_MAX_STEPS steps
 * (format in docs/simulator.md). Parsing either gives a scenario or writes
 * "line:column: message" into pszError (cbError bytes, NUL-terminated when
 * cbError is not 0; pszError may be NULL) and gives NULL; it runs nothing.
 *
 * ZelSimScenarioRun plays the scenario against an application that runs in
 * another thread: it switches the board to virtual time if it is in real
 * time (the clock then restarts at 0), waits for the application to drain
 * every driver event queue it holds (see docs/simulator.md), and then, step
 * by step, applies the stimuli and moves virtual time on until each
 * expectation is met. It returns 1 when every expectation was met, 0 when one
 * was not, the application did not drain its queues within
 * ZELSIM_SCENARIO_SETTLE_MS of real time, the simulator is not installed in
 * this process (the run then fails at once: the library's connection, if
 * any, goes to another board), or pScenario is NULL. A board that was in
 * real time returns to real time when the run ends (the timed stimuli
 * pending are dropped); one in virtual time stays there. Only one scenario
 * runs at a time; another run waits.
 *
 * ZelSimScenarioReport gives the text of the last run: "passed: N steps" or
 * the first unmet expectation, its line and the virtual time, followed by
 * the board's recent history, "not run" before the first run. Size rules as
 * ZelSimDescribeLine; a NULL pScenario gives 0 and an empty text.
 *
 * ZelSimScenarioReportJson gives the same run as one line of JSON (UTF-8,
 * bytes of the scenario that are not UTF-8 as U+FFFD), for a CI job:
 *   {"run":true,"passed":false,"steps":5,"virtualMicros":3000000,
 *    "played":[{"line":2,"text":"at 1 s: FXO 0 rings","virtualMicros":1000000}],
 *    "failure":{"line":3,"text":"...","reason":"...","virtualMicros":3000000,
 *               "now":"FXO 0: on-hook, ringing"},
 *    "history":["     1.000 s  FXO 0: ..."],"text":"failed: line 3: ..."}
 * played lists the steps carried out, each with the virtual time (from the
 * run's start) at which its stimulus was applied or its expectation met;
 * failure is null unless the run failed (line 0 and an empty text when the
 * application did not settle before the first step); history is the board's
 * recent history in board time; text is ZelSimScenarioReport's. Before the
 * first run, run is false. Size and NULL rules as ZelSimScenarioReport.
 * ------------------------------------------------------------------------- */
#define ZELSIM_SCENARIO_MAX_BYTES 65536u
#define ZELSIM_SCENARIO_MAX_LINE 256u
#define ZELSIM_SCENARIO_MAX_STEPS 1024u
#define ZELSIM_SCENARIO_SETTLE_MS 10000u
#define ZELSIM_SCENARIO_MAX_PARAMETERS 64u
#define ZELSIM_SCENARIO_MAX_NAME 32u
#define ZELSIM_SCENARIO_MAX_VALUE 64u

typedef struct ZelSimScenario ZelSimScenario;

/* pszText: NUL-terminated; NULL gives "0:0: no text". */
ZELSIM_API ZelSimScenario *ZEL_CALLCONV ZelSimScenarioParse(const char *pszText, char *pszError, ZEL_UINT32 cbError);
/* Reads the file pszPath and parses it; a file that cannot be read, or a
 * NULL pszPath, gives "0:0: cannot read <path>". */
ZELSIM_API ZelSimScenario *ZEL_CALLCONV ZelSimScenarioLoad(const char *pszPath, char *pszError, ZEL_UINT32 cbError);
/* Parameters: as ZelSimScenarioParse and ZelSimScenarioLoad, with each
 * reference ${NAME} in the text replaced by its value before it is parsed
 * (references in comments are left alone). ppszParameters points to
 * coParameters (at most ZELSIM_SCENARIO_MAX_PARAMETERS) NUL-terminated
 * strings "NAME=VALUE", read during the call only; it may be NULL when
 * coParameters is 0. A NAME is a letter or '_', then letters, digits or '_'
 * (at most ZELSIM_SCENARIO_MAX_NAME bytes), defined once; a VALUE at most
 * ZELSIM_SCENARIO_MAX_VALUE printable ASCII bytes without '$' or "//". A bad
 * or NULL parameter gives "0:0: message"; a reference to a name not defined
 * gives "line:column: undefined parameter 'NAME'", its column that of '$'. */
ZELSIM_API ZelSimScenario *ZEL_CALLCONV ZelSimScenarioParseWith(const char *pszText, const char *const *ppszParameters,
                                                                ZEL_UINT32 coParameters, char *pszError,
                                                                ZEL_UINT32 cbError);
ZELSIM_API ZelSimScenario *ZEL_CALLCONV ZelSimScenarioLoadWith(const char *pszPath, const char *const *ppszParameters,
                                                               ZEL_UINT32 coParameters, char *pszError,
                                                               ZEL_UINT32 cbError);
ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimScenarioRun(ZelSimScenario *pScenario);
ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimScenarioReport(const ZelSimScenario *pScenario, char *pszText,
                                                        ZEL_UINT32 cbText);
ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimScenarioReportJson(const ZelSimScenario *pScenario, char *pszText,
                                                            ZEL_UINT32 cbText);
/* NULL is harmless. */
ZELSIM_API void ZEL_CALLCONV ZelSimScenarioFree(ZelSimScenario *pScenario);

#ifdef __cplusplus
}
#endif

#endif /* ZELSIM_WORLD_H */
