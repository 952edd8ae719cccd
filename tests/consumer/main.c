/*
 * An application built against the installed package: it installs the board
 * simulator, connects, enumerates the board, opens a line port, binds a
 * driver event queue to an event, enables the port and waits for the record
 * the board posts. Exits non-zero on any failure.
 *
 * Built with CONSUMER_WITHOUT_SIMULATOR it calls no simulator function and
 * links the library only: it then finds the board only where an unmodified
 * program would, through the board service zelsimd (POSIX) or a zel.dll that
 * carries the simulator (Windows), or fails to connect.
 */
#include <stdio.h>

#include <zel/zel.h>
#if !defined(CONSUMER_WITHOUT_SIMULATOR)
#include <zel/zelsim.h>
#endif
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>

#define WAIT_MS 10000u

static int Failed(const char *pszWhat, ZEL_RESULT nResult) {
    char szText[256];
    if (ZelFailure(ZelDrvResultCode2String(0, nResult, sizeof(szText), szText))) szText[0] = '\0';
    fprintf(stderr, "consumer: %s failed: 0x%08X %s\n", pszWhat, (unsigned)nResult, szText);
    return 1;
}

/* Counts the board's devices, all types together. */
static int CountDevices(ZEL_UINT32 *pcoDevices) {
    ZEL_UINT32 typeIterator, type, deviceIterator, number;
    ZEL_RESULT r;
    *pcoDevices = 0;
    ZelDrvIteratorBegin(&typeIterator);
    while (ZelDrvIsIteratorEnd(&typeIterator)) {
        if (ZelFailure(r = ZelDrvEnumDeviceType(ZELSIM_BOARD, &typeIterator, &type))) {
            return Failed("ZelDrvEnumDeviceType", r);
        }
        ZelDrvIteratorBegin(&deviceIterator);
        while (ZelDrvIsIteratorEnd(&deviceIterator)) {
            if (ZelFailure(r = ZelDrvEnumDevice(ZELSIM_BOARD, type, &deviceIterator, &number))) {
                return Failed("ZelDrvEnumDevice", r);
            }
            ++*pcoDevices;
        }
    }
    return 0;
}

/* Enables the port and checks the record the board posts for it. */
static int EnableAndReceive(ZEL_HANDLE hDevice, OSA_HANDLE hEvent, ZEL_HANDLE hQueue) {
    ZelEventData record;
    ZEL_UINT32 coReturned = 0;
    ZEL_RESULT r;
    if (ZelFailure(r = ZelDrvEnable(hDevice, 0, 0))) return Failed("ZelDrvEnable", r);
    if ((r = ZelDrvWaitForSingleEvent(hEvent, WAIT_MS)) != 0) return Failed("ZelDrvWaitForSingleEvent", r);
    if (ZelFailure(r = ZelDrvGetEventDataEx(hQueue, &record, 1, &coReturned))) {
        return Failed("ZelDrvGetEventDataEx", r);
    }
    if (coReturned != 1 || record.nExData0 != hDevice || record.nData0 != ZELSIM_EVENT_DEVICE_ENABLED ||
        (record.nData1 & ZELSIM_STATE_ENABLED) == 0) {
        fprintf(stderr, "consumer: %u records, device 0x%08X event 0x%X state 0x%X\n", (unsigned)coReturned,
                (unsigned)record.nExData0, (unsigned)record.nData0, (unsigned)record.nData1);
        return 1;
    }
    if (ZelFailure(r = ZelDrvDisable(hDevice, 0, 0))) return Failed("ZelDrvDisable", r);
    return 0;
}

int main(void) {
    OSA_HANDLE hEvent = NULL;
    ZEL_HANDLE hQueue = 0, hDevice = 0;
    ZEL_UINT32 coDevices = 0;
    ZEL_RESULT r;
    int failed = 0;

#if !defined(CONSUMER_WITHOUT_SIMULATOR)
    if (!ZelSimInstall()) {
        fprintf(stderr, "consumer: ZelSimInstall failed\n");
        return 1;
    }
#endif
    if (ZelFailure(r = ZelDrvConnectLib())) return Failed("ZelDrvConnectLib", r);
    failed = CountDevices(&coDevices);
    if (!failed && coDevices == 0) {
        fprintf(stderr, "consumer: the board has no devices\n");
        failed = 1;
    }
    if (!failed && ZelFailure(r = ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_EXCLUSIVE,
                                                           0, &hDevice))) {
        failed = Failed("ZelDrvOpenPhysicalDevice", r);
    }
    if (!failed && ZelFailure(r = ZelDrvCreateEvent(&hEvent))) failed = Failed("ZelDrvCreateEvent", r);
    if (!failed && ZelFailure(r = ZelDrvCreateEventQueue(16, hEvent, &hQueue))) {
        failed = Failed("ZelDrvCreateEventQueue", r);
    }
    if (!failed) failed = EnableAndReceive(hDevice, hEvent, hQueue);

    if (hQueue != 0 && ZelFailure(r = ZelDrvClose(hQueue))) failed = Failed("ZelDrvClose (queue)", r);
    if (hDevice != 0 && ZelFailure(r = ZelDrvClose(hDevice))) failed = Failed("ZelDrvClose (device)", r);
    if (hEvent != NULL && ZelFailure(r = ZelDrvCloseEvent(hEvent))) failed = Failed("ZelDrvCloseEvent", r);
    if (ZelFailure(r = ZelDrvReleaseLib())) failed = Failed("ZelDrvReleaseLib", r);
#if !defined(CONSUMER_WITHOUT_SIMULATOR)
    ZelSimUninstall();
#endif
    if (!failed) printf("consumer: %u devices, enable record received\n", (unsigned)coDevices);
    return failed;
}
