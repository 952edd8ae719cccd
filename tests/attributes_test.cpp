// Attributes against a scripted driver: the library's own four attributes
// (no request, no connection needed), the exact bytes of 0x817, 0x818 and
// 0x819, the variable-size blocks and what comes back after each outcome.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <zel/zel.h>
#include "attributes.h"
#include "connection.h"
#include "fake_driver.h"
#include "fixtures.h"
#include "request.h"
#include "request_bytes.h"

namespace {

using zeltest::FakeDriver;
using zeltest::Image;
using zeltest::RecordedRequest;
using zeltest::Reply;
using GetType = zel::attributes::get_type;
using GetValue = zel::attributes::get_value;
using SetValue = zel::attributes::set_value;

constexpr ZEL_HANDLE kDevice = 0x10000003u;
constexpr ZEL_UINT32 kSomeAttribute = 0x2A;

class LibraryAttributeTest : public ::testing::Test {
protected:
    void TearDown() override { ZelDrvReleaseLib(); }
};

TEST_F(LibraryAttributeTest, RevisionStringWithAndWithoutRoom) {
    char buffer[16];
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(ZelDrvGetAttributeValueSz(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_REV_STR, buffer, 9), 0);
    EXPECT_STREQ(buffer, "2.29.1.0");
    EXPECT_EQ(buffer[9], '#');  // bytes past the value stay as they were

    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(ZelDrvGetAttributeValueSz(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_REV_STR, buffer, 8),
              static_cast<ZEL_RESULT>(0xB501B409u));
    for (char c : buffer) EXPECT_EQ(c, '#');
}

TEST_F(LibraryAttributeTest, VersionRecordBytesAndSize) {
    std::array<std::uint8_t, 12> buffer{};
    buffer.fill(0xEE);
    ZEL_UINT32 size = 99;
    EXPECT_EQ(ZelDrvGetAttributeValue(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_REV_NUMBER, buffer.data(), 8, &size), 0);
    const std::array<std::uint8_t, 12> expected = {0x02, 0x00, 0x1D, 0x00, 0x01, 0x00,
                                                   0x00, 0x00, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(buffer, expected);
    EXPECT_EQ(size, 8u);

    size = 99;
    buffer.fill(0xEE);
    EXPECT_EQ(ZelDrvGetAttributeValue(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_REV_NUMBER, buffer.data(), 7, &size),
              static_cast<ZEL_RESULT>(0xB501B909u));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(buffer[0], 0xEE);
}

TEST_F(LibraryAttributeTest, NameAndFlagAcceptANullSizePointer) {
    char name[11];
    EXPECT_EQ(ZelDrvGetAttributeValue(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_NAME, name, 11, nullptr), 0);
    EXPECT_EQ(std::memcmp(name, "ZelDrv.Lib", 11), 0);
    EXPECT_EQ(ZelDrvGetAttributeValue(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_NAME, name, 10, nullptr),
              static_cast<ZEL_RESULT>(0xB501C709u));

    ZEL_UINT32 flag = 0;
    ZEL_UINT32 size = 0;
    EXPECT_EQ(ZelDrvGetAttributeValue(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_FLAG, &flag, 4, &size), 0);
    EXPECT_EQ(flag, 1u);
    EXPECT_EQ(size, 4u);
}

TEST_F(LibraryAttributeTest, TypedWrappersPassFourBytes) {
    ZEL_UINT32 value = 0;
    EXPECT_EQ(ZelDrvGetAttributeValueUint32(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_FLAG, &value), 0);
    EXPECT_EQ(value, 1u);
    ZEL_BOOL flag = 0;
    EXPECT_EQ(ZelDrvGetAttributeValueBool(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_FLAG, &flag), 0);
    EXPECT_EQ(flag, 1u);
    EXPECT_EQ(ZelDrvGetAttributeValueUint32(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_REV_STR, &value),
              static_cast<ZEL_RESULT>(0xB501B409u));

    // The extended form leaves its input in the buffer when the read fails.
    value = 0;
    EXPECT_EQ(ZelDrvGetAttributeValueUint32Ex(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_NAME, 77, &value),
              static_cast<ZEL_RESULT>(0xB501C709u));
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(ZelDrvGetAttributeValueUint32Ex(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_REV_NUMBER, 5, &value),
              static_cast<ZEL_RESULT>(0xB501B909u));
    EXPECT_EQ(ZelDrvGetAttributeValueUint32Ex(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_FLAG, 77, &value), 0);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(ZelDrvGetAttributeValueUint32Ex(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_FLAG, 77, nullptr),
              static_cast<ZEL_RESULT>(0xB5018909u));
}

TEST_F(LibraryAttributeTest, SizeIsTestedBeforeTheIdentifier) {
    std::array<std::uint8_t, 8> buffer{};
    ZEL_UINT32 size = 5;
    EXPECT_EQ(ZelDrvGetAttributeValue(ZEL_LIB_HANDLE, 13, buffer.data(), 3, &size),
              static_cast<ZEL_RESULT>(0xB501B009u));
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(ZelDrvGetAttributeValue(ZEL_LIB_HANDLE, 13, buffer.data(), 4, &size),
              static_cast<ZEL_RESULT>(0xB501CC10u));
    // A zero size on the library path is the word-size failure, not the
    // driver path's zero-size one.
    EXPECT_EQ(ZelDrvGetAttributeValue(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_FLAG, buffer.data(), 0, &size),
              static_cast<ZEL_RESULT>(0xB501B009u));
    EXPECT_EQ(ZelDrvGetAttributeValue(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_FLAG, nullptr, 4, &size), zel::kAttrLibNullBuffer);
}

TEST_F(LibraryAttributeTest, TypesOfTheLibraryAttributes) {
    struct Row {
        ZEL_UINT32 id, type, size;
    };
    for (const Row row : {Row{9, 0, 9}, Row{10, 3, 8}, Row{11, 0, 11}, Row{12, 2, 4}}) {
        ZEL_UINT32 type = 99, size = 99, info = 99;
        EXPECT_EQ(ZelDrvGetAttributeType(ZEL_LIB_HANDLE, row.id, &type, &size, &info), 0) << row.id;
        EXPECT_EQ(type, row.type) << row.id;
        EXPECT_EQ(size, row.size) << row.id;
        EXPECT_EQ(info, 1u) << row.id;
    }
    ZEL_UINT32 type = 99, size = 99, info = 99;
    EXPECT_EQ(ZelDrvGetAttributeType(ZEL_LIB_HANDLE, 8, &type, &size, &info), static_cast<ZEL_RESULT>(0xB5014D10u));
    EXPECT_EQ(type, 3u);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(info, 1u);
    EXPECT_EQ(ZelDrvGetAttributeType(ZEL_LIB_HANDLE, 9, &type, nullptr, &info), zel::kAttrTypeNullOutput);
}

TEST_F(LibraryAttributeTest, AnsweredBeforeConnectAndAfterReleaseWithoutARequest) {
    FakeDriver driver("ZELDRV");
    char text[9];
    EXPECT_EQ(ZelDrvGetAttributeValueSz(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_REV_STR, text, sizeof(text)), 0);
    EXPECT_STREQ(text, "2.29.1.0");

    ASSERT_EQ(ZelDrvConnectLib(), 0);
    driver.ClearRequests();
    std::array<std::uint8_t, 8> version{};
    EXPECT_EQ(ZelDrvGetAttributeValue(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_REV_NUMBER, version.data(), 8, nullptr), 0);
    ZEL_UINT32 type = 0, size = 0, info = 0;
    EXPECT_EQ(ZelDrvGetAttributeType(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_NAME, &type, &size, &info), 0);
    EXPECT_TRUE(driver.Requests().empty());
    ASSERT_EQ(ZelDrvReleaseLib(), 0);

    std::memset(text, 0, sizeof(text));
    EXPECT_EQ(ZelDrvGetAttributeValueSz(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_REV_STR, text, sizeof(text)), 0);
    EXPECT_STREQ(text, "2.29.1.0");
    version.fill(0);
    EXPECT_EQ(ZelDrvGetAttributeValue(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_REV_NUMBER, version.data(), 8, nullptr), 0);
    EXPECT_EQ(version, (std::array<std::uint8_t, 8>{2, 0, 29, 0, 1, 0, 0, 0}));
}

TEST_F(LibraryAttributeTest, WritesOnTheLibraryHandleGoToTheDriver) {
    // Not connected: the request reaches no driver and the count stays 0.
    EXPECT_EQ(ZelDrvSetAttributeValueUint32(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_FLAG, 0), zel::kTransportEmptyResponse);

    FakeDriver driver("ZELDRV");
    ASSERT_EQ(ZelDrvConnectLib(), 0);
    driver.ClearRequests();
    EXPECT_EQ(ZelDrvSetAttributeValueUint32(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_FLAG, 0), 0);
    ASSERT_EQ(driver.Requests().size(), 1u);
    EXPECT_EQ(driver.Last().Word(SetValue::hObject), ZEL_LIB_HANDLE);
}

using DriverAttributeTest = zeltest::ConnectedFakeDriver;

// A value write's words, before its value.
std::vector<std::uint8_t> SetBlockWords(std::uint32_t cbValue) {
    return Image(
        {{SetValue::hObject, kDevice}, {SetValue::nAttribId, kSomeAttribute}, {SetValue::cbAttribValue, cbValue}});
}

TEST_F(DriverAttributeTest, TypeRequestAndItsWordsCopiedWhateverTheResult) {
    Reply reply;
    reply.words = {{GetType::nAttribType, 1},
                   {GetType::cbAttribSize, 4},
                   {GetType::nAttribInfo, 0x55},
                   {GetType::kLayout.resultOffset, 0xAD00120Du}};
    driver_.Queue(reply);
    ZEL_UINT32 type = 0, size = 0, info = 0;
    EXPECT_EQ(ZelDrvGetAttributeType(kDevice, kSomeAttribute, &type, &size, &info),
              static_cast<ZEL_RESULT>(0xAD00120Du));
    EXPECT_EQ(type, 1u);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(info, 0x55u);
    const RecordedRequest request = driver_.Last();
    EXPECT_EQ(request.controlCode, 0x22205Cu);
    EXPECT_EQ(request.input, Image(24, {{GetType::hObject, kDevice}, {GetType::nAttribId, kSomeAttribute}}));
    EXPECT_EQ(request.cbOut, 24u);

    // A transport failure leaves the zero-filled response behind.
    Reply failed;
    failed.succeeds = false;
    failed.count = 0;
    driver_.Queue(failed);
    EXPECT_EQ(ZelDrvGetAttributeType(kDevice, kSomeAttribute, &type, &size, &info), zel::kTransportEmptyResponse);
    EXPECT_EQ(type + size + info, 0u);
}

TEST_F(DriverAttributeTest, ValueReadSendsTheBufferSizeAndPrefillsTheValueArea) {
    std::array<std::uint8_t, 6> buffer = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
    std::vector<std::uint8_t> seenOutput;
    Reply reply;
    reply.custom = [&](const RecordedRequest &, std::uint8_t *pOut, std::uint32_t cbOut, std::uint32_t *pCount) {
        seenOutput.assign(pOut, pOut + cbOut);
        // The driver writes two value bytes and stops short of the rest.
        const std::span<std::uint8_t> out(pOut, cbOut);
        zel::PutWord(out, GetValue::kLayout.resultOffset, 0x0D);
        zel::PutWord(out, GetValue::cbAttribValueReturned, 2);
        std::uint8_t *pValue = pOut + GetValue::pAttribValue.offset;
        pValue[0] = 0x11;
        pValue[1] = 0x22;
        *pCount = GetValue::pAttribValue.offset + 2;
    };
    driver_.Queue(reply);
    ZEL_UINT32 returned = 0;
    EXPECT_EQ(ZelDrvGetAttributeValue(kDevice, kSomeAttribute, buffer.data(), 6, &returned), 0x0D);
    EXPECT_EQ(returned, 2u);
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 6>{0x11, 0x22, 0xA2, 0xA3, 0xA4, 0xA5}));

    const RecordedRequest request = driver_.Last();
    EXPECT_EQ(request.controlCode, 0x222060u);
    EXPECT_EQ(request.input, Image(28, {{GetValue::hObject, kDevice},
                                        {GetValue::nAttribId, kSomeAttribute},
                                        {GetValue::cbAttribValueBuf, 6}}));
    EXPECT_EQ(request.cbOut, 6u + 17u);
    // The block as the driver got it: zero words, the caller's bytes in the
    // value block, one zero byte after them.
    std::vector<std::uint8_t> expected(GetValue::pAttribValue.offset, 0);
    expected.insert(expected.end(), {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0x00});
    EXPECT_EQ(seenOutput, expected);
}

// A value delivered is never reported larger than the buffer; after a
// failure the driver's word (the size it needs) passes unchanged.
TEST_F(DriverAttributeTest, ValueReadSizeIsBoundedByTheBufferOnSuccess) {
    std::array<std::uint8_t, 4> buffer{};
    ZEL_UINT32 returned = 0;
    Reply success;
    success.words = {{GetValue::kLayout.resultOffset, 0}, {GetValue::cbAttribValueReturned, 0x7FFFFFFFu}};
    driver_.Queue(success);
    EXPECT_EQ(ZelDrvGetAttributeValue(kDevice, kSomeAttribute, buffer.data(), 4, &returned), 0);
    EXPECT_EQ(returned, 4u);
    Reply refused;
    refused.words = {{GetValue::kLayout.resultOffset, 0xAD00120Du}, {GetValue::cbAttribValueReturned, 13}};
    driver_.Queue(refused);
    EXPECT_EQ(ZelDrvGetAttributeValue(kDevice, kSomeAttribute, buffer.data(), 4, &returned),
              static_cast<ZEL_RESULT>(0xAD00120Du));
    EXPECT_EQ(returned, 13u);
}

TEST_F(DriverAttributeTest, ValueReadAfterATransportFailureGivesTheCallersBytesBack) {
    std::array<std::uint8_t, 4> buffer = {1, 2, 3, 4};
    Reply failed;
    failed.succeeds = false;
    failed.count = 0;
    driver_.Queue(failed);
    ZEL_UINT32 returned = 77;
    EXPECT_EQ(ZelDrvGetAttributeValue(kDevice, kSomeAttribute, buffer.data(), 4, &returned),
              zel::kTransportEmptyResponse);
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(returned, 0u);

    // The call fails but reports bytes: the call-failed code.
    Reply failedWithBytes;
    failedWithBytes.succeeds = false;
    failedWithBytes.count = 4;
    driver_.Queue(failedWithBytes);
    EXPECT_EQ(ZelDrvGetAttributeValue(kDevice, kSomeAttribute, buffer.data(), 4, nullptr), zel::kTransportCallFailed);
}

TEST_F(DriverAttributeTest, ValueReadRefusalsSendNothing) {
    std::array<std::uint8_t, 4> buffer = {9, 9, 9, 9};
    ZEL_UINT32 returned = 77;
    EXPECT_EQ(ZelDrvGetAttributeValue(kDevice, kSomeAttribute, buffer.data(), 0, &returned),
              static_cast<ZEL_RESULT>(0xB501D909u));
    EXPECT_EQ(returned, 77u);
    EXPECT_EQ(ZelDrvGetAttributeValue(kDevice, kSomeAttribute, nullptr, 4, &returned), zel::kAttrGetNullBuffer);
    // A block of size + 17 bytes would not fit in 32 bits: refused, never wrapped.
    EXPECT_EQ(
        ZelDrvGetAttributeValue(kDevice, kSomeAttribute, buffer.data(), zel::attr::kMaxGetValueBuf + 1, &returned),
        zel::kAttrGetBufferTooLarge);
    EXPECT_EQ(ZelDrvGetAttributeValue(kDevice, kSomeAttribute, buffer.data(), 0xFFFFFFFFu, &returned),
              zel::kAttrGetBufferTooLarge);
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 4>{9, 9, 9, 9}));
    EXPECT_EQ(returned, 77u);
    EXPECT_TRUE(driver_.Requests().empty());
}

TEST_F(DriverAttributeTest, TypedReadsSendFourBytesAndTheExtendedInput) {
    ZEL_UINT32 value = 0;
    std::uint32_t prefilled = 0;
    Reply reply;
    reply.custom = [&](const RecordedRequest &, std::uint8_t *pOut, std::uint32_t cbOut, std::uint32_t *pCount) {
        prefilled = zel::GetWord(std::span<const std::uint8_t>(pOut, cbOut), GetValue::pAttribValue);
        *pCount = 12;  // result and size only, no value bytes
    };
    driver_.Queue(reply);
    EXPECT_EQ(ZelDrvGetAttributeValueUint32Ex(kDevice, kSomeAttribute, 7, &value), 0);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(prefilled, 7u);
    EXPECT_EQ(driver_.Last().Word(GetValue::cbAttribValueBuf), 4u);
    EXPECT_EQ(driver_.Last().cbOut, 21u);

    Reply answer;
    answer.words = {{GetValue::cbAttribValueReturned, 4}, {GetValue::pAttribValue, 0xCAFEF00Du}};
    driver_.Queue(answer);
    EXPECT_EQ(ZelDrvGetAttributeValueUint32(kDevice, kSomeAttribute, &value), 0);
    EXPECT_EQ(value, 0xCAFEF00Du);

    char text[5] = "zzzz";
    Reply textAnswer;
    textAnswer.bytes = {{GetValue::pAttribValue, std::string("ab\0", 3)}};
    driver_.Queue(textAnswer);
    EXPECT_EQ(ZelDrvGetAttributeValueSz(kDevice, kSomeAttribute, text, 5), 0);
    EXPECT_EQ(std::string(text, 5), std::string("ab\0z\0", 5));
    EXPECT_EQ(driver_.Last().Word(GetValue::cbAttribValueBuf), 5u);
}

TEST_F(DriverAttributeTest, ValueWriteBlockHasTheValueAndOneZeroByte) {
    const std::array<std::uint8_t, 3> value = {0x61, 0x62, 0x63};
    driver_.Queue(Reply::Result(SetValue::kLayout, 0xAD00330Du));
    EXPECT_EQ(ZelDrvSetAttributeValue(kDevice, kSomeAttribute, value.data(), 3), static_cast<ZEL_RESULT>(0xAD00330Du));
    const RecordedRequest request = driver_.Last();
    EXPECT_EQ(request.controlCode, 0x222064u);
    auto expected = SetBlockWords(3);
    expected.insert(expected.end(), {0x61, 0x62, 0x63, 0x00});
    EXPECT_EQ(request.input, expected);
    EXPECT_EQ(request.cbOut, 12u);
}

TEST_F(DriverAttributeTest, TypedWritesAndTheirBlocks) {
    EXPECT_EQ(ZelDrvSetAttributeValueSz(kDevice, kSomeAttribute, ""), 0);
    auto expected = SetBlockWords(1);
    expected.insert(expected.end(), {0x00, 0x00});
    EXPECT_EQ(driver_.Last().input, expected);
    EXPECT_EQ(driver_.Last().input.size(), 30u);

    EXPECT_EQ(ZelDrvSetAttributeValueSz(kDevice, kSomeAttribute, "on"), 0);
    expected = SetBlockWords(3);
    expected.insert(expected.end(), {'o', 'n', 0x00, 0x00});
    EXPECT_EQ(driver_.Last().input, expected);

    EXPECT_EQ(ZelDrvSetAttributeValueUint32(kDevice, kSomeAttribute, 0x01020304u), 0);
    expected = SetBlockWords(4);
    expected.insert(expected.end(), {0x04, 0x03, 0x02, 0x01, 0x00});
    EXPECT_EQ(driver_.Last().input, expected);

    EXPECT_EQ(ZelDrvSetAttributeValueBool(kDevice, kSomeAttribute, 1), 0);
    expected = SetBlockWords(4);
    expected.insert(expected.end(), {0x01, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(driver_.Last().input, expected);

    // Size 0 needs no buffer: 29 bytes go out.
    EXPECT_EQ(ZelDrvSetAttributeValue(kDevice, kSomeAttribute, nullptr, 0), 0);
    expected = SetBlockWords(0);
    expected.push_back(0);
    EXPECT_EQ(driver_.Last().input, expected);
}

TEST_F(DriverAttributeTest, ValueWriteRefusalsSendNothing) {
    const std::uint8_t byte = 1;
    EXPECT_EQ(ZelDrvSetAttributeValue(kDevice, kSomeAttribute, nullptr, 1), zel::kAttrSetNullValue);
    EXPECT_EQ(ZelDrvSetAttributeValue(kDevice, kSomeAttribute, &byte, zel::attr::kMaxSetValue + 1),
              zel::kAttrSetValueTooLarge);
    EXPECT_EQ(ZelDrvSetAttributeValue(kDevice, kSomeAttribute, &byte, 0xFFFFFFFFu), zel::kAttrSetValueTooLarge);
    EXPECT_EQ(ZelDrvSetAttributeValueSz(kDevice, kSomeAttribute, nullptr), zel::kAttrSetSzNullString);
    EXPECT_TRUE(driver_.Requests().empty());
}

}  // namespace
