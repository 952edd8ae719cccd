// Describing results: the catalogue path (hDevice 0) and the request that
// asks the driver for the text.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include <zel/zel.h>
#include "catalogue.h"
#include "connection.h"
#include "fake_driver.h"
#include "fixtures.h"
#include "request.h"

namespace {

using zeltest::FakeDriver;
using zeltest::Reply;

constexpr const char *kReleaseText = "ZelDrvReleaseLib: ZelDrv is not connected";

ZEL_RESULT R(std::uint32_t bits) { return static_cast<ZEL_RESULT>(bits); }

TEST(ResultTextCatalogue, FindsTheTextWhateverSeverityAndCode) {
    for (const std::uint32_t code : {0x3500F916u, 0xB500F916u, 0x3500F900u, 0xB500F9FFu}) {
        std::array<char, 256> buffer{};
        EXPECT_EQ(ZelDrvResultCode2String(0, R(code), buffer.size(), buffer.data()), 0) << std::hex << code;
        EXPECT_STREQ(buffer.data(), kReleaseText);
    }
}

TEST(ResultTextCatalogue, UnknownResultGivesTheDefaultText) {
    std::array<char, 256> buffer{};
    EXPECT_EQ(ZelDrvResultCode2String(0, R(0xC300AD0Du), buffer.size(), buffer.data()), ZEL_S_NO_DATA);
    EXPECT_STREQ(buffer.data(), "A descriptive error string is not available for this return code");
    // Below the first key, and all ones.
    EXPECT_EQ(ZelDrvResultCode2String(0, R(0x00000100u), buffer.size(), buffer.data()), 1);
    EXPECT_EQ(ZelDrvResultCode2String(0, R(0xFFFFFFFFu), buffer.size(), buffer.data()), 1);
    EXPECT_STREQ(buffer.data(), zel::kDefaultResultText);
}

TEST(ResultTextCatalogue, TruncatesAndPadsWithinTheBuffer) {
    // One guard byte past the buffer shows nothing is written beyond it.
    std::array<char, 11> buffer;
    buffer.fill('x');
    EXPECT_EQ(ZelDrvResultCode2String(0, R(0x3500F916u), 10, buffer.data()), 0);
    EXPECT_EQ(std::string(buffer.data()), std::string(kReleaseText, 9));
    EXPECT_EQ(buffer[9], '\0');
    EXPECT_EQ(buffer[10], 'x');

    buffer.fill('x');
    EXPECT_EQ(ZelDrvResultCode2String(0, R(0xC300AA0Du), 1, buffer.data()), 1);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'x');
    EXPECT_EQ(ZelDrvResultCode2String(0, R(0x3500F916u), 1, buffer.data()), 0);

    // A short text fills the rest of the buffer with NULs.
    std::array<char, 64> wide;
    wide.fill('x');
    EXPECT_EQ(ZelDrvResultCode2String(0, zel::ZelMakeResult(0, 0, 0, 270), 63, wide.data()), 0);
    EXPECT_STREQ(wide.data(), "User buffer is too small");
    EXPECT_TRUE(std::all_of(wide.begin() + 24, wide.begin() + 63, [](char c) { return c == '\0'; }));
    EXPECT_EQ(wide[63], 'x');
}

TEST(ResultTextCatalogue, NullBufferIsLeftAloneButStillAnswers) {
    EXPECT_EQ(ZelDrvResultCode2String(0, R(0x3500F916u), 64, nullptr), 0);
    EXPECT_EQ(ZelDrvResultCode2String(0, R(0xC300AD0Du), 64, nullptr), 1);
}

TEST(ResultTextCatalogue, FirstAndLastEntriesAreFound) {
    std::array<char, 300> buffer{};
    EXPECT_EQ(ZelDrvResultCode2String(0, R(0x00010E00u), buffer.size(), buffer.data()), 0);
    EXPECT_STREQ(buffer.data(), "User buffer is too small");
    EXPECT_EQ(ZelDrvResultCode2String(0, R(0x58824C00u), buffer.size(), buffer.data()), 0);
    EXPECT_STREQ(buffer.data(), "Bad Codec pin number (unset)");

    const auto catalogue = zel::Catalogue();
    for (const zel::CatalogueEntry *entry : {&catalogue.front(), &catalogue.back()}) {
        EXPECT_EQ(ZelDrvResultCode2String(0, R(entry->key | 0x8000000Du), buffer.size(), buffer.data()), 0);
        EXPECT_STREQ(buffer.data(), entry->text);
    }
}

TEST(ResultTextCatalogue, EveryEntryIsFoundWithItsOwnText) {
    std::array<char, 300> buffer{};
    for (const zel::CatalogueEntry &entry : zel::Catalogue()) {
        ASSERT_EQ(ZelDrvResultCode2String(0, R(entry.key), buffer.size(), buffer.data()), 0)
            << entry.source << "/" << entry.line;
        ASSERT_STREQ(buffer.data(), entry.text);
        // The neighbouring line is either its own entry or not found.
        const auto next = R(entry.key + 0x100);
        const zel::CatalogueEntry *neighbour = zel::CatalogueFind(next);
        EXPECT_TRUE(neighbour == nullptr || neighbour->key == entry.key + 0x100);
    }
}

using ResultTextDriver = zeltest::ConnectedFakeDriver;

using Text = zel::core::result_code_text;

TEST_F(ResultTextDriver, SendsTheDocumentedRequest) {
    std::array<char, 40> buffer;
    buffer.fill('q');
    driver_.Queue(Reply::Result(Text::kLayout, 0x0000ABCDu));
    EXPECT_EQ(ZelDrvResultCode2String(0x10000001u, R(0xB500F916u), 40, buffer.data()), 0x0000ABCD);

    const auto request = driver_.Last();
    EXPECT_EQ(request.controlCode, 0x22206Cu);
    EXPECT_EQ(request.cbOut, 12u);
    const auto address = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(buffer.data()));
    if constexpr (sizeof(void *) > 4) {
        ASSERT_EQ(request.input.size(), 36u);
        EXPECT_EQ(request.Word(Text::kLayout.cbIn), static_cast<std::uint32_t>(address >> 32));
    } else {
        ASSERT_EQ(request.input.size(), 32u);
    }
    for (std::size_t offset = 0; offset < zel::HeaderSize(Text::kLayout.framing); offset += 4) {
        EXPECT_EQ(request.Word(offset), 0u);
    }
    EXPECT_EQ(request.Word(Text::hDevice), 0x10000001u);
    EXPECT_EQ(request.Word(Text::nResultCode), 0xB500F916u);
    EXPECT_EQ(request.Word(Text::pszStringBuf), static_cast<std::uint32_t>(address));
    EXPECT_EQ(request.Word(Text::cbStringBuf), 40u);
    // The driver writes the text; the library leaves the buffer alone.
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == 'q'; }));
}

TEST_F(ResultTextDriver, ReturnsTransportFailuresAndLeavesTheBuffer) {
    std::array<char, 16> buffer;
    buffer.fill('q');
    Reply empty;
    empty.count = 0;
    driver_.Queue(empty);
    EXPECT_EQ(ZelDrvResultCode2String(5, R(0x3500F916u), 16, buffer.data()), zel::kTransportEmptyResponse);
    Reply failed;
    failed.succeeds = false;
    driver_.Queue(failed);
    EXPECT_EQ(ZelDrvResultCode2String(5, R(0x3500F916u), 16, buffer.data()), zel::kTransportCallFailed);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == 'q'; }));

    // A null buffer and a zero size are the driver's to judge.
    EXPECT_EQ(ZelDrvResultCode2String(5, R(0x3500F916u), 0, nullptr), 0);
    EXPECT_EQ(driver_.Last().Word(Text::pszStringBuf), 0u);
    EXPECT_EQ(driver_.Last().Word(Text::cbStringBuf), 0u);
}

TEST(ResultTextDriverNotConnected, GivesTheEmptyResponseCode) {
    std::array<char, 16> buffer;
    buffer.fill('q');
    EXPECT_EQ(static_cast<std::uint32_t>(ZelDrvResultCode2String(7, R(0x3500F916u), 16, buffer.data())), 0xC300AD0Du);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == 'q'; }));
}

}  // namespace
