// The simulated driver's registers, time and debug dumps through the library:
// the register map, widths and alignment, read-only registers, the refusal
// texts per function, a monotonic time, and the dump commands.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>
#include "board_failures.h"

namespace {

using namespace zel::sim;

class SimRegisterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(ZelSimInstall(), 1u);
        ZelSimReset();
        ASSERT_EQ(ZelDrvConnectLib(), 0);
        ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 3, ZELSIM_OPEN_EXCLUSIVE, 0, &device_), 0);
    }
    void TearDown() override {
        ZelDrvReleaseLib();
        ZelSimUninstall();
    }

    ZEL_UINT32 Read32(ZEL_UINT32 nRegister) {
        ZEL_UINT32 value = 0xEEEEEEEEu;
        EXPECT_EQ(ZelDrvReadReg32(device_, nRegister, &value), 0) << nRegister;
        return value;
    }
    static std::string Describe(ZEL_RESULT result) {
        char text[256];
        EXPECT_EQ(ZelDrvResultCode2String(0, result, sizeof(text), text), 0);
        return text;
    }
    std::string LastDump() {
        char text[2048] = {};
        EXPECT_EQ(ZelDrvGetAttributeValueSz(device_, ZELSIM_ATTR_DEV_LAST_DUMP, text, sizeof(text)), 0);
        return text;
    }

    ZEL_HANDLE device_ = 0;
};

TEST_F(SimRegisterTest, ReadOnlyHeadDescribesTheDevice) {
    EXPECT_EQ(Read32(ZELSIM_REG_ID), 0x5A530000u | (ZELSIM_DEVTYPE_FXS << 8) | 3u);
    EXPECT_EQ(Read32(ZELSIM_REG_REVISION), 0x00010407u);
    EXPECT_EQ(Read32(ZELSIM_REG_SERIAL), 0x0403u);
    EXPECT_EQ(Read32(ZELSIM_REG_STATUS), ZELSIM_STATE_OPEN);
    ASSERT_EQ(ZelDrvEnable(device_, 0, 0), 0);
    EXPECT_EQ(Read32(ZELSIM_REG_STATUS), ZELSIM_STATE_OPEN | ZELSIM_STATE_ENABLED);

    EXPECT_EQ(ZelDrvWriteReg32(device_, ZELSIM_REG_ID, 0), kSimWrite32ReadOnly);
    EXPECT_EQ(ZelDrvWriteReg16(device_, 0x0E, 0), kSimWrite16ReadOnly);
    EXPECT_EQ(ZelDrvWriteReg8(device_, 0x0F, 0), kSimWrite8ReadOnly);
}

TEST_F(SimRegisterTest, WidthsShareOneLittleEndianFile) {
    ASSERT_EQ(ZelDrvWriteReg32(device_, ZELSIM_REG_CONTROL, 0x11223344u), 0);
    ZEL_UINT32 value = 0;
    ASSERT_EQ(ZelDrvReadReg8(device_, ZELSIM_REG_CONTROL + 1, &value), 0);
    EXPECT_EQ(value, 0x33u);
    ASSERT_EQ(ZelDrvReadReg16(device_, ZELSIM_REG_CONTROL + 2, &value), 0);
    EXPECT_EQ(value, 0x1122u);

    // A narrow write keeps the low bytes of the word the library sends whole.
    ASSERT_EQ(ZelDrvWriteReg8(device_, ZELSIM_REG_SCRATCH, 0x1234u), 0);
    ASSERT_EQ(ZelDrvWriteReg16(device_, ZELSIM_REG_SCRATCH + 2, 0xABCDEF01u), 0);
    EXPECT_EQ(Read32(ZELSIM_REG_SCRATCH), 0xEF010034u);
    ASSERT_EQ(ZelDrvWriteReg32(device_, 0xFC, 0xFFFFFFFFu), 0);
    EXPECT_EQ(Read32(0xFC), 0xFFFFFFFFu);

    // A reset clears the writable part; the head stays.
    ASSERT_EQ(ZelDrvReset(device_), 0);
    EXPECT_EQ(Read32(ZELSIM_REG_CONTROL), 0u);
    EXPECT_EQ(Read32(0xFC), 0u);
    EXPECT_EQ(Read32(ZELSIM_REG_REVISION), 0x00010407u);
}

TEST_F(SimRegisterTest, RegistersOutsideTheFileOrOffAlignmentAreRefused) {
    ZEL_UINT32 value = 0;
    EXPECT_EQ(ZelDrvReadReg32(device_, 0x22, &value), kSimRead32BadRegister);
    EXPECT_EQ(ZelDrvReadReg32(device_, 0x100, &value), kSimRead32BadRegister);
    EXPECT_EQ(ZelDrvReadReg32(device_, 0xFFFFFFFCu, &value), kSimRead32BadRegister);
    EXPECT_EQ(ZelDrvReadReg16(device_, 0x21, &value), kSimRead16BadRegister);
    EXPECT_EQ(ZelDrvReadReg8(device_, 0x100, &value), kSimRead8BadRegister);
    EXPECT_EQ(ZelDrvWriteReg8(device_, 0x100, 0), kSimWrite8BadRegister);
    EXPECT_EQ(ZelDrvWriteReg16(device_, 0x23, 0), kSimWrite16BadRegister);
    EXPECT_EQ(ZelDrvWriteReg32(device_, 0x102, 0), kSimWrite32BadRegister);
    ASSERT_EQ(ZelDrvReadReg8(device_, 0xFF, &value), 0);
}

TEST_F(SimRegisterTest, OnlyOpenPhysicalDevicesHaveRegisters) {
    ZEL_HANDLE hLogical = 0;
    ASSERT_EQ(ZelDrvCreateLogicalDevice(device_, ZELSIM_LDTYPE_RAW_DATA, 0, 0, &hLogical), 0);
    ZEL_UINT32 value = 0;
    const ZEL_RESULT refused = ZelDrvReadReg32(hLogical, 0, &value);
    EXPECT_EQ(refused, kSimRead32BadDevice);
    EXPECT_EQ(Describe(refused), "Invalid device handle supplied to the ReadReg32 function.");
    EXPECT_EQ(Describe(ZelDrvReadReg8(hLogical, 0, &value)),
              "Invalid device handle supplied to the ReadReg8 function.");
    EXPECT_EQ(ZelDrvReadReg16(hLogical, 0, &value), kSimRead16BadDevice);
    EXPECT_EQ(ZelDrvWriteReg8(hLogical, 0x10, 0), kSimWrite8BadDevice);
    EXPECT_EQ(ZelDrvWriteReg16(hLogical, 0x10, 0), kSimWrite16BadDevice);
    EXPECT_EQ(Describe(ZelDrvWriteReg32(hLogical, 0x10, 0)),
              "Invalid device handle supplied to the WriteReg32 function.");
    ASSERT_EQ(ZelDrvClose(device_), 0);
    EXPECT_EQ(ZelDrvReadReg32(device_, 0, &value), kSimRead32BadDevice);
}

TEST_F(SimRegisterTest, TimeNeverGoesBackwards) {
    ZEL_UINT64 previous = 0;
    ASSERT_EQ(ZelDrvGetCurrentTime(&previous), 0);
    for (int i = 0; i < 200; ++i) {
        ZEL_UINT64 now = 0;
        ASSERT_EQ(ZelDrvGetCurrentTime(&now), 0);
        EXPECT_GE(now, previous);
        previous = now;
    }
    OsaThreadSleep(2);
    ZEL_UINT64 later = 0;
    ASSERT_EQ(ZelDrvGetCurrentTime(&later), 0);
    EXPECT_GE(later - previous, 2000u);  // microseconds
}

TEST_F(SimRegisterTest, DumpCommands) {
    ASSERT_EQ(ZelDrvEnable(device_, 0, 0), 0);
    ASSERT_EQ(ZelDrvDbgDump(device_, ZELSIM_DUMP_STATE), 0);
    char expected[64];
    std::snprintf(expected, sizeof(expected), "object 0x%08X: state=0x00000003 enabled=1\n", device_);
    EXPECT_EQ(LastDump(), expected);

    ASSERT_EQ(ZelDrvWriteReg32(device_, ZELSIM_REG_CONTROL, 0xCAFE0001u), 0);
    ASSERT_EQ(ZelDrvDbgDump(device_, ZELSIM_DUMP_REGISTERS), 0);
    const std::string registers = LastDump();
    EXPECT_EQ(registers.substr(0, 40), "00: 5A530403 00010407 00000003 00000403\n");
    EXPECT_EQ(registers.substr(40, 40), "10: CAFE0001 00000000 00000000 00000000\n");
    EXPECT_EQ(registers.size(), 16u * 40u);

    ASSERT_EQ(ZelDrvDbgDump(device_, ZELSIM_DUMP_EVENT_QUEUES), 0);
    EXPECT_EQ(LastDump(), "no event queues\n");
    ZEL_HANDLE hQueue = 0;
    ASSERT_EQ(ZelDrvCreateEventQueue(3, nullptr, &hQueue), 0);
    ASSERT_EQ(ZelDrvSetEventData(hQueue, 1, 2, 3, 4, 5, 6), 0);
    ASSERT_EQ(ZelDrvDbgDump(device_, ZELSIM_DUMP_EVENT_QUEUES), 0);
    std::snprintf(expected, sizeof(expected), "queue 0x%08X: count=1 capacity=3 lost=0 event=0\n", hQueue);
    EXPECT_EQ(LastDump(), expected);

    ASSERT_EQ(ZelDrvDbgDump(device_, ZELSIM_DUMP_CLEAR), 0);
    EXPECT_EQ(LastDump(), "");
}

TEST_F(SimRegisterTest, DumpRefusals) {
    const ZEL_RESULT unsupported = ZelDrvDbgDump(device_, 99);
    EXPECT_EQ(unsupported, kSimDumpUnsupported);
    EXPECT_EQ(Describe(unsupported), "Unsupported DbgDump command for the Driver Device");
    ZEL_HANDLE hLogical = 0;
    ASSERT_EQ(ZelDrvCreateLogicalDevice(device_, ZELSIM_LDTYPE_RAW_DATA, 0, 0, &hLogical), 0);
    EXPECT_EQ(ZelDrvDbgDump(hLogical, ZELSIM_DUMP_REGISTERS), kSimDumpUnsupported);
    EXPECT_EQ(ZelDrvDbgDump(hLogical, ZELSIM_DUMP_STATE), 0);
    ZEL_HANDLE hPipe = 0;
    ASSERT_EQ(ZelDrvCreatePipe(0, &hPipe), 0);
    EXPECT_EQ(ZelDrvDbgDump(hPipe, ZELSIM_DUMP_STATE), kSimDumpBadDevice);
    EXPECT_EQ(Describe(kSimDumpBadDevice), "Invalid device handle supplied to the DbgDump function.");
}

}  // namespace
