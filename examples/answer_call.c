/*
 * answer_call.c - an answering application and its test bench.
 *
 * The application holds FXO line 0 and E1 trunk 0. It waits for the
 * exchange to ring, reads the caller's number sent after the first ring,
 * answers on the second ring, collects DTMF digits until '#', plays the
 * confirmation tone and hangs up. Without a digit for DIGIT_TIMEOUT_MS, or
 * when the trunk loses its signal or raises an alarm during the call, it
 * plays the busy tone and hangs up; when the caller hangs up first, it
 * hangs up too. Its time-outs come from the board's timer, so they run on
 * the board's clock.
 *
 * main() is the test bench: it runs the application in a thread of its own
 * on the simulated board in virtual time and plays a scenario against it,
 * the file named on the command line or, without one, a normal call. It
 * prints the scenario's report and exits with 0 when it passed.
 *
 * With --board it is the application alone, on whatever board the library
 * reaches (a real one, or the board service that "zelsim run" drives), until
 * its standard input ends.
 *
 * With --record FILE [SCENARIO] it runs the test bench and records what the
 * board answered into the cassette FILE; with --replay FILE it is the
 * application alone, served from that cassette with no board at all, and
 * fails, with a report, at the first request the recording does not hold.
 */
#include <stdatomic.h>
#include <stdio.h>
#include <string.h>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>

#ifndef DIGIT_TIMEOUT_MS
#define DIGIT_TIMEOUT_MS 5000u
#endif
#define ANSWER_ON_RING 2u
#define QUEUE_CAPACITY 256u
#define MAX_DIGITS 32u

static const char kNormalCall[] =
    "# A caller rings; the application answers on the second ring, the\n"
    "# caller keys 1 2 # and hears the confirmation tone.\n"
    "at 1 s: FXO 0 rings caller 5551234\n"
    "within 7 s: FXO 0 goes off-hook\n"
    "after 1 s: FXO 0 receives DTMF 1 2 #\n"
    "within 1 s: tone confirm is played on FXO 0\n"
    "within 100 ms: FXO 0 goes on-hook\n";

typedef struct App {
    ZEL_HANDLE hLine;  /* FXO 0 */
    ZEL_HANDLE hTrunk; /* E1 0 */
    ZEL_HANDLE hTone;  /* tone generator on the line */
    ZEL_HANDLE hDtmf;  /* DTMF detector on the line: the caller's digits come through it */
    ZEL_HANDLE hQueue;
    OSA_HANDLE hEvent; /* set for every record queued, and to stop */
    OSA_HANDLE hDone;  /* set when the application has ended */
    atomic_int bStop;
    int bInCall;
    char szDigits[MAX_DIGITS + 1];
    ZEL_RESULT nResult; /* the first failure, or 0 */
} App;

static void Check(App *app, const char *pszWhat, ZEL_RESULT nResult) {
    char szText[256];
    if (ZelSuccess(nResult) || app->nResult != 0) return;
    app->nResult = nResult;
    ZelDrvResultCode2String(0, nResult, sizeof(szText), szText);
    printf("answer_call: %s failed: 0x%08X %s\n", pszWhat, (unsigned)nResult, szText);
}

static void ArmTimer(App *app, ZEL_UINT32 nMs) {
    Check(app, "timer", ZelDrvSetAttributeValueUint32(app->hLine, ZELSIM_ATTR_DEV_TIMER, nMs));
}

static void HangUp(App *app, ZEL_UINT32 nTone) {
    if (nTone != 0) Check(app, "tone", ZelDrvSetAttributeValueUint32(app->hTone, ZELSIM_ATTR_TONE_PLAY, nTone));
    Check(app, "on-hook", ZelDrvSetAttributeValueBool(app->hLine, ZELSIM_ATTR_LINE_HOOK, 0));
    Check(app, "tone off", ZelDrvSetAttributeValueUint32(app->hTone, ZELSIM_ATTR_TONE_PLAY, 0));
    ArmTimer(app, 0);
    app->bInCall = 0;
}

static void OnLineRecord(App *app, const ZelEventData *pRecord) {
    char szCaller[MAX_DIGITS + 1] = "";
    size_t n;
    switch (pRecord->nData0) {
        case ZELSIM_EVENT_CALLER_ID:
            Check(app, "caller",
                  ZelDrvGetAttributeValueSz(app->hLine, ZELSIM_ATTR_LINE_CALLER_ID, szCaller, sizeof(szCaller)));
            printf("answer_call: call from %s\n", szCaller);
            break;
        case ZELSIM_EVENT_RING_ON:
            if (app->bInCall || pRecord->nData1 < ANSWER_ON_RING) break;
            Check(app, "off-hook", ZelDrvSetAttributeValueBool(app->hLine, ZELSIM_ATTR_LINE_HOOK, 1));
            app->bInCall = 1;
            app->szDigits[0] = '\0';
            ArmTimer(app, DIGIT_TIMEOUT_MS);
            printf("answer_call: answered\n");
            break;
        case ZELSIM_EVENT_DTMF_DIGIT:
            if (!app->bInCall) break;
            n = strlen(app->szDigits);
            if (n < MAX_DIGITS) {
                app->szDigits[n] = (char)pRecord->nData1;
                app->szDigits[n + 1] = '\0';
            }
            if (pRecord->nData1 == '#') {
                printf("answer_call: digits %s confirmed\n", app->szDigits);
                HangUp(app, ZELSIM_TONE_CONFIRM);
            } else {
                ArmTimer(app, DIGIT_TIMEOUT_MS);
            }
            break;
        case ZELSIM_EVENT_TIMER:
            if (!app->bInCall) break;
            printf("answer_call: no digit in time\n");
            HangUp(app, ZELSIM_TONE_BUSY);
            break;
        case ZELSIM_EVENT_LOOP_DROP:
            if (!app->bInCall) break;
            printf("answer_call: the caller hung up\n");
            HangUp(app, 0);
            break;
        default:
            break;
    }
}

static void OnTrunkRecord(App *app, const ZelEventData *pRecord) {
    const int bAlarm =
        (pRecord->nData0 == ZELSIM_EVENT_LOS || pRecord->nData0 == ZELSIM_EVENT_AIS) && pRecord->nData1 == 1;
    if (bAlarm && app->bInCall) {
        printf("answer_call: trunk alarm, call abandoned\n");
        HangUp(app, ZELSIM_TONE_BUSY);
    }
}

static void SetUp(App *app) {
    if (app->hEvent == NULL) Check(app, "event", ZelDrvCreateEvent(&app->hEvent));
    Check(app, "queue", ZelDrvCreateEventQueue(QUEUE_CAPACITY, app->hEvent, &app->hQueue));
    Check(app, "open FXO",
          ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXO, 0, ZELSIM_OPEN_EXCLUSIVE, 0, &app->hLine));
    Check(app, "open E1",
          ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_E1, 0, ZELSIM_OPEN_EXCLUSIVE, 0, &app->hTrunk));
    Check(app, "tone generator",
          ZelDrvCreateLogicalDevice(app->hLine, ZELSIM_LDTYPE_TONE_GENERATOR, 0, 0, &app->hTone));
    Check(app, "DTMF detector",
          ZelDrvCreateLogicalDevice(app->hLine, ZELSIM_LDTYPE_DTMF_DETECTOR, 0, 0, &app->hDtmf));
    Check(app, "enable FXO", ZelDrvEnable(app->hLine, 0, 0));
    Check(app, "enable E1", ZelDrvEnable(app->hTrunk, 0, 0));
    Check(app, "enable tone", ZelDrvEnable(app->hTone, 0, 0));
    Check(app, "enable DTMF detector", ZelDrvEnable(app->hDtmf, 0, 0));
}

static ZEL_UINT32 ZEL_CALLCONV RunApp(void *pParam) {
    App *app = (App *)pParam;
    ZelEventData record;
    SetUp(app);
    /* Drain before each wait: the records of a wait may be several. A stop
     * is seen after a wait, so what the application sends once told to
     * stop does not depend on when it is told. */
    while (app->nResult == 0) {
        while (ZelDrvGetEventData(app->hQueue, &record) == 0) {
            if (record.nExData0 == app->hLine) OnLineRecord(app, &record);
            if (record.nExData0 == app->hTrunk) OnTrunkRecord(app, &record);
        }
        Check(app, "wait", ZelDrvWaitForSingleEvent(app->hEvent, ZEL_INFINITE));
        if (atomic_load(&app->bStop)) break;
    }
    ZelDrvClose(app->hDtmf);
    ZelDrvClose(app->hTone);
    ZelDrvClose(app->hTrunk);
    ZelDrvClose(app->hLine);
    ZelDrvClose(app->hQueue);
    ZelDrvSignalEvent(app->hDone);
    return 0;
}

/* The application alone until standard input ends. */
static int RunOnBoard(App *app) {
    if (ZelDrvConnectLib() != 0) {
        printf("answer_call: no board\n");
        return 1;
    }
    atomic_init(&app->bStop, 0);
    /* Made here, so that a stop before the application is set up still wakes it. */
    if (ZelDrvCreateEvent(&app->hEvent) != 0 || ZelDrvCreateEvent(&app->hDone) != 0 ||
        !OsaThreadStartEx(RunApp, app)) {
        printf("answer_call: no thread\n");
        return 1;
    }
    while (getchar() != EOF) {
    }
    atomic_store(&app->bStop, 1);
    ZelDrvSignalEvent(app->hEvent);
    ZelDrvWaitForSingleEvent(app->hDone, ZEL_INFINITE);
    ZelDrvCloseEvent(app->hDone);
    ZelDrvCloseEvent(app->hEvent);
    ZelDrvReleaseLib();
    return app->nResult == 0 ? 0 : 1;
}

/* What the application sends once it is told to stop: the closes of its five
 * objects. A replay comes to the point where the recording's application was
 * told when only these are left. */
#define REQUESTS_AFTER_STOP 5u

/* The application alone, served from a cassette. */
static int RunReplay(App *app, const char *pszCassette) {
    char szReport[4096];
    int nExit = 0;
    if (!ZelSimReplayInstallEx(pszCassette, ZELSIM_MATCH_IN_ORDER, szReport, sizeof(szReport))) {
        printf("answer_call: %s\n", szReport);
        return 1;
    }
    if (ZelDrvConnectLib() != 0) {
        printf("answer_call: the cassette does not connect\n");
        nExit = 1;
    } else {
        atomic_init(&app->bStop, 0);
        if (ZelDrvCreateEvent(&app->hEvent) != 0 || ZelDrvCreateEvent(&app->hDone) != 0 ||
            !OsaThreadStartEx(RunApp, app)) {
            printf("answer_call: no thread\n");
            return 1;
        }
        ZelSimReplayWait(REQUESTS_AFTER_STOP, ZEL_INFINITE);
        atomic_store(&app->bStop, 1);
        ZelDrvSignalEvent(app->hEvent);
        ZelDrvWaitForSingleEvent(app->hDone, ZEL_INFINITE);
        ZelDrvCloseEvent(app->hDone);
        ZelDrvCloseEvent(app->hEvent);
        ZelDrvReleaseLib();
    }
    if (ZelSimReplayDiverged()) {
        ZelSimReplayReport(szReport, sizeof(szReport));
        printf("%s", szReport);
        nExit = 1;
    } else if (ZelSimReplayUnused() != 0) {
        printf("answer_call: %u recorded requests were not replayed\n", (unsigned)ZelSimReplayUnused());
        nExit = 1;
    }
    ZelSimReplayUninstall();
    return nExit != 0 || app->nResult != 0 ? 1 : 0;
}

int main(int argc, char **argv) {
    static App app;
    char szError[256];
    char szReport[4096];
    ZelSimScenario *pScenario;
    ZEL_BOOL bPassed;
    const char *pszCassette = NULL;

    setvbuf(stdout, NULL, _IOLBF, 0);
    if (argc > 1 && strcmp(argv[1], "--board") == 0) return RunOnBoard(&app);
    if (argc > 2 && strcmp(argv[1], "--replay") == 0) return RunReplay(&app, argv[2]);
    if (argc > 2 && strcmp(argv[1], "--record") == 0) {
        pszCassette = argv[2];
        argc -= 2;
        argv += 2;
    }
    pScenario = argc > 1 ? ZelSimScenarioLoad(argv[1], szError, sizeof(szError))
                         : ZelSimScenarioParse(kNormalCall, szError, sizeof(szError));
    if (pScenario == NULL) {
        printf("answer_call: %s: %s\n", argc > 1 ? argv[1] : "scenario", szError);
        return 1;
    }
    if (!ZelSimInstall()) {
        printf("answer_call: no simulated board\n");
        return 1;
    }
    if (pszCassette != NULL && !ZelSimCaptureStart(pszCassette)) {
        printf("answer_call: %s cannot be written\n", pszCassette);
        return 1;
    }
    if (ZelDrvConnectLib() != 0) {
        printf("answer_call: no simulated board\n");
        return 1;
    }
    ZelSimSetClock(ZELSIM_CLOCK_VIRTUAL);
    atomic_init(&app.bStop, 0);
    if (ZelDrvCreateEvent(&app.hDone) != 0 || !OsaThreadStartEx(RunApp, &app)) {
        printf("answer_call: no thread\n");
        return 1;
    }

    bPassed = ZelSimScenarioRun(pScenario);
    ZelSimScenarioReport(pScenario, szReport, sizeof(szReport));
    printf("%s", szReport);

    atomic_store(&app.bStop, 1);
    ZelDrvSignalEvent(app.hEvent);
    ZelDrvWaitForSingleEvent(app.hDone, ZEL_INFINITE);
    ZelDrvCloseEvent(app.hDone);
    ZelDrvCloseEvent(app.hEvent);
    ZelSimScenarioFree(pScenario);
    ZelDrvReleaseLib();
    if (pszCassette != NULL && !ZelSimCaptureStop()) {
        printf("answer_call: %s was not written whole\n", pszCassette);
        bPassed = 0;
    }
    ZelSimUninstall();
    return bPassed && app.nResult == 0 ? 0 : 1;
}
