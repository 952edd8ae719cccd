/*
 * event_flow.c - a driver event queue between threads.
 *
 * The main thread creates an event and a driver event queue bound to it,
 * then waits on the event and drains the queue. Two threads feed it: one
 * enables and disables a line port (the board posts a record for every state
 * change), the other writes records of its own. Every record is printed with
 * its text, and the program checks that each producer's records arrived
 * complete and in order. Runs against the board simulator; with --board,
 * against whatever board the library reaches (the board service zelsimd).
 */
#include <stdio.h>
#include <string.h>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>

#define TOGGLES 3u
#define APP_RECORDS 4u
#define APP_CODE 0x9000u
#define QUEUE_CAPACITY 64u
#define TOTAL_RECORDS (2u * TOGGLES + APP_RECORDS)

typedef struct Producer {
    ZEL_HANDLE hQueue;
    ZEL_HANDLE hDevice;
    OSA_HANDLE hDone; /* set when the producer has finished */
    ZEL_RESULT nResult;
} Producer;

static ZEL_UINT32 ZEL_CALLCONV ToggleDevice(void *pParam) {
    Producer *producer = (Producer *)pParam;
    ZEL_UINT32 i;
    producer->nResult = 0;
    for (i = 0; i < TOGGLES && ZelSuccess(producer->nResult); ++i) {
        producer->nResult = ZelDrvEnable(producer->hDevice, 0, 0);
        if (ZelSuccess(producer->nResult)) producer->nResult = ZelDrvDisable(producer->hDevice, 0, 0);
    }
    ZelDrvSignalEvent(producer->hDone);
    return 0;
}

static ZEL_UINT32 ZEL_CALLCONV WriteRecords(void *pParam) {
    Producer *producer = (Producer *)pParam;
    ZEL_UINT32 seq;
    producer->nResult = 0;
    for (seq = 0; seq < APP_RECORDS && ZelSuccess(producer->nResult); ++seq) {
        /* nData0 = our code, nData1 = our sequence number. */
        producer->nResult = ZelDrvSetEventDataEx(producer->hQueue, APP_CODE, seq, 0, 0, 0, 0, 0, 0);
    }
    ZelDrvSignalEvent(producer->hDone);
    return 0;
}

static int Fail(const char *pszWhat, ZEL_RESULT nResult) {
    char szText[256];
    ZelDrvResultCode2String(0, nResult, sizeof(szText), szText);
    printf("%s failed: 0x%08X %s\n", pszWhat, (unsigned)nResult, szText);
    return 1;
}

/* Prints one record; checks it against what its producer sent so far. */
static int Consume(ZEL_HANDLE hDevice, const ZelEventData *pRecord, ZEL_UINT32 *pnNextApp, ZEL_UINT32 *pnDeviceSeen) {
    if (pRecord->nData0 == APP_CODE) {
        printf("application record %u\n", (unsigned)pRecord->nData1);
        if (pRecord->nData1 != (*pnNextApp)++) return 0;
    } else {
        char szText[256];
        ZEL_UINT32 nExpected =
            (*pnDeviceSeen % 2u == 0u) ? ZELSIM_EVENT_DEVICE_ENABLED : ZELSIM_EVENT_DEVICE_DISABLED;
        if (ZelFailure(ZelDrvEventCode2String(hDevice, pRecord->nData0, sizeof(szText), szText))) szText[0] = '\0';
        printf("device 0x%08X: %s (state 0x%X, event %u)\n", (unsigned)pRecord->nExData0, szText,
               (unsigned)pRecord->nData1, (unsigned)pRecord->nExData1);
        if (pRecord->nExData0 != hDevice || pRecord->nData0 != nExpected) return 0;
        ++*pnDeviceSeen;
    }
    return 1;
}

int main(int argc, char **argv) {
    OSA_HANDLE hEvent = NULL;
    OSA_HANDLE ahDone[2] = {NULL, NULL};
    ZEL_HANDLE hQueue = 0, hDevice = 0;
    Producer toggler, writer;
    ZelEventData aRecords[8];
    ZEL_UINT32 nReceived = 0, nNextApp = 0, nDeviceSeen = 0, nIndex = 0, coReturned = 0, i;
    ZEL_RESULT r;
    int ok = 1;
    const int bOwnBoard = !(argc > 1 && strcmp(argv[1], "--board") == 0);

    if (bOwnBoard && !ZelSimInstall()) return 1;
    if (ZelFailure(r = ZelDrvConnectLib())) return Fail("ZelDrvConnectLib", r);
    if (ZelFailure(r = ZelDrvCreateEvent(&hEvent)) || ZelFailure(r = ZelDrvCreateEvent(&ahDone[0])) ||
        ZelFailure(r = ZelDrvCreateEvent(&ahDone[1]))) {
        return Fail("ZelDrvCreateEvent", r);
    }
    if (ZelFailure(r = ZelDrvCreateEventQueue(QUEUE_CAPACITY, hEvent, &hQueue))) {
        return Fail("ZelDrvCreateEventQueue", r);
    }
    r = ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_EXCLUSIVE, 0, &hDevice);
    if (ZelFailure(r)) return Fail("ZelDrvOpenPhysicalDevice", r);

    toggler.hQueue = writer.hQueue = hQueue;
    toggler.hDevice = writer.hDevice = hDevice;
    toggler.hDone = ahDone[0];
    writer.hDone = ahDone[1];
    if (!OsaThreadStartEx(ToggleDevice, &toggler) || !OsaThreadStartEx(WriteRecords, &writer)) {
        printf("could not start the producers\n");
        return 1;
    }

    /* Every record queued sets the event; one wait may cover several. */
    while (ok && nReceived < TOTAL_RECORDS) {
        if (ZelDrvWaitForSingleEvent(hEvent, 10000) != 0) {
            printf("no record for 10 seconds\n");
            ok = 0;
            break;
        }
        do {
            r = ZelDrvGetEventDataEx(hQueue, aRecords, 8, &coReturned);
            if (ZelFailure(r)) return Fail("ZelDrvGetEventDataEx", r);
            for (i = 0; i < coReturned && ok; ++i) ok = Consume(hDevice, &aRecords[i], &nNextApp, &nDeviceSeen);
            nReceived += coReturned;
        } while (ok && coReturned == 8);
    }

    /* Both producers are done once both of their events are set. */
    if (ZelDrvWaitForMultipleEvents(2, ahDone, 10000, 1, &nIndex) != ZEL_S_SIGNALLED) ok = 0;
    if (ZelFailure(toggler.nResult)) ok = !Fail("ZelDrvEnable/ZelDrvDisable", toggler.nResult);
    if (ZelFailure(writer.nResult)) ok = !Fail("ZelDrvSetEventDataEx", writer.nResult);

    ZelDrvClose(hDevice);
    ZelDrvClose(hQueue);
    ZelDrvCloseEvent(ahDone[0]);
    ZelDrvCloseEvent(ahDone[1]);
    ZelDrvCloseEvent(hEvent);
    ZelDrvReleaseLib();
    if (bOwnBoard) ZelSimUninstall();

    ok = ok && nReceived == TOTAL_RECORDS && nNextApp == APP_RECORDS && nDeviceSeen == 2u * TOGGLES;
    printf("%u records, %s\n", (unsigned)nReceived, ok ? "all in order" : "NOT as expected");
    return ok ? 0 : 1;
}
