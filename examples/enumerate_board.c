/*
 * enumerate_board.c - lists the device types and devices of the simulated
 * board, then sets up one connection (a DTMF detector listening on time
 * slots 1 and 2 of a line port through a pipe) and tears it down again.
 *
 * Returns 0 when every call gives the result expected, 1 otherwise.
 */
#include <stdio.h>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_devices.h>

static int g_failures = 0;

/* Prints the catalogue's text for a result that was not the one expected. */
static int Check(ZEL_RESULT r, const char *pszWhat) {
    char szText[300];
    if (r == 0) return 1;
    ZelDrvResultCode2String(0, r, (ZEL_UINT32)sizeof szText, szText);
    printf("UNEXPECTED: %s: 0x%08X %s\n", pszWhat, (unsigned)r, szText);
    ++g_failures;
    return 0;
}

static const char *TypeName(ZEL_UINT32 nType) {
    switch (nType) {
    case ZELSIM_DEVTYPE_BOARD: return "board";
    case ZELSIM_DEVTYPE_E1: return "E1 trunk port";
    case ZELSIM_DEVTYPE_T1: return "T1 trunk port";
    case ZELSIM_DEVTYPE_FXS: return "FXS line port";
    case ZELSIM_DEVTYPE_FXO: return "FXO line port";
    case ZELSIM_DEVTYPE_DSP: return "DSP resource";
    case ZELSIM_DEVTYPE_CTBUS: return "CT bus";
    default: return "unknown";
    }
}

/* Lists every device type and the devices of each; returns how many
 * devices were found. */
static unsigned ListDevices(void) {
    ZEL_UINT32 typeIterator;
    unsigned count = 0;

    ZelDrvIteratorBegin(&typeIterator);
    while (ZelDrvIsIteratorEnd(&typeIterator)) {
        ZEL_UINT32 type = 0;
        ZEL_UINT32 deviceIterator;
        if (!Check(ZelDrvEnumDeviceType(ZELSIM_BOARD, &typeIterator, &type), "ZelDrvEnumDeviceType")) break;
        printf("type %u: %s\n", (unsigned)type, TypeName(type));

        ZelDrvIteratorBegin(&deviceIterator);
        while (ZelDrvIsIteratorEnd(&deviceIterator)) {
            ZEL_UINT32 number = 0;
            ZEL_HANDLE hDevice = ZEL_INVALID_HANDLE_VALUE;
            ZEL_UINT32 state = 0;
            if (!Check(ZelDrvEnumDevice(ZELSIM_BOARD, type, &deviceIterator, &number), "ZelDrvEnumDevice")) break;
            /* A shared open, just long enough to read the state word. */
            if (Check(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, type, number, ZELSIM_OPEN_SHARED, 0, &hDevice),
                      "ZelDrvOpenPhysicalDevice")) {
                Check(ZelDrvGetState(hDevice, &state), "ZelDrvGetState");
                Check(ZelDrvClose(hDevice), "ZelDrvClose");
            }
            printf("  %s %u: handle 0x%08X, state 0x%X\n", TypeName(type), (unsigned)number, (unsigned)hDevice,
                   (unsigned)state);
            ++count;
        }
    }
    return count;
}

/* A DTMF detector on FXS port 0 listening through a pipe on slots 1 and 2. */
static void ConnectAndDisconnect(void) {
    const unsigned char slotsOneAndTwo[1] = {0x06};
    ZEL_HANDLE hLine = ZEL_INVALID_HANDLE_VALUE;
    ZEL_HANDLE hDetector = ZEL_INVALID_HANDLE_VALUE;
    ZEL_HANDLE hPipe = ZEL_INVALID_HANDLE_VALUE;
    ZEL_UINT32 state = 0;

    if (!Check(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_EXCLUSIVE, 0, &hLine),
               "open the line port")) {
        return;
    }
    Check(ZelDrvEnable(hLine, 0, 0), "enable the line port");
    Check(ZelDrvCreateLogicalDevice(hLine, ZELSIM_LDTYPE_DTMF_DETECTOR, 0, 0, &hDetector), "create the detector");
    Check(ZelDrvCreatePipe(0, &hPipe), "create the pipe");
    Check(ZelDrvConnectPipe(hPipe, 0, hLine, 0, slotsOneAndTwo, (ZEL_INT32)sizeof slotsOneAndTwo),
          "connect the pipe to slots 1 and 2");
    Check(ZelDrvConnectLogicalDevice(hDetector, 0, hPipe, 0), "connect the detector to the pipe");
    Check(ZelDrvGetState(hLine, &state), "state of the line port");
    printf("connected: line 0x%08X (state 0x%X), detector 0x%08X, pipe 0x%08X\n", (unsigned)hLine, (unsigned)state,
           (unsigned)hDetector, (unsigned)hPipe);
    if (state != (ZELSIM_STATE_OPEN | ZELSIM_STATE_ENABLED | ZELSIM_STATE_CONNECTED)) {
        printf("UNEXPECTED: state of the connected line port\n");
        ++g_failures;
    }

    Check(ZelDrvDisconnectLogicalDevice(hDetector, 0, hPipe, 0), "disconnect the detector");
    Check(ZelDrvDisconnectPipe(hPipe, 0), "disconnect the pipe");
    Check(ZelDrvClose(hPipe), "close the pipe");
    Check(ZelDrvClose(hDetector), "close the detector");
    Check(ZelDrvClose(hLine), "close the line port");
    /* The handle is dead now: the driver refuses it. */
    if (ZelDrvGetState(hLine, &state) >= 0) {
        printf("UNEXPECTED: a closed handle still works\n");
        ++g_failures;
    }
    printf("disconnected and closed\n");
}

int main(void) {
    unsigned devices;

    if (!ZelSimInstall()) {
        printf("UNEXPECTED: the simulator did not install\n");
        return 1;
    }
    if (!Check(ZelDrvConnectLib(), "ZelDrvConnectLib")) return 1;

    devices = ListDevices();
    printf("%u devices\n", devices);
    if (devices != 24) {
        printf("UNEXPECTED: the simulated board has 24 devices\n");
        ++g_failures;
    }
    ConnectAndDisconnect();

    Check(ZelDrvReleaseLib(), "ZelDrvReleaseLib");
    ZelSimUninstall();
    return g_failures == 0 ? 0 : 1;
}
