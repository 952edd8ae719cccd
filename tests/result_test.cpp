// Splitting and building result codes, the source-name table and the
// catalogue lookup.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "catalogue.h"
#include "result.h"

namespace {

struct Split {
    ZEL_UINT32 code, severity, source, line;
};

Split SplitResult(std::uint32_t r) {
    Split s{};
    ZelResultCode(static_cast<ZEL_RESULT>(r), &s.code, &s.severity, &s.source, &s.line);
    return s;
}

TEST(ResultCode, SplitsFieldsAndKeepsSeverityOnCommonCodes) {
    const Split transport = SplitResult(0xC300AA0Du);
    EXPECT_EQ(transport.code, 0x8000000Du);
    EXPECT_EQ(transport.severity, 1u);
    EXPECT_EQ(transport.source, 134u);
    EXPECT_EQ(transport.line, 170u);

    const Split info = SplitResult(0x3500F916u);
    EXPECT_EQ(info.code, 0x16u);
    EXPECT_EQ(info.severity, 0u);
    EXPECT_EQ(info.source, 106u);
    EXPECT_EQ(info.line, 249u);

    const Split zero = SplitResult(0);
    EXPECT_EQ(zero.code + zero.severity + zero.source + zero.line, 0u);
}

TEST(ResultCode, CommonCodeBoundaryIsTwentyNine) {
    EXPECT_EQ(SplitResult(0x8000001Du).code, 0x8000001Du);
    EXPECT_EQ(SplitResult(0x8000001Eu).code, 0x1Eu);
    EXPECT_EQ(SplitResult(0x800000FFu).code, 0xFFu);
    EXPECT_EQ(SplitResult(0x0000001Du).code, 0x1Du);
}

TEST(ResultCode, AccessorsCoverTheirWholeRanges) {
    const auto all = static_cast<ZEL_RESULT>(0xFFFFFFFFu);
    EXPECT_EQ(ZelResultSeverity(all), 1u);
    EXPECT_EQ(ZelResultSourceId(all), 255u);
    EXPECT_EQ(ZelResultLineNum(all), 0x7FFFu);
    EXPECT_EQ(ZelResultErrorCode(all), 0xFFu);
    EXPECT_EQ(ZelResultErrorCode(static_cast<ZEL_RESULT>(0xB502C30Bu)), 0x0Bu);
    EXPECT_EQ(SplitResult(0xB502C30Bu).code, 0x8000000Bu);
    EXPECT_EQ(ZelResultSourceId(static_cast<ZEL_RESULT>(0x7F800000u)), 255u);
    EXPECT_EQ(ZelResultSeverity(static_cast<ZEL_RESULT>(0x7FFFFFFFu)), 0u);
}

TEST(ResultCode, SuccessAndFailureFollowTheSign) {
    EXPECT_EQ(ZelSuccess(0), 1u);
    EXPECT_EQ(ZelSuccess(0x3500F916), 1u);
    EXPECT_EQ(ZelSuccess(static_cast<ZEL_RESULT>(0x80000000u)), 0u);
    EXPECT_EQ(ZelFailure(static_cast<ZEL_RESULT>(0x80000000u)), 1u);
    EXPECT_EQ(ZelFailure(0x7FFFFFFF), 0u);
}

TEST(MakeResult, PacksFieldsAndMasksOverlongLines) {
    EXPECT_EQ(static_cast<std::uint32_t>(zel::ZelMakeResult(106, 1, 0x8000000Bu, 707)), 0xB502C30Bu);
    EXPECT_EQ(static_cast<std::uint32_t>(zel::ZelMakeResult(106, 0, 0x16, 249)), 0x3500F916u);
    // Only the low 15 bits of the line survive; the source keeps 8 bits.
    EXPECT_EQ(zel::ZelMakeResult(0, 0, 0, 0x8000 | 5), zel::ZelMakeResult(0, 0, 0, 5));
    EXPECT_EQ(zel::ZelMakeResult(0x1FF, 0, 0, 0), zel::ZelMakeResult(0xFF, 0, 0, 0));
    // A code's bit 31 survives even with severity 0; its middle bits do not.
    EXPECT_EQ(static_cast<std::uint32_t>(zel::ZelMakeResult(0, 0, 0x8000FF0Du, 0)), 0x8000000Du);
}

TEST(SourceNames, TableEndsAt169AndRepeatsOneName) {
    EXPECT_EQ(zel::SourceName(0), "ZEL_SRC_SOURCE_ID_NONE");
    EXPECT_EQ(zel::SourceName(106), "ZEL_SRC_LIB_ZELDRV_C");
    EXPECT_EQ(zel::SourceName(138), "ZEL_SRC_OSA_OSANDISOID_CPP");
    EXPECT_EQ(zel::SourceName(169), "ZEL_SRC_DRV_KVDAVINCIHPI_CPP");
    EXPECT_EQ(zel::SourceName(170), "unknown");
    EXPECT_EQ(zel::SourceName(255), "unknown");
    EXPECT_EQ(zel::SourceName(0xFFFFFFFFu), "unknown");
    EXPECT_EQ(zel::SourceName(162), zel::SourceName(164));
    EXPECT_EQ(zel::SourceName(162), "ZEL_SRC_DRV_KVAMBT8100_CPP");
}

TEST(SourceNames, EveryNameHasTheAreaForm) {
    int drv = 0, lib = 0, osa = 0;
    for (std::uint32_t id = 1; id < zel::kSourceNameCount; ++id) {
        const std::string name(zel::SourceName(id));
        if (name.rfind("ZEL_SRC_DRV_", 0) == 0)
            ++drv;
        else if (name.rfind("ZEL_SRC_LIB_", 0) == 0)
            ++lib;
        else if (name.rfind("ZEL_SRC_OSA_", 0) == 0)
            ++osa;
        else
            ADD_FAILURE() << id << " " << name;
    }
    EXPECT_EQ(drv, 150);
    EXPECT_EQ(lib, 18);
    EXPECT_EQ(osa, 1);
}

std::string Describe(std::uint32_t r, ZEL_UINT32 cb, ZEL_RESULT *found) {
    std::string buf(cb + 4, '#');
    *found = zel::CatalogueDescribe(static_cast<ZEL_RESULT>(r), cb, buf.data());
    EXPECT_EQ(buf.substr(cb), "####") << "wrote past the buffer";
    return buf.substr(0, cb);
}

TEST(Catalogue, FindsTheSameTextForAnySeverityAndCode) {
    ZEL_RESULT found = -1;
    const std::string info = Describe(0x3500F916u, 128, &found);
    EXPECT_EQ(found, 0);
    EXPECT_STREQ(info.c_str(), "ZelDrvReleaseLib: ZelDrv is not connected");
    EXPECT_STREQ(Describe(0xB500F900u, 128, &found).c_str(), info.c_str());
    EXPECT_EQ(found, 0);
}

TEST(Catalogue, MissingEntryGivesTheDefaultTextAndOne) {
    ZEL_RESULT found = -1;
    EXPECT_STREQ(Describe(0xC300AA0Du, 128, &found).c_str(), zel::kDefaultResultText);
    EXPECT_EQ(found, ZEL_S_NO_DATA);
}

TEST(Catalogue, TruncatesToTheBufferAndAlwaysTerminates) {
    ZEL_RESULT found = -1;
    const std::string ten = Describe(0x3500F916u, 10, &found);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(ten, std::string("ZelDrvRel") + '\0');
    const std::string one = Describe(0x3500F916u, 1, &found);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(one, std::string(1, '\0'));
    EXPECT_EQ(Describe(0xC300AA0Du, 1, &found), std::string(1, '\0'));
    EXPECT_EQ(found, ZEL_S_NO_DATA);
}

TEST(Catalogue, ShortTextsPadTheBufferWithNuls) {
    ZEL_RESULT found = -1;
    const std::string padded = Describe(zel::CatalogueKey(0, 270), 40, &found);
    EXPECT_EQ(found, 0);
    const std::string text = "User buffer is too small";
    EXPECT_EQ(padded, text + std::string(40 - text.size(), '\0'));
}

TEST(Catalogue, SearchFindsEveryEntryAndNothingBetweenOrOutside) {
    const auto table = zel::Catalogue();
    ASSERT_GT(table.size(), 2u);
    for (const zel::CatalogueEntry &entry : table) {
        const zel::CatalogueEntry *hit = zel::CatalogueFind(static_cast<ZEL_RESULT>(entry.key | 0x800000FFu));
        ASSERT_EQ(hit, &entry) << entry.source << ":" << entry.line;
        // One line further is either the next entry or nothing.
        const zel::CatalogueEntry *next = zel::CatalogueFind(static_cast<ZEL_RESULT>(entry.key + 0x100u));
        if (next != nullptr) {
            EXPECT_EQ(next, &entry + 1);
        }
    }
    EXPECT_EQ(table.front().key, zel::CatalogueKey(0, 270));
    EXPECT_EQ(table.back().key, 0x58824C00u);
    EXPECT_STREQ(table.back().text, "Bad Codec pin number (unset)");
    // Below the first key: no entry, and no read outside the table.
    EXPECT_EQ(zel::CatalogueFind(0), nullptr);
    EXPECT_EQ(zel::CatalogueFind(static_cast<ZEL_RESULT>(zel::CatalogueKey(0, 269))), nullptr);
    // Above the last key.
    EXPECT_EQ(zel::CatalogueFind(static_cast<ZEL_RESULT>(zel::CatalogueKey(177, 589))), nullptr);
    EXPECT_EQ(zel::CatalogueFind(static_cast<ZEL_RESULT>(0x7FFFFF00u)), nullptr);
}

TEST(Catalogue, TextsArePlainAsciiWithoutTrailingNewline) {
    for (const zel::CatalogueEntry &entry : zel::Catalogue()) {
        const std::size_t length = std::strlen(entry.text);
        EXPECT_GE(length, 10u) << entry.source << ":" << entry.line;
        EXPECT_LE(length, 276u);
        EXPECT_NE(entry.text[length - 1], '\n');
        for (std::size_t i = 0; i < length; ++i) {
            EXPECT_TRUE(entry.text[i] >= 0x20 && entry.text[i] < 0x7F) << entry.source << ":" << entry.line;
        }
        EXPECT_NE(entry.source, static_cast<std::uint32_t>(zel::kSourceTransport));
    }
}

}  // namespace
