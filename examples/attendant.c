/*
 * attendant.c - a multi-line auto-attendant built as a real one is, and its
 * test bench.
 *
 * The application holds the eight FXO lines. An event thread waits on one
 * driver event queue and hands each line's records to one of four worker
 * threads through the worker's application event queue (line N goes to
 * worker N % 4). A worker answers a ringing line, collects DTMF digits until
 * '#', plays the confirmation tone and hangs up; when the caller hangs up
 * first it hangs up too. There is no barrier between the threads and no
 * call to the simulator in the application: each thread takes records until
 * a take finds its queue empty, then waits, and that is what lets a
 * scenario know the application has caught up.
 *
 * main() is the test bench: it plays the scenario file named on the command
 * line against the application on the simulated board in virtual time,
 * --repeat N times (each run from a board at power-on), and exits with 0
 * when every run passed. With --board it is the application alone, on
 * whatever board the library reaches (the board service that "zelsim run"
 * drives), until its standard input ends. --ignore-line N makes the worker
 * of line N drop that line's records: a wrong application, which the
 * scenarios must catch on every run.
 */
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>

#define LINES 8u
#define WORKERS 4u
#define QUEUE_CAPACITY 256u
#define MAX_DIGITS 32u
#define NO_LINE 0xFFFFFFFFu

typedef struct Line {
    ZEL_HANDLE hLine, hTone, hDtmf;
    int bInCall;
    char szDigits[MAX_DIGITS + 1];
} Line;

typedef struct App App;

typedef struct Worker {
    App *app;
    ZEL_UINT32 hQueue; /* its application event queue */
    OSA_HANDLE hEvent;
    OSA_HANDLE hDone; /* set as its thread's last act */
    int bStarted;
} Worker;

struct App {
    Line lines[LINES];
    Worker workers[WORKERS];
    ZEL_HANDLE hQueue; /* the driver event queue */
    OSA_HANDLE hEvent;
    OSA_HANDLE hDone; /* set as the event thread's last act */
    int bStarted;
    atomic_int bStop;
    atomic_int nResult; /* the first failure, or 0 */
    ZEL_UINT32 nIgnoredLine;
};

static void Check(App *app, const char *pszWhat, ZEL_RESULT nResult) {
    char szText[256];
    int nNone = 0;
    if (ZelSuccess(nResult) || !atomic_compare_exchange_strong(&app->nResult, &nNone, (int)nResult)) return;
    ZelDrvResultCode2String(0, nResult, sizeof(szText), szText);
    printf("attendant: %s failed: 0x%08X %s\n", pszWhat, (unsigned)nResult, szText);
}

static void HangUp(App *app, Line *line, ZEL_UINT32 nTone) {
    if (nTone != 0) Check(app, "tone", ZelDrvSetAttributeValueUint32(line->hTone, ZELSIM_ATTR_TONE_PLAY, nTone));
    Check(app, "on-hook", ZelDrvSetAttributeValueBool(line->hLine, ZELSIM_ATTR_LINE_HOOK, 0));
    Check(app, "tone off", ZelDrvSetAttributeValueUint32(line->hTone, ZELSIM_ATTR_TONE_PLAY, 0));
    line->bInCall = 0;
}

/* A worker's handling of one record of its line; only that worker touches the line. */
static void OnRecord(App *app, Line *line, const ZelEventData *pRecord) {
    size_t n;
    switch (pRecord->nData0) {
        case ZELSIM_EVENT_RING_ON:
            if (line->bInCall) break;
            Check(app, "off-hook", ZelDrvSetAttributeValueBool(line->hLine, ZELSIM_ATTR_LINE_HOOK, 1));
            line->bInCall = 1;
            line->szDigits[0] = '\0';
            break;
        case ZELSIM_EVENT_DTMF_DIGIT:
            if (!line->bInCall) break;
            n = strlen(line->szDigits);
            if (n < MAX_DIGITS) {
                line->szDigits[n] = (char)pRecord->nData1;
                line->szDigits[n + 1] = '\0';
            }
            if (pRecord->nData1 == '#') HangUp(app, line, ZELSIM_TONE_CONFIRM);
            break;
        case ZELSIM_EVENT_LOOP_DROP:
            if (line->bInCall) HangUp(app, line, 0);
            break;
        default:
            break;
    }
}

static ZEL_UINT32 ZEL_CALLCONV RunWorker(void *pParam) {
    Worker *worker = (Worker *)pParam;
    App *app = worker->app;
    ZelEventData record;
    for (;;) {
        /* Until a take finds the queue empty: only then has every record been handled. */
        while (ZelGetAppEventData(worker->hQueue, &record) == 0) {
            if (record.nExData1 < LINES && record.nExData1 != app->nIgnoredLine) {
                OnRecord(app, &app->lines[record.nExData1], &record);
            }
        }
        if (atomic_load(&app->bStop)) break;
        Check(app, "worker wait", ZelDrvWaitForSingleEvent(worker->hEvent, ZEL_INFINITE));
    }
    ZelDrvSignalEvent(worker->hDone);
    return 0;
}

static ZEL_UINT32 LineOf(const App *app, ZEL_HANDLE hDevice) {
    ZEL_UINT32 i;
    for (i = 0; i < LINES; ++i) {
        if (app->lines[i].hLine == hDevice) return i;
    }
    return NO_LINE;
}

static ZEL_UINT32 ZEL_CALLCONV RunEvents(void *pParam) {
    App *app = (App *)pParam;
    ZelEventData record;
    ZEL_UINT32 nLine;
    for (;;) {
        while (ZelDrvGetEventData(app->hQueue, &record) == 0) {
            nLine = LineOf(app, record.nExData0);
            if (nLine == NO_LINE) continue;
            Check(app, "hand on",
                  ZelSetAppEventDataEx(app->workers[nLine % WORKERS].hQueue, record.nData0, record.nData1,
                                       record.nData2, record.nData3, record.nData4, record.nData5, record.nExData0,
                                       nLine));
        }
        if (atomic_load(&app->bStop)) break;
        Check(app, "wait", ZelDrvWaitForSingleEvent(app->hEvent, ZEL_INFINITE));
    }
    ZelDrvSignalEvent(app->hDone);
    return 0;
}

static void OpenLines(App *app) {
    ZEL_UINT32 i;
    Check(app, "queue", ZelDrvCreateEventQueue(QUEUE_CAPACITY, app->hEvent, &app->hQueue));
    for (i = 0; i < LINES; ++i) {
        Line *line = &app->lines[i];
        Check(app, "open FXO",
              ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXO, i, ZELSIM_OPEN_SHARED, 0, &line->hLine));
        Check(app, "tone generator",
              ZelDrvCreateLogicalDevice(line->hLine, ZELSIM_LDTYPE_TONE_GENERATOR, 0, 0, &line->hTone));
        Check(app, "DTMF detector",
              ZelDrvCreateLogicalDevice(line->hLine, ZELSIM_LDTYPE_DTMF_DETECTOR, 0, 0, &line->hDtmf));
        Check(app, "enable FXO", ZelDrvEnable(line->hLine, 0, 0));
        Check(app, "enable tone", ZelDrvEnable(line->hTone, 0, 0));
        Check(app, "enable DTMF detector", ZelDrvEnable(line->hDtmf, 0, 0));
    }
}

/* Opens everything, then starts the threads: 0 when all runs. */
static int StartApp(App *app, ZEL_UINT32 nIgnoredLine) {
    ZEL_UINT32 i;
    memset(app, 0, sizeof(*app));
    atomic_init(&app->bStop, 0);
    atomic_init(&app->nResult, 0);
    app->nIgnoredLine = nIgnoredLine;
    Check(app, "event", ZelDrvCreateEvent(&app->hEvent));
    Check(app, "event", ZelDrvCreateEvent(&app->hDone));
    for (i = 0; i < WORKERS; ++i) {
        app->workers[i].app = app;
        Check(app, "worker event", ZelDrvCreateEvent(&app->workers[i].hEvent));
        Check(app, "worker event", ZelDrvCreateEvent(&app->workers[i].hDone));
        Check(app, "worker queue",
              ZelCreateAppEventQueue(QUEUE_CAPACITY, app->workers[i].hEvent, &app->workers[i].hQueue));
    }
    OpenLines(app);
    if (atomic_load(&app->nResult) != 0) return 1;
    for (i = 0; i < WORKERS; ++i) {
        app->workers[i].bStarted = OsaThreadStartEx(RunWorker, &app->workers[i]);
        if (!app->workers[i].bStarted) return 1;
    }
    app->bStarted = OsaThreadStartEx(RunEvents, app);
    return app->bStarted ? 0 : 1;
}

static void StopApp(App *app) {
    ZEL_UINT32 i;
    atomic_store(&app->bStop, 1);
    ZelDrvSignalEvent(app->hEvent);
    for (i = 0; i < WORKERS; ++i) ZelDrvSignalEvent(app->workers[i].hEvent);
    /* Each thread's own done event: nothing of the application is freed under a thread. */
    if (app->bStarted) ZelDrvWaitForSingleEvent(app->hDone, ZEL_INFINITE);
    for (i = 0; i < WORKERS; ++i) {
        if (app->workers[i].bStarted) ZelDrvWaitForSingleEvent(app->workers[i].hDone, ZEL_INFINITE);
    }
    for (i = 0; i < LINES; ++i) {
        ZelDrvClose(app->lines[i].hDtmf);
        ZelDrvClose(app->lines[i].hTone);
        ZelDrvClose(app->lines[i].hLine);
    }
    ZelDrvClose(app->hQueue);
    for (i = 0; i < WORKERS; ++i) {
        ZelCloseAppEventQueue(app->workers[i].hQueue);
        ZelDrvCloseEvent(app->workers[i].hEvent);
        ZelDrvCloseEvent(app->workers[i].hDone);
    }
    ZelDrvCloseEvent(app->hDone);
    ZelDrvCloseEvent(app->hEvent);
}

/* The application alone until standard input ends. */
static int RunOnBoard(App *app, ZEL_UINT32 nIgnoredLine) {
    int nStatus;
    if (ZelDrvConnectLib() != 0) {
        printf("attendant: no board\n");
        return 1;
    }
    nStatus = StartApp(app, nIgnoredLine);
    while (nStatus == 0 && getchar() != EOF) {
    }
    StopApp(app);
    ZelDrvReleaseLib();
    return nStatus == 0 && atomic_load(&app->nResult) == 0 ? 0 : 1;
}

/* One run on a board at power-on; 1 when it passed. */
static int RunOnce(App *app, ZelSimScenario *pScenario, ZEL_UINT32 nIgnoredLine, int bReport) {
    static char szReport[16384];
    ZEL_BOOL bPassed = 0;
    if (!ZelSimInstall()) {
        printf("attendant: no simulated board\n");
        return 0;
    }
    ZelSimReset();
    if (ZelDrvConnectLib() != 0) {
        printf("attendant: no simulated board\n");
        return 0;
    }
    ZelSimSetClock(ZELSIM_CLOCK_VIRTUAL);
    if (StartApp(app, nIgnoredLine) == 0) bPassed = ZelSimScenarioRun(pScenario);
    if (!bPassed && bReport) {
        ZelSimScenarioReport(pScenario, szReport, sizeof(szReport));
        printf("%s", szReport);
    }
    StopApp(app);
    ZelDrvReleaseLib();
    ZelSimUninstall();
    return bPassed && atomic_load(&app->nResult) == 0;
}

int main(int argc, char **argv) {
    static App app;
    char szError[256];
    const char *pszScenario = NULL;
    ZEL_UINT32 nIgnoredLine = NO_LINE;
    unsigned long nRuns = 1, nPassed = 0, i;
    int bBoard = 0;
    int a;
    ZelSimScenario *pScenario;

    setvbuf(stdout, NULL, _IOLBF, 0);
    for (a = 1; a < argc; ++a) {
        if (strcmp(argv[a], "--board") == 0) {
            bBoard = 1;
        } else if (strcmp(argv[a], "--repeat") == 0 && a + 1 < argc) {
            nRuns = strtoul(argv[++a], NULL, 10);
        } else if (strcmp(argv[a], "--ignore-line") == 0 && a + 1 < argc) {
            nIgnoredLine = (ZEL_UINT32)strtoul(argv[++a], NULL, 10);
        } else {
            pszScenario = argv[a];
        }
    }
    if (bBoard) return RunOnBoard(&app, nIgnoredLine);
    if (pszScenario == NULL) {
        printf("usage: attendant SCENARIO [--repeat N] [--ignore-line N] | --board [--ignore-line N]\n");
        return 2;
    }
    pScenario = ZelSimScenarioLoad(pszScenario, szError, sizeof(szError));
    if (pScenario == NULL) {
        printf("attendant: %s: %s\n", pszScenario, szError);
        return 1;
    }
    /* Only the first failure's report: the rest would say the same. */
    for (i = 0; i < nRuns; ++i) nPassed += (unsigned long)RunOnce(&app, pScenario, nIgnoredLine, nPassed == i);
    ZelSimScenarioFree(pScenario);
    printf("attendant: %lu of %lu runs passed\n", nPassed, nRuns);
    return nPassed == nRuns ? 0 : 1;
}
