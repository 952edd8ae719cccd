// Null pointers where the header's contract makes them harmless: the
// functions whose result allows a failure refuse them with code 0x09 and
// send nothing; the others skip the write and keep their documented result.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>

#include <zel/zel.h>
#include "catalogue.h"
#include "connection.h"
#include "fake_driver.h"

namespace {

using zeltest::FakeDriver;

TEST(NullArguments, ResultCodeWritesOnlyThePartsAskedFor) {
    ZEL_UINT32 code = 0;
    ZEL_UINT32 line = 0;
    ZelResultCode(static_cast<ZEL_RESULT>(0xC300AA0Du), &code, nullptr, nullptr, &line);
    EXPECT_EQ(code, 0x8000000Du);
    EXPECT_EQ(line, 170u);
    ZelResultCode(static_cast<ZEL_RESULT>(0xC300AA0Du), nullptr, nullptr, nullptr, nullptr);
}

TEST(NullArguments, ConnectionStateAndHandle) {
    FakeDriver driver("ZELDRV");
    EXPECT_EQ(ZelDrvIsLibConnected(nullptr), 0);
    // Not connected is reported first, whatever the pointer.
    EXPECT_EQ(ZelDrvGetHandle(nullptr), zel::kGetHandleNotConnected);
    ASSERT_EQ(ZelDrvConnectLib(), 0);
    driver.ClearRequests();
    EXPECT_EQ(ZelDrvIsLibConnected(nullptr), 0);
    EXPECT_EQ(ZelDrvGetHandle(nullptr), zel::kGetHandleNullOut);
    EXPECT_EQ(static_cast<std::uint32_t>(zel::kGetHandleNullOut), 0xB5024109u);
    EXPECT_NE(zel::CatalogueFind(zel::kGetHandleNullOut), nullptr);
    EXPECT_TRUE(driver.Requests().empty());
    EXPECT_EQ(ZelDrvReleaseLib(), 0);
}

TEST(NullArguments, LockServicesIgnoreANullLock) {
    OsaMutexInit(nullptr);
    OsaMutexLock(nullptr);
    OsaMutexUnlock(nullptr);
    OsaMutexDestroy(nullptr);
    // A real lock still works beside them.
    OSA_MUTEX mutex;
    OsaMutexInit(&mutex);
    OsaMutexLock(&mutex);
    OsaMutexUnlock(&mutex);
    OsaMutexDestroy(&mutex);
}

ZEL_INT32 PrintF(const char *pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    const ZEL_INT32 written = OsaConsolePrintF(pszFormat, args);
    va_end(args);
    return written;
}

TEST(NullArguments, ConsoleOutputOfNothingIsAnError) {
    EXPECT_EQ(OsaConsolePutStr(nullptr), -1);
    EXPECT_LT(PrintF(nullptr), 0);
    EXPECT_EQ(OsaConsoleGetStr(nullptr), nullptr);
    EXPECT_EQ(OsaConsoleGetStrEx(nullptr, 16), nullptr);
}

// Every other exported function with a pointer already refuses a null one;
// checked here so the contract stays true.
TEST(NullArguments, RefusalsOfTheOtherOperationsSendNothing) {
    FakeDriver driver("ZELDRV");
    ASSERT_EQ(ZelDrvConnectLib(), 0);
    driver.ClearRequests();
    const std::uint32_t invalidParameter = ZEL_E_INVALID_PARAMETER;
    const ZEL_RESULT refusals[] = {
        ZelDrvOpenPhysicalDevice(0, 0, 0, 0, 0, nullptr),
        ZelDrvCreateLogicalDevice(0x10000001u, 0, 0, 0, nullptr),
        ZelDrvGetState(0x10000001u, nullptr),
        ZelDrvIteratorBegin(nullptr),
        ZelDrvEnumDeviceType(0, nullptr, nullptr),
        ZelDrvEnumDevice(0, 0, nullptr, nullptr),
        ZelDrvCreatePipe(0, nullptr),
        ZelDrvGetAttributeType(0x10000001u, 1, nullptr, nullptr, nullptr),
        ZelDrvGetAttributeValue(0x10000001u, 1, nullptr, 4, nullptr),
        ZelDrvSetAttributeValue(0x10000001u, 1, nullptr, 4),
        ZelDrvGetAttributeValueUint32(0x10000001u, 1, nullptr),
        ZelDrvGetAttributeValueUint32Ex(0x10000001u, 1, 0, nullptr),
        ZelDrvGetAttributeValueSz(0x10000001u, 1, nullptr, 8),
        ZelDrvSetAttributeValueSz(0x10000001u, 1, nullptr),
        ZelDrvCreateEventQueue(1, nullptr, nullptr),
        ZelDrvGetEventData(0x30000001u, nullptr),
        ZelDrvGetEventDataEx(0x30000001u, nullptr, 0, nullptr),
        ZelDrvEventCode2String(0x10000001u, 1, 8, nullptr),
        ZelDrvReadReg8(0x10000001u, 0, nullptr),
        ZelDrvReadReg16(0x10000001u, 0, nullptr),
        ZelDrvReadReg32(0x10000001u, 0, nullptr),
        ZelDrvGetCurrentTime(nullptr),
        ZelCreateAppEventQueue(1, nullptr, nullptr),
        ZelGetAppEventData(0, nullptr),
        ZelGetAppEventDataEx(0, nullptr, 1, nullptr),
    };
    for (const ZEL_RESULT r : refusals) {
        EXPECT_LT(r, 0) << std::hex << static_cast<std::uint32_t>(r);
        EXPECT_EQ(ZelResultErrorCode(r), invalidParameter) << std::hex << static_cast<std::uint32_t>(r);
    }
    EXPECT_TRUE(driver.Requests().empty());
    // The event service's own refusal keeps its documented code.
    EXPECT_EQ(static_cast<std::uint32_t>(ZelDrvCreateEvent(nullptr)), 0xB504250Du);
    EXPECT_NE(ZelDrvWaitForMultipleEvents(1, nullptr, 0, 0, nullptr), 0);
    EXPECT_EQ(ZelDrvIsIteratorEnd(nullptr), 0u);
    EXPECT_EQ(OsaStdLocalTime(nullptr), nullptr);
    EXPECT_EQ(OsaDeviceOpen(nullptr), OSA_INVALID_HANDLE_VALUE);
    EXPECT_EQ(OsaThreadStart(nullptr), 0u);
    EXPECT_EQ(OsaDeviceRegisterProvider(nullptr, nullptr), 0u);
    EXPECT_EQ(OsaDeviceUnregisterProvider(nullptr), 0u);
    EXPECT_EQ(ZelDrvReleaseLib(), 0);
}

}  // namespace
