/*
 * describe_results.c - describing result codes, without a driver and by
 * asking the driver, against the board simulator.
 *
 * Returns 0 when every answer is the one expected, 1 otherwise.
 */
#include <stdio.h>
#include <string.h>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_devices.h>

/* A handle the driver does not know: the driver describes results only for
 * an open device. */
#define UNKNOWN_DEVICE ((ZEL_HANDLE)0x1000FFFFu)

static int g_failures = 0;

static void Expect(int bCondition, const char *pszWhat) {
    if (!bCondition) {
        printf("UNEXPECTED: %s\n", pszWhat);
        ++g_failures;
    }
}

/* Describes one result by the given device (0: the built-in catalogue). */
static void Describe(ZEL_HANDLE hDevice, ZEL_RESULT nResult, ZEL_RESULT nExpected, const char *pszExpectedText) {
    char szText[300];
    ZEL_RESULT r;

    memset(szText, 0, sizeof szText);
    r = ZelDrvResultCode2String(hDevice, nResult, (ZEL_UINT32)sizeof szText, szText);
    printf("%s 0x%08X: [0x%08X] %s\n", hDevice == 0 ? "catalogue" : "driver   ", (unsigned)nResult, (unsigned)r,
           szText);
    Expect(r == nExpected, "result of ZelDrvResultCode2String");
    Expect(strcmp(szText, pszExpectedText) == 0, "text of ZelDrvResultCode2String");
}

int main(void) {
    const char *pszNotConnected = "ZelDrvReleaseLib: ZelDrv is not connected";
    const char *pszNoText = "A descriptive error string is not available for this return code";
    ZEL_RESULT r;
    ZEL_BOOL bConnected = 0;
    ZEL_HANDLE hBoard = ZEL_INVALID_HANDLE_VALUE;
    char szShort[10];

    if (!ZelSimInstall()) {
        printf("UNEXPECTED: the simulator did not install\n");
        return 1;
    }

    /* Without a connection: only the catalogue answers. */
    r = ZelDrvReleaseLib();
    Expect(r == (ZEL_RESULT)0x3500F916u && ZelSuccess(r), "release without a connection");
    Describe(0, r, 0, pszNotConnected);
    Describe(0, (ZEL_RESULT)0xB5023D16u, 0,
             "ZelDrvGetHandle: Connection to driver has not been established yet. Could not return handle prior to "
             "call to ZelDrvConnectLib()");
    Describe(0, (ZEL_RESULT)0xC300AD0Du, ZEL_S_NO_DATA, pszNoText);
    r = ZelDrvResultCode2String(UNKNOWN_DEVICE, (ZEL_RESULT)0x3500F916u, sizeof szShort, szShort);
    Expect(r == (ZEL_RESULT)0xC300AD0Du, "a request without a connection is an empty response");

    /* A short buffer holds a cut text. */
    r = ZelDrvResultCode2String(0, (ZEL_RESULT)0x3500F916u, sizeof szShort, szShort);
    Expect(r == 0 && strcmp(szShort, "ZelDrvRel") == 0, "a 10-byte buffer holds 9 characters");

    r = ZelDrvConnectLib();
    Expect(r == 0, "ZelDrvConnectLib");
    Expect(ZelDrvIsLibConnected(&bConnected) == 0 && bConnected == 1, "connected");
    Expect(ZelDrvConnectLib() == (ZEL_RESULT)0xB500CF0Du, "a second connect is refused");

    /* The driver writes the same texts into the caller's buffer. */
    r = ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_BOARD, 0, ZELSIM_OPEN_SHARED, 0, &hBoard);
    Expect(r == 0, "ZelDrvOpenPhysicalDevice");
    Describe(hBoard, (ZEL_RESULT)0x3500F916u, 0, pszNotConnected);
    Describe(hBoard, (ZEL_RESULT)0xB500CF0Du, 0, "ZelDrvConnectLib: Already connected");
    Describe(hBoard, (ZEL_RESULT)0xC300AA0Du, ZEL_S_NO_DATA, pszNoText);

    /* A refusal of the driver is described like any other result. */
    r = ZelDrvResultCode2String(UNKNOWN_DEVICE, (ZEL_RESULT)0x3500F916u, sizeof szShort, szShort);
    Expect(ZelFailure(r) && ZelResultSourceId(r) == ZEL_SRC_DRV_KVDRIVERDEVICE_CPP, "an unknown device is refused");
    Describe(0, r, 0, "Invalid device handle. Can't translate this result code to a string.");
    Expect(ZelDrvClose(hBoard) == 0, "ZelDrvClose");

    Expect(ZelDrvReleaseLib() == 0, "ZelDrvReleaseLib");
    Expect(ZelDrvIsLibConnected(&bConnected) == 0 && bConnected == 0, "not connected after release");
    ZelSimUninstall();

    printf("%s\n", g_failures == 0 ? "all results as expected" : "some results were unexpected");
    return g_failures == 0 ? 0 : 1;
}
