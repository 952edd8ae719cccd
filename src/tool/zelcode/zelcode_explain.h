// zelcode: what a result code is made of and what it means, as one text line
// or one JSON object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zel::code {

enum class Kind { kFailure, kSuccess, kInformational };

struct Explanation {
    std::uint32_t code = 0;
    Kind kind = Kind::kSuccess;
    std::uint32_t severity = 0;
    std::uint32_t errorCode = 0;         // the low byte, without the severity bit
    const char *errorName = nullptr;     // nullptr unless a common code
    const char *errorMeaning = nullptr;  // nullptr unless a common code
    std::uint32_t sourceId = 0;
    const char *sourceName = "";
    std::uint32_t line = 0;
    const char *text = nullptr;       // the catalogue's text, nullptr when it has none
    const char *transport = nullptr;  // what a transport failure means, else nullptr
};

// Where a code was found in a log: 1-based line and byte column.
struct LogPosition {
    std::size_t lineNumber;
    std::size_t column;
};

Explanation Explain(std::uint32_t nCode);

const char *KindName(Kind kind);

// One line, no newline: "0xB500D50B: failure; code 0x0B ZEL_E_INVALID_HANDLE
// (invalid handle); source 106 ZEL_SRC_LIB_ZELDRV_C; line 213; "...text..."".
std::string FormatText(const Explanation &explanation);

// One JSON object, no newline; position adds line_number and column.
std::string FormatJson(const Explanation &explanation, const LogPosition *position);

// One entry of the catalogue, with the result the library or the simulated
// driver raises for it; a text that nothing here raises gets the entry's key
// (severity and error code clear).
struct CatalogueItem {
    std::uint32_t code;
    std::uint32_t sourceId;
    const char *sourceName;
    std::uint32_t line;
    const char *text;
};

// Every entry of the catalogue, in its order (by source, then line).
std::vector<CatalogueItem> CatalogueItems();

// "0x3500F916: source 106 ZEL_SRC_LIB_ZELDRV_C; line 249; "...text..."".
std::string FormatCatalogueText(const CatalogueItem &item);
// {"code":..,"hex":..,"source_id":..,"source_name":..,"line":..,"text":..}
std::string FormatCatalogueJson(const CatalogueItem &item);

// Whether text holds part, ASCII letters compared without case.
bool ContainsIgnoringCase(std::string_view text, std::string_view part);

}  // namespace zel::code
