/*
 * A second client of the board service, linked to the library only: it
 * connects, opens FXS port 0 exclusively and makes a pipe, prints both
 * handles, and then holds them until its standard input ends. It exits
 * without closing anything, as a program that dies would.
 */
#include <stdio.h>

#include <zel/zel.h>
#include <zel/zelsim_devices.h>

int main(void) {
    ZEL_HANDLE hDevice = 0, hPipe = 0;
    ZEL_UINT32 nState = 0;
    ZEL_RESULT r;
    if ((r = ZelDrvConnectLib()) != 0 ||
        (r = ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_EXCLUSIVE, 0, &hDevice)) != 0 ||
        (r = ZelDrvCreatePipe(0, &hPipe)) != 0 || (r = ZelDrvGetState(hDevice, &nState)) != 0) {
        fprintf(stderr, "peer: 0x%08X\n", (unsigned)r);
        return 1;
    }
    printf("0x%08X 0x%08X\n", (unsigned)hDevice, (unsigned)hPipe);
    fflush(stdout);
    while (getchar() != EOF) {
    }
    return 0;
}
