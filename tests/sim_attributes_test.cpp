// The simulated driver's attributes through the library: per object kind,
// types, sizes and access words, read-only refusals, the checks on written
// values, and the library's own attributes still answered without a request.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>
#include "board_failures.h"
#include "board_names.h"
#include "fixtures.h"
#include "handles.h"
#include "object_names.h"

namespace {

using namespace zel::sim;

struct Descriptor {
    ZEL_UINT32 type = 0, size = 0, info = 0;
    bool operator==(const Descriptor &) const = default;
};

class SimAttributeTest : public zeltest::ConnectedSimulator {
protected:
    void SetUp() override {
        ConnectedSimulator::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_E1, 1, ZELSIM_OPEN_EXCLUSIVE, 0, &device_), 0);
    }

    static Descriptor TypeOf(ZEL_HANDLE h, ZEL_UINT32 id) {
        Descriptor d;
        EXPECT_EQ(ZelDrvGetAttributeType(h, id, &d.type, &d.size, &d.info), 0) << id;
        return d;
    }
    static std::string Text(ZEL_HANDLE h, ZEL_UINT32 id) {
        char buffer[1024] = {};
        EXPECT_EQ(ZelDrvGetAttributeValueSz(h, id, buffer, sizeof(buffer)), 0) << id;
        return buffer;
    }
    static ZEL_UINT32 Word(ZEL_HANDLE h, ZEL_UINT32 id) {
        ZEL_UINT32 value = 0xEEEEEEEEu;
        EXPECT_EQ(ZelDrvGetAttributeValueUint32(h, id, &value), 0) << id;
        return value;
    }

    ZEL_HANDLE device_ = 0;
};

constexpr ZEL_UINT32 kRO = ZELSIM_ATTR_ACCESS_READ;
constexpr ZEL_UINT32 kRW = ZELSIM_ATTR_ACCESS_READ | ZELSIM_ATTR_ACCESS_WRITE;

TEST_F(SimAttributeTest, PhysicalDeviceAttributes) {
    EXPECT_EQ(Text(device_, ZELSIM_ATTR_DEV_NAME), "E1 trunk port 1");
    EXPECT_EQ(TypeOf(device_, ZELSIM_ATTR_DEV_NAME), (Descriptor{ZELSIM_ATTR_TYPE_SZ, 16, kRO}));
    EXPECT_EQ(Word(device_, ZELSIM_ATTR_DEV_TYPE), ZELSIM_DEVTYPE_E1);
    EXPECT_EQ(Text(device_, ZELSIM_ATTR_DEV_SERIAL), "ZS-2029-0201");
    EXPECT_EQ(Word(device_, ZELSIM_ATTR_DEV_PORT_COUNT), 2u);
    EXPECT_EQ(TypeOf(device_, ZELSIM_ATTR_DEV_PORT_COUNT), (Descriptor{ZELSIM_ATTR_TYPE_UINT32, 4, kRO}));

    EXPECT_EQ(Word(device_, ZELSIM_ATTR_DEV_STATE), ZELSIM_STATE_OPEN);
    EXPECT_EQ(Word(device_, ZELSIM_ATTR_DEV_ENABLED), 0u);
    ASSERT_EQ(ZelDrvEnable(device_, 0, 0), 0);
    EXPECT_EQ(Word(device_, ZELSIM_ATTR_DEV_STATE), ZELSIM_STATE_OPEN | ZELSIM_STATE_ENABLED);
    ZEL_BOOL enabled = 0;
    EXPECT_EQ(ZelDrvGetAttributeValueBool(device_, ZELSIM_ATTR_DEV_ENABLED, &enabled), 0);
    EXPECT_EQ(enabled, 1u);
    EXPECT_EQ(TypeOf(device_, ZELSIM_ATTR_DEV_ENABLED), (Descriptor{ZELSIM_ATTR_TYPE_BOOL, 4, kRO}));

    std::array<std::uint8_t, 8> firmware{};
    ZEL_UINT32 size = 0;
    EXPECT_EQ(ZelDrvGetAttributeValue(device_, ZELSIM_ATTR_DEV_FIRMWARE, firmware.data(), 8, &size), 0);
    EXPECT_EQ(size, 8u);
    EXPECT_EQ(firmware, (std::array<std::uint8_t, 8>{1, 0, 4, 0, 0, 0, 7, 0}));
    EXPECT_EQ(TypeOf(device_, ZELSIM_ATTR_DEV_FIRMWARE), (Descriptor{ZELSIM_ATTR_TYPE_STRUCT, 8, kRO}));
}

TEST_F(SimAttributeTest, WritableAttributesKeepWhatIsWritten) {
    EXPECT_EQ(TypeOf(device_, ZELSIM_ATTR_DEV_LABEL), (Descriptor{ZELSIM_ATTR_TYPE_SZ, 1, kRW}));
    ASSERT_EQ(ZelDrvSetAttributeValueSz(device_, ZELSIM_ATTR_DEV_LABEL, "trunk A"), 0);
    EXPECT_EQ(Text(device_, ZELSIM_ATTR_DEV_LABEL), "trunk A");
    EXPECT_EQ(TypeOf(device_, ZELSIM_ATTR_DEV_LABEL).size, 8u);

    ASSERT_EQ(ZelDrvSetAttributeValueUint32(device_, ZELSIM_ATTR_DEV_USER_WORD, 0xA5A5F00Du), 0);
    EXPECT_EQ(Word(device_, ZELSIM_ATTR_DEV_USER_WORD), 0xA5A5F00Du);
    // A boolean keeps 0 or 1 whatever non-zero word is written.
    ASSERT_EQ(ZelDrvSetAttributeValueBool(device_, ZELSIM_ATTR_DEV_LOOPBACK, 7), 0);
    EXPECT_EQ(Word(device_, ZELSIM_ATTR_DEV_LOOPBACK), 1u);
    ASSERT_EQ(ZelDrvSetAttributeValueBool(device_, ZELSIM_ATTR_DEV_LOOPBACK, 0), 0);
    EXPECT_EQ(Word(device_, ZELSIM_ATTR_DEV_LOOPBACK), 0u);
}

TEST_F(SimAttributeTest, WrittenValuesAreChecked) {
    EXPECT_EQ(ZelDrvSetAttributeValueUint32(device_, ZELSIM_ATTR_DEV_TYPE, 3), kSimAttrSetReadOnly);
    EXPECT_EQ(ZelDrvSetAttributeValueSz(device_, ZELSIM_ATTR_DEV_NAME, "x"), kSimAttrSetReadOnly);
    EXPECT_EQ(ZelDrvSetAttributeValueSz(device_, ZELSIM_ATTR_DEV_USER_WORD, "abcdef"), kSimAttrSetBadSize);
    const std::uint8_t two[2] = {1, 2};
    EXPECT_EQ(ZelDrvSetAttributeValue(device_, ZELSIM_ATTR_DEV_LOOPBACK, two, 2), kSimAttrSetBadSize);

    const std::string longest(ZELSIM_ATTR_LABEL_MAX - 1, 'L');
    EXPECT_EQ(ZelDrvSetAttributeValueSz(device_, ZELSIM_ATTR_DEV_LABEL, longest.c_str()), 0);
    EXPECT_EQ(Text(device_, ZELSIM_ATTR_DEV_LABEL), longest);
    const std::string tooLong(ZELSIM_ATTR_LABEL_MAX, 'L');
    EXPECT_EQ(ZelDrvSetAttributeValueSz(device_, ZELSIM_ATTR_DEV_LABEL, tooLong.c_str()), kSimAttrSetBadString);
    const char noNul[3] = {'a', 'b', 'c'};
    EXPECT_EQ(ZelDrvSetAttributeValue(device_, ZELSIM_ATTR_DEV_LABEL, noNul, 3), kSimAttrSetBadString);
    EXPECT_EQ(Text(device_, ZELSIM_ATTR_DEV_LABEL), longest);
}

TEST_F(SimAttributeTest, TooSmallABufferReportsTheSizeNeeded) {
    char buffer[8];
    std::memset(buffer, '#', sizeof(buffer));
    ZEL_UINT32 size = 0;
    EXPECT_EQ(ZelDrvGetAttributeValue(device_, ZELSIM_ATTR_DEV_SERIAL, buffer, 8, &size), kSimAttrGetTooSmall);
    EXPECT_EQ(size, 13u);
    char exact[13];
    EXPECT_EQ(ZelDrvGetAttributeValue(device_, ZELSIM_ATTR_DEV_SERIAL, exact, 13, &size), 0);
    EXPECT_STREQ(exact, "ZS-2029-0201");
}

TEST_F(SimAttributeTest, UnknownAttributesAndDeadObjects) {
    ZEL_UINT32 value = 0;
    Descriptor d;
    EXPECT_EQ(ZelDrvGetAttributeType(device_, 999, &d.type, &d.size, &d.info), kSimAttrTypeUnknown);
    EXPECT_EQ(ZelDrvGetAttributeValueUint32(device_, 999, &value), kSimAttrGetUnknown);
    EXPECT_EQ(ZelDrvSetAttributeValueUint32(device_, 999, 1), kSimAttrSetUnknown);
    // Queue attributes are not device attributes.
    EXPECT_EQ(ZelDrvGetAttributeValueUint32(device_, ZELSIM_ATTR_EVQ_COUNT, &value), kSimAttrGetUnknown);

    ASSERT_EQ(ZelDrvClose(device_), 0);
    EXPECT_EQ(ZelDrvGetAttributeType(device_, ZELSIM_ATTR_DEV_NAME, &d.type, &d.size, &d.info), kSimAttrTypeBadObject);
    EXPECT_EQ(ZelDrvGetAttributeValueUint32(device_, ZELSIM_ATTR_DEV_TYPE, &value), kSimAttrGetBadObject);
    EXPECT_EQ(ZelDrvSetAttributeValueUint32(device_, ZELSIM_ATTR_DEV_USER_WORD, 1), kSimAttrSetBadObject);
    EXPECT_EQ(ZelDrvGetAttributeValueUint32(0x70000001u, ZELSIM_ATTR_DEV_TYPE, &value), kSimAttrGetBadObject);
}

TEST_F(SimAttributeTest, LogicalDevicesPipesAndQueuesHaveTheirOwnSets) {
    ZEL_HANDLE hLogical = 0;
    ASSERT_EQ(ZelDrvCreateLogicalDevice(device_, ZELSIM_LDTYPE_DTMF_DETECTOR, 0, 0, &hLogical), 0);
    EXPECT_EQ(Text(hLogical, ZELSIM_ATTR_DEV_NAME), "DTMF detector on channel 0");
    EXPECT_EQ(Word(hLogical, ZELSIM_ATTR_DEV_TYPE), ZELSIM_LDTYPE_DTMF_DETECTOR);
    char buffer[32];
    EXPECT_EQ(ZelDrvGetAttributeValueSz(hLogical, ZELSIM_ATTR_DEV_SERIAL, buffer, sizeof(buffer)), kSimAttrGetUnknown);

    ZEL_HANDLE hPipe = 0;
    ASSERT_EQ(ZelDrvCreatePipe(0, &hPipe), 0);
    ASSERT_EQ(ZelDrvSetAttributeValueSz(hPipe, ZELSIM_ATTR_DEV_LABEL, "to DSP"), 0);
    EXPECT_EQ(Text(hPipe, ZELSIM_ATTR_DEV_LABEL), "to DSP");
    EXPECT_EQ(Text(device_, ZELSIM_ATTR_DEV_LABEL), "");  // values are per object
    EXPECT_EQ(Word(hPipe, ZELSIM_ATTR_DEV_ENABLED), 0u);

    OSA_HANDLE hEvent = nullptr;
    ASSERT_EQ(ZelDrvCreateEvent(&hEvent), 0);
    ZEL_HANDLE hQueue = 0;
    ASSERT_EQ(ZelDrvCreateEventQueue(12, hEvent, &hQueue), 0);
    EXPECT_EQ(Word(hQueue, ZELSIM_ATTR_EVQ_CAPACITY), 12u);
    EXPECT_EQ(Word(hQueue, ZELSIM_ATTR_EVQ_COUNT), 0u);
    EXPECT_EQ(Word(hQueue, ZELSIM_ATTR_EVQ_HAS_EVENT), 1u);
    EXPECT_EQ(TypeOf(hQueue, ZELSIM_ATTR_EVQ_LOST), (Descriptor{ZELSIM_ATTR_TYPE_UINT32, 4, kRO}));
    EXPECT_EQ(ZelDrvSetAttributeValueUint32(hQueue, ZELSIM_ATTR_EVQ_CAPACITY, 5), kSimAttrSetReadOnly);

    // Every attribute some object answers is named, with its type, in the
    // vocabulary a trace shows values by, and every name is answered.
    ZEL_HANDLE hFxo = 0, hFxs = 0, hTone = 0, hHdlc = 0;
    ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXO, 2, ZELSIM_OPEN_EXCLUSIVE, 0, &hFxo), 0);
    ASSERT_EQ(ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 0, ZELSIM_OPEN_EXCLUSIVE, 0, &hFxs), 0);
    ASSERT_EQ(ZelDrvCreateLogicalDevice(hFxo, ZELSIM_LDTYPE_TONE_GENERATOR, 0, 0, &hTone), 0);
    ASSERT_EQ(ZelDrvCreateLogicalDevice(device_, ZELSIM_LDTYPE_HDLC, 16, 0, &hHdlc), 0);
    std::set<std::uint32_t> answered;
    for (const ZEL_HANDLE h : {device_, hFxo, hFxs, hLogical, hTone, hHdlc, hPipe, hQueue}) {
        for (ZEL_UINT32 id = 0; id < 64; ++id) {
            Descriptor d;
            if (ZelDrvGetAttributeType(h, id, &d.type, &d.size, &d.info) != 0) continue;
            const AttributeName *name = FindAttributeName(id);
            ASSERT_NE(name, nullptr) << "attribute " << id << " has no name";
            EXPECT_EQ(name->type, d.type) << name->name;
            answered.insert(id);
        }
    }
    EXPECT_EQ(answered.size(), kAttributeNames.size());

    // Each object by its name; a logical device keeps its name once closed.
    const auto index = [](ZEL_HANDLE h) { return std::to_string(IndexOf(h)); };
    EXPECT_EQ(NameObject(device_), "E1 1");
    EXPECT_EQ(NameObject(hFxo), "FXO 2");
    EXPECT_EQ(NameObject(hTone), "tone generator " + index(hTone) + " on FXO 2");
    EXPECT_EQ(NameObject(hHdlc), "HDLC controller " + index(hHdlc) + " on E1 1 channel 16");
    EXPECT_EQ(NameObject(hPipe), "pipe " + index(hPipe));
    EXPECT_EQ(NameObject(hQueue), "queue " + index(hQueue));
    ASSERT_EQ(ZelDrvClose(hLogical), 0);
    EXPECT_EQ(NameObject(hLogical), "DTMF detector " + index(hLogical) + " on E1 1 channel 0");
    EXPECT_EQ(NameObject(0x70000001u), "");
    ZelDrvCloseEvent(hEvent);
}

TEST_F(SimAttributeTest, LibraryAttributesNeverReachTheDriver) {
    ZelSimLogClear();
    char revision[9];
    EXPECT_EQ(ZelDrvGetAttributeValueSz(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_REV_STR, revision, 9), 0);
    EXPECT_STREQ(revision, "2.29.1.0");
    EXPECT_EQ(ZelSimLogCount(), 0u);
    // A write on the library handle is the driver's: the simulator names no such object.
    EXPECT_EQ(ZelDrvSetAttributeValueUint32(ZEL_LIB_HANDLE, ZEL_ATTR_LIB_FLAG, 0), kSimAttrSetBadObject);
    EXPECT_EQ(ZelSimLogCount(), 1u);
}

}  // namespace
