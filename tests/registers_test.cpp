// Registers, driver time and debug dump against a scripted driver: function
// numbers per width, whole words both ways, where each result is read, and
// the out-parameters after every outcome.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include <zel/zel.h>
#include "connection.h"
#include "fake_driver.h"
#include "fixtures.h"
#include "registers.h"
#include "request.h"
#include "request_bytes.h"

namespace {

using zeltest::FakeDriver;
using zeltest::Image;
using zeltest::RecordedRequest;
using zeltest::Reply;
namespace registers = zel::registers;

constexpr ZEL_HANDLE kDevice = 0x10000004u;

using ReadFn = ZEL_RESULT(ZEL_CALLCONV *)(ZEL_HANDLE, ZEL_UINT32, ZEL_UINT32 *);
using WriteFn = ZEL_RESULT(ZEL_CALLCONV *)(ZEL_HANDLE, ZEL_UINT32, ZEL_UINT32);

// A register request's words.
struct RegisterWords {
    zel::Word hDevice;
    zel::Word nRegister;
    zel::Word nValue;
    std::uint32_t resultOffset;
};

template <class R>
constexpr RegisterWords WordsOf() {
    return {R::hDevice, R::nRegister, R::nValue, R::kLayout.resultOffset};
}

struct ReadCase {
    const char *name;
    ReadFn fn;
    std::uint32_t controlCode;
    ZEL_RESULT nullRefusal;
    RegisterWords words;
};

struct WriteCase {
    const char *name;
    WriteFn fn;
    std::uint32_t controlCode;
    RegisterWords words;
};

const ReadCase kReads[] = {
    {"ReadReg8", &ZelDrvReadReg8, 0x222070u, zel::kRegRead8NullValue, WordsOf<registers::read8>()},
    {"ReadReg16", &ZelDrvReadReg16, 0x222074u, zel::kRegRead16NullValue, WordsOf<registers::read16>()},
    {"ReadReg32", &ZelDrvReadReg32, 0x222088u, zel::kRegRead32NullValue, WordsOf<registers::read32>()},
};

const WriteCase kWrites[] = {
    {"WriteReg8", &ZelDrvWriteReg8, 0x222078u, WordsOf<registers::write8>()},
    {"WriteReg16", &ZelDrvWriteReg16, 0x22207Cu, WordsOf<registers::write16>()},
    {"WriteReg32", &ZelDrvWriteReg32, 0x222084u, WordsOf<registers::write32>()},
};

using RegisterTest = zeltest::ConnectedFakeDriver;

TEST_F(RegisterTest, ReadsStoreTheWholeWordAndTakeTheResultFromTwelve) {
    for (const ReadCase &read : kReads) {
        SCOPED_TRACE(read.name);
        const RegisterWords &w = read.words;
        Reply reply;
        reply.words = {{w.nValue, 0xFFFFFFA5u}, {w.resultOffset, 0}};
        driver_.Queue(reply);
        ZEL_UINT32 value = 0;
        EXPECT_EQ(read.fn(kDevice, 0x40, &value), 0);
        EXPECT_EQ(value, 0xFFFFFFA5u);
        const RecordedRequest request = driver_.Last();
        EXPECT_EQ(request.controlCode, read.controlCode);
        EXPECT_EQ(request.input, Image(24, {{w.hDevice, kDevice}, {w.nRegister, 0x40}}));
        EXPECT_EQ(request.cbOut, 16u);

        // A failing result word comes back unchanged and the value is stored all the same.
        Reply refused;
        refused.words = {{w.nValue, 0x000000A5u}, {w.resultOffset, 0xA2E1230Bu}};
        driver_.Queue(refused);
        EXPECT_EQ(read.fn(kDevice, 0x40, &value), static_cast<ZEL_RESULT>(0xA2E1230Bu));
        EXPECT_EQ(value, 0x000000A5u);

        value = 0xDEADBEEFu;
        Reply failed;
        failed.succeeds = false;
        failed.count = 16;
        driver_.Queue(failed);
        EXPECT_EQ(read.fn(kDevice, 0x40, &value), zel::kTransportCallFailed);
        EXPECT_EQ(value, 0u);

        const auto before = driver_.Requests().size();
        EXPECT_EQ(read.fn(kDevice, 0x40, nullptr), read.nullRefusal);
        EXPECT_EQ(driver_.Requests().size(), before);
    }
}

TEST_F(RegisterTest, WritesSendTheValueUnmasked) {
    for (const WriteCase &write : kWrites) {
        SCOPED_TRACE(write.name);
        const RegisterWords &w = write.words;
        driver_.Queue(Reply::Result(w.resultOffset, 0xA2E1330Bu));
        EXPECT_EQ(write.fn(kDevice, 7, 0x00001234u), static_cast<ZEL_RESULT>(0xA2E1330Bu));
        const RecordedRequest request = driver_.Last();
        EXPECT_EQ(request.controlCode, write.controlCode);
        EXPECT_EQ(request.input, Image(28, {{w.hDevice, kDevice}, {w.nRegister, 7}, {w.nValue, 0x00001234u}}));
        EXPECT_EQ(request.cbOut, 12u);
    }
}

TEST_F(RegisterTest, DebugDumpSendsDeviceAndCommand) {
    using R = registers::dbg_dump;
    driver_.Queue(Reply::Result(R::kLayout, 0xA2E4440Bu));
    EXPECT_EQ(ZelDrvDbgDump(kDevice, 0x99), static_cast<ZEL_RESULT>(0xA2E4440Bu));
    const RecordedRequest request = driver_.Last();
    EXPECT_EQ(request.controlCode, 0x222068u);
    EXPECT_EQ(request.input, Image(24, {{R::hDevice, kDevice}, {R::nCommand, 0x99}}));
    EXPECT_EQ(request.cbOut, 12u);
}

TEST_F(RegisterTest, TimeIsHighWordAtTwelveLowWordAtEight) {
    using R = registers::get_current_time;
    Reply reply;
    reply.words = {{R::nTimeLow, 0x89ABCDEFu}, {R::nTimeHigh, 0x01234567u}, {R::kLayout.resultOffset, 0}};
    driver_.Queue(reply);
    ZEL_UINT64 time = 0;
    EXPECT_EQ(ZelDrvGetCurrentTime(&time), 0);
    EXPECT_EQ(time, 0x0123456789ABCDEFull);
    const RecordedRequest request = driver_.Last();
    EXPECT_EQ(request.controlCode, 0x2221DCu);
    EXPECT_EQ(request.input, Image(20, {{R::nReserved, 0}}));
    EXPECT_EQ(request.cbOut, 20u);

    Reply failed;
    failed.succeeds = false;
    failed.count = 0;
    driver_.Queue(failed);
    EXPECT_EQ(ZelDrvGetCurrentTime(&time), zel::kTransportEmptyResponse);
    EXPECT_EQ(time, 0u);

    EXPECT_EQ(ZelDrvGetCurrentTime(nullptr), zel::kTimeNullOut);
    EXPECT_EQ(driver_.Requests().size(), 2u);
}

TEST(RegisterUnconnected, RequestsFailInTheTransportAndStillWriteOutputs) {
    ZEL_UINT32 value = 0xDEADBEEFu;
    EXPECT_EQ(ZelDrvReadReg32(kDevice, 0, &value), zel::kTransportEmptyResponse);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(ZelDrvWriteReg8(kDevice, 0, 1), zel::kTransportEmptyResponse);
    EXPECT_EQ(ZelDrvDbgDump(kDevice, 1), zel::kTransportEmptyResponse);
    ZEL_UINT64 time = 5;
    EXPECT_EQ(ZelDrvGetCurrentTime(&time), zel::kTransportEmptyResponse);
    EXPECT_EQ(time, 0u);
}

}  // namespace
