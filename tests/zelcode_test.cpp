// zelcode's pieces: the names it takes from the library, what it makes of a
// code, which words of a log it takes for codes, and the annotated log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <zel/zel.h>
#include <zel/zelnames.h>
#include "catalogue.h"
#include "connection.h"
#include "result.h"
#include "zelcode_explain.h"
#include "zelcode_scan.h"

namespace {

using zel::code::Explain;
using zel::code::Kind;

constexpr std::uint32_t U(ZEL_RESULT r) { return static_cast<std::uint32_t>(r); }

// name -> value of every "#define ZEL_E_... / ZEL_S_... <hex>" in zel.h.
std::map<std::string, std::uint32_t> HeaderCommonCodes() {
    std::ifstream header(ZEL_TEST_SOURCE_DIR "/include/zel/zel.h");
    EXPECT_TRUE(header.good());
    std::map<std::string, std::uint32_t> codes;
    for (std::string line; std::getline(header, line);) {
        if (line.rfind("#define ZEL_E_", 0) != 0 && line.rfind("#define ZEL_S_", 0) != 0) continue;
        const std::size_t nameEnd = line.find(' ', 8);
        if (nameEnd == std::string::npos) continue;
        codes[line.substr(8, nameEnd - 8)] =
            static_cast<std::uint32_t>(std::stoul(line.substr(nameEnd + 1), nullptr, 16));
    }
    return codes;
}

TEST(ZelcodeNames, SourceNamesAreTheTableAsCStrings) {
    for (std::uint32_t id = 0; id < 256; ++id) {
        const char *name = ZelSourceIdName(id);
        ASSERT_NE(name, nullptr) << id;
        // Compared through strlen: the NUL sits right at the view's end.
        EXPECT_EQ(std::string_view(name), zel::SourceName(id)) << id;
    }
    EXPECT_STREQ(ZelSourceIdName(ZEL_SRC_LIB_ZELDRV_C), "ZEL_SRC_LIB_ZELDRV_C");
    EXPECT_STREQ(ZelSourceIdName(zel::kSourceNameCount - 1), "ZEL_SRC_DRV_KVDAVINCIHPI_CPP");
    EXPECT_STREQ(ZelSourceIdName(zel::kSourceNameCount), "unknown");
    EXPECT_STREQ(ZelSourceIdName(0xFFFFFFFFu), "unknown");
}

TEST(ZelcodeNames, ErrorCodeNamesAreExactlyTheHeadersCommonCodes) {
    const auto codes = HeaderCommonCodes();
    ASSERT_EQ(codes.size(), 10u);
    for (const auto &[name, value] : codes) {
        EXPECT_STREQ(ZelErrorCodeName(value), name.c_str());
        // ZelResultCode's form and a whole result name the same code.
        EXPECT_STREQ(ZelErrorCodeName(0x80000000u | value), name.c_str());
        EXPECT_STREQ(ZelErrorCodeName(U(zel::FailureResult(zel::kSourceLibrary, 1, value, 707))), name.c_str());
    }
    std::size_t named = 0;
    for (std::uint32_t code = 0; code < 256; ++code) named += ZelErrorCodeName(code) != nullptr ? 1 : 0;
    EXPECT_EQ(named, codes.size()) << "a name for a code zel.h does not define";
}

TEST(ZelcodeExplain, KindFollowsSeverityThenErrorCode) {
    struct Case {
        std::uint32_t code;
        Kind kind;
        const char *meaning;
    };
    const Case cases[] = {
        {0, Kind::kSuccess, nullptr},
        {0x55000000u, Kind::kSuccess, nullptr},
        {ZEL_S_NO_DATA, Kind::kInformational, "no data"},
        {ZEL_S_SIGNALLED, Kind::kInformational, "signalled"},
        {ZEL_S_TIMEOUT, Kind::kInformational, "timed out"},
        {U(zel::kReleaseNotConnected), Kind::kInformational, "not connected"},
        {0x0000001Eu, Kind::kInformational, nullptr},
        {U(zel::kDrvDeviceNotOpened), Kind::kFailure, "invalid handle"},
        {0x8000001Eu, Kind::kFailure, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.code);
        const auto e = Explain(c.code);
        EXPECT_EQ(e.kind, c.kind);
        EXPECT_EQ(e.severity, c.code >> 31);
        EXPECT_EQ(e.errorCode, c.code & 0xFFu);
        if (c.meaning == nullptr) {
            EXPECT_EQ(e.errorMeaning, nullptr);
        } else {
            EXPECT_STREQ(e.errorMeaning, c.meaning);
        }
    }
}

TEST(ZelcodeExplain, PartsAndCatalogueText) {
    const auto failure = Explain(U(zel::kDrvDeviceNotOpened));
    EXPECT_EQ(failure.sourceId, zel::kSourceLibrary);
    EXPECT_STREQ(failure.sourceName, "ZEL_SRC_LIB_ZELDRV_C");
    EXPECT_EQ(failure.line, 213u);
    EXPECT_STREQ(failure.errorName, "ZEL_E_INVALID_HANDLE");
    EXPECT_STREQ(failure.text, "ZelDrvConnectLib: Could not connect to ZelDrv");
    // Past the named sources, with and without a catalogue entry.
    EXPECT_STREQ(Explain(0x58824C00u).sourceName, "unknown");
    EXPECT_STREQ(Explain(0x58824C00u).text, "Bad Codec pin number (unset)");
    EXPECT_EQ(Explain(0x55000000u).text, nullptr);
    EXPECT_EQ(Explain(0x55000000u).errorName, nullptr);
}

TEST(ZelcodeExplain, TransportFailuresSayWhatWentWrong) {
    const std::map<ZEL_RESULT, std::string> expected = {
        {zel::kTransportCallFailed, "call failed, standard framing"},
        {zel::kTransportEmptyResponse, "empty reply, standard framing"},
        {zel::kTransportCallFailedCompact, "call failed, compact framing"},
        {zel::kTransportEmptyResponseCompact, "empty reply, compact framing"},
    };
    for (const ZEL_RESULT code : zel::kTransportFailures) {
        const auto e = Explain(U(code));
        ASSERT_NE(e.transport, nullptr) << U(code);
        EXPECT_EQ(e.transport, expected.at(code));
        EXPECT_EQ(e.text, nullptr);
        EXPECT_NE(zel::code::FormatText(e).find("; no catalogue text"), std::string::npos);
    }
    // Only the transport's own results: not the same place without severity.
    EXPECT_EQ(Explain(U(zel::kTransportCallFailed) & 0x7FFFFFFFu).transport, nullptr);
    EXPECT_EQ(Explain(U(zel::kDrvAlreadyConnected)).transport, nullptr);
}

TEST(ZelcodeExplain, JsonEscapesTextAndWritesNullForNone) {
    auto e = Explain(U(zel::kTransportCallFailed));
    const std::string plain = zel::code::FormatJson(e, nullptr);
    EXPECT_EQ(plain.rfind("{\"code\":3271600653,\"hex\":\"0xC300AA0D\",\"kind\":\"failure\",\"severity\":1,", 0), 0u)
        << plain;
    EXPECT_NE(plain.find("\"error_name\":\"ZEL_E_CALL_FAIL\""), std::string::npos);
    EXPECT_NE(plain.find("\"text\":null"), std::string::npos);
    EXPECT_EQ(plain.find("line_number"), std::string::npos);

    e.text = "say \"hi\" \\ \n\x01";
    const zel::code::LogPosition position{7, 3};
    const std::string placed = zel::code::FormatJson(e, &position);
    EXPECT_NE(placed.find(R"("text":"say \"hi\" \\ \u000A\u0001")"), std::string::npos) << placed;
    EXPECT_EQ(placed.substr(placed.size() - 28), ",\"line_number\":7,\"column\":3}");
}

TEST(ZelcodeCatalogue, EveryEntryOnceWithTheResultRaisedForIt) {
    const auto items = zel::code::CatalogueItems();
    const auto catalogue = zel::Catalogue();
    ASSERT_EQ(items.size(), catalogue.size());
    std::size_t unraised = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(items[i].code);
        const zel::CatalogueEntry *entry = zel::CatalogueFind(static_cast<ZEL_RESULT>(items[i].code));
        EXPECT_EQ(entry, &catalogue[i]);
        EXPECT_STREQ(items[i].sourceName, ZelSourceIdName(catalogue[i].source));
        unraised += items[i].code == catalogue[i].key ? 1 : 0;
    }
    // Only the data rows, texts that nothing here raises, go without a result.
    std::ifstream data(ZEL_TEST_SOURCE_DIR "/src/result/catalogue_data.inc");
    std::size_t rows = 0;
    for (std::string line; std::getline(data, line);) rows += line.rfind('{', 0) == 0 ? 1 : 0;
    EXPECT_EQ(unraised, rows);
    EXPECT_EQ(zel::code::FormatCatalogueText(items[0]),
              "0x00010E00: source 0 ZEL_SRC_SOURCE_ID_NONE; line 270; \"User buffer is too small\"");
}

TEST(ZelcodeCatalogue, SearchIgnoresCase) {
    EXPECT_TRUE(zel::code::ContainsIgnoringCase("ZelDrvReleaseLib: ZelDrv is not connected", "NOT Connected"));
    EXPECT_FALSE(zel::code::ContainsIgnoringCase("not connected", "not  connected"));
    EXPECT_FALSE(zel::code::ContainsIgnoringCase("conn", "connected"));
}

TEST(ZelcodeArguments, OneToEightHexDigitsWithOptionalPrefix) {
    const std::map<std::string, std::uint32_t> good = {
        {"0", 0},
        {"c300aa0d", 0xC300AA0Du},
        {"0xC300AA0D", 0xC300AA0Du},
        {"0XB500d50b", 0xB500D50Bu},
        {"FFFFFFFF", 0xFFFFFFFFu},
        {"0x00000001", 1},
    };
    for (const auto &[text, value] : good) EXPECT_EQ(zel::code::ParseCodeArgument(text), value) << text;
    for (const char *text :
         {"", "0x", "x1", "123456789", "0x123456789", "0x1g", " 1", "1 ", "-1", "0x-1", "+1", "0x0x1"}) {
        EXPECT_FALSE(zel::code::ParseCodeArgument(text).has_value()) << "'" << text << "'";
    }
}

struct ScanCase {
    const char *line;
    bool loose;
    std::vector<std::pair<std::size_t, std::uint32_t>> codes;  // offset, value
};

TEST(ZelcodeScan, TakesWholeWordsOnly) {
    const ScanCase cases[] = {
        {"0xC300AA0D", false, {{0, 0xC300AA0Du}}},
        {"rc=0xc300aa0d, then 0X3 and 0x00000002.", false, {{3, 0xC300AA0Du}, {20, 3}, {28, 2}}},
        {"(0x1)[0x2];0x3", false, {{1, 1}, {6, 2}, {11, 3}}},
        {"id0xB500D50B 0xB500D50Bh 0x1_2 0x123456789 0x -0x1 x0x1", false, {}},
        {"2026-01-15 10:20:30.123 1768472431", false, {}},
        {"c300aa0d", false, {}},
        // Loose: bare eight-digit words too, but no dates and no joined numbers.
        {"c300aa0d B500D50B 55000000", true, {{0, 0xC300AA0Du}, {9, 0xB500D50Bu}, {18, 0x55000000u}}},
        {"20260115 15012026 01152026 19991231", true, {}},
        {"12:34:56.20260115 1.2.c300aa0d c300aa0d-4f89 c300aa0d/1 2026/c300aa0d", true, {}},
        {"c300aa0d: done. c300aa0d. -c300aa0d", true, {{0, 0xC300AA0Du}, {16, 0xC300AA0Du}}},
        {"c300aa0dd 1c300aa0d c300aa0 c300aa0é", true, {}},
        {"\xC3\xA9"
         "c300aa0d",
         true,
         {}},
        // A trace or log line: the result after the arrow only, not handles, values or records.
        {"3.000000 ZelDrvSetAttributeValue nAttribId=8 (DEV_LABEL) pAttribValue=\"x -> result=0x1\" -> "
         "result=0xC300AA0D",
         false,
         {{98, 0xC300AA0Du}}},
        // Not quite a trace line: every code counts.
        {"3.00000 ZelDrvReset hDevice=0x10010005 -> result=0x1", false, {{28, 0x10010005u}, {49, 1}}},
        {"3.000000 reset hDevice=0x10010005 -> result=0x1", false, {{23, 0x10010005u}, {44, 1}}},
    };
    for (const ScanCase &c : cases) {
        SCOPED_TRACE(c.line);
        const auto found = zel::code::FindCodes(c.line, c.loose);
        std::vector<std::pair<std::size_t, std::uint32_t>> actual;
        for (const auto &code : found) actual.emplace_back(code.offset, code.value);
        EXPECT_EQ(actual, c.codes);
    }
}

// Line by line, and checked against the whole log given at once.
std::string Annotate(const std::vector<std::string> &lines, bool loose, bool json, bool summary = false) {
    zel::code::LogAnnotator annotator(loose, json, summary);
    zel::code::LogAnnotator atOnce(loose, json, summary);
    std::string out;
    std::string whole;
    for (const std::string &line : lines) {
        annotator.AddLine(line, out);
        whole += line;
    }
    annotator.Finish(out);
    std::string outAtOnce;
    atOnce.AddLines(whole, outAtOnce);
    atOnce.Finish(outAtOnce);
    EXPECT_EQ(outAtOnce, out);
    return out;
}

// The output with every annotation line taken out.
std::string StripAnnotations(const std::string &out) {
    std::string kept;
    for (std::size_t at = 0; at < out.size();) {
        std::size_t end = out.find('\n', at);
        end = end == std::string::npos ? out.size() : end + 1;
        const std::string_view line(out.data() + at, end - at);
        if (line.substr(0, zel::code::kAnnotationPrefix.size()) != zel::code::kAnnotationPrefix) kept += line;
        at = end;
    }
    return kept;
}

TEST(ZelcodeLog, AnnotationLinesFollowTheirLineEndedAsItIs) {
    const std::vector<std::string> log = {
        "start 0xB500D50B\n", "none here 2026-01-15\n", "two 0x2 0x3\r\n", "\n", "end\r\n",
    };
    std::string original;
    for (const std::string &line : log) original += line;
    const std::string out = Annotate(log, false, false);
    EXPECT_EQ(StripAnnotations(out), original);
    const std::string prefix(zel::code::kAnnotationPrefix);
    const std::string expected = log[0] + prefix + zel::code::FormatText(Explain(0xB500D50Bu)) + "\n" + log[1] +
                                 log[2] + prefix + zel::code::FormatText(Explain(2)) + "\r\n" + prefix +
                                 zel::code::FormatText(Explain(3)) + "\r\n" + log[3] + log[4];
    EXPECT_EQ(out, expected);
}

TEST(ZelcodeLog, LastLineWithoutNewline) {
    EXPECT_EQ(Annotate({"a\n", "b 0x1"}, false, false),
              "a\nb 0x1\n" + std::string(zel::code::kAnnotationPrefix) + zel::code::FormatText(Explain(1)) + "\n");
    EXPECT_EQ(Annotate({"a\n", "b"}, false, false), "a\nb");
}

TEST(ZelcodeLog, AnnotationLinesAreCopiedButNotScanned) {
    const std::string annotated = Annotate({"x 0xC300AA0D\n"}, false, false);
    EXPECT_EQ(Annotate({annotated.substr(annotated.find('\n') + 1)}, false, false),
              annotated.substr(annotated.find('\n') + 1));
}

TEST(ZelcodeLog, JsonHasPositionsAndNoLogText) {
    const std::string out = Annotate({"first line\n", "at 0x2 and c300aa0d\n", "c300aa0d\n"}, true, true);
    const zel::code::LogPosition second{2, 4};
    const zel::code::LogPosition third{2, 12};
    const zel::code::LogPosition fourth{3, 1};
    EXPECT_EQ(out, "[\n" + zel::code::FormatJson(Explain(2), &second) + ",\n" +
                       zel::code::FormatJson(Explain(0xC300AA0Du), &third) + ",\n" +
                       zel::code::FormatJson(Explain(0xC300AA0Du), &fourth) + "\n]\n");
    EXPECT_EQ(Annotate({"no codes\n"}, false, true), "[]\n");
    EXPECT_EQ(Annotate({}, false, false), "");
}

TEST(ZelcodeLog, SummaryCountsEachCodeWithItsFirstAndLastLine) {
    std::vector<std::string> log;
    for (int i = 1; i <= 31; ++i)
        log.push_back((i % 2 == 0 ? "0x2 " : "") + std::string(i % 3 == 0 ? "0xb500d50b" : "-") + "\n");
    const auto count = [&log](const char *code) {
        return std::to_string(std::count_if(
            log.begin(), log.end(), [code](const std::string &line) { return line.find(code) != std::string::npos; }));
    };
    EXPECT_EQ(Annotate(log, false, false, true), count("0x2") + "\t2\t30\t" + zel::code::FormatText(Explain(2)) + "\n" +
                                                     count("0xb5") + "\t3\t30\t" +
                                                     zel::code::FormatText(Explain(0xB500D50Bu)) + "\n");
    EXPECT_EQ(Annotate({"none\n"}, false, true, true), "[]\n");
}

}  // namespace
