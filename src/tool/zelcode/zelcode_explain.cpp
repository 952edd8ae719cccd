#include "zelcode_explain.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <span>

#include <zel/zel.h>
#include <zel/zelnames.h>

#include "catalogue.h"
#include "common_codes.h"
#include "connection.h"

namespace zel::code {
namespace {

struct TransportMeaning {
    ZEL_RESULT code;
    const char *meaning;
};

constexpr TransportMeaning kTransportMeanings[] = {
    {kTransportCallFailed, "call failed, standard framing"},
    {kTransportEmptyResponse, "empty reply, standard framing"},
    {kTransportCallFailedCompact, "call failed, compact framing"},
    {kTransportEmptyResponseCompact, "empty reply, compact framing"},
};
static_assert(std::size(kTransportMeanings) == kTransportFailures.size(), "every transport failure has a meaning");

const char *TransportMeaningOf(std::uint32_t nCode) {
    for (const TransportMeaning &entry : kTransportMeanings) {
        if (static_cast<std::uint32_t>(entry.code) == nCode) return entry.meaning;
    }
    return nullptr;
}

std::string Hex(std::uint32_t value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "0x%0*X", digits, static_cast<unsigned>(value));
    return buffer;
}

void AppendJsonString(std::string &out, const char *text) {
    if (text == nullptr) {
        out += "null";
        return;
    }
    out += '"';
    for (const char *p = text; *p != '\0'; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            // The tables are ASCII; anything else is escaped rather than
            // passed on as bytes that need not be UTF-8.
            char escape[8];
            std::snprintf(escape, sizeof(escape), "\\u%04X", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

void AppendJsonField(std::string &out, const char *key, const char *text) {
    out += ",\"";
    out += key;
    out += "\":";
    AppendJsonString(out, text);
}

void AppendJsonField(std::string &out, const char *key, std::uint64_t value) {
    out += ",\"";
    out += key;
    out += "\":";
    out += std::to_string(value);
}

}  // namespace

Explanation Explain(std::uint32_t nCode) {
    const auto result = static_cast<ZEL_RESULT>(nCode);
    Explanation e;
    e.code = nCode;
    e.severity = ZelResultSeverity(result);
    e.errorCode = ZelResultErrorCode(result);
    e.sourceId = ZelResultSourceId(result);
    e.line = ZelResultLineNum(result);
    e.sourceName = ZelSourceIdName(e.sourceId);
    e.errorName = ZelErrorCodeName(e.errorCode);
    if (const CommonCode *common = FindCommonCode(e.errorCode)) e.errorMeaning = common->meaning;
    if (const CatalogueEntry *entry = CatalogueFind(result)) e.text = entry->text;
    e.transport = TransportMeaningOf(nCode);
    // A non-failure with an error code tells something: the bare wait and
    // lookup results, or a condition that is not an error (not connected).
    if (e.severity != 0) {
        e.kind = Kind::kFailure;
    } else if (e.errorCode != 0) {
        e.kind = Kind::kInformational;
    } else {
        e.kind = Kind::kSuccess;
    }
    return e;
}

const char *KindName(Kind kind) {
    switch (kind) {
        case Kind::kFailure:
            return "failure";
        case Kind::kInformational:
            return "informational";
        case Kind::kSuccess:
            break;
    }
    return "success";
}

std::string FormatText(const Explanation &e) {
    std::string out = Hex(e.code, 8) + ": " + KindName(e.kind);
    const bool informational = e.kind == Kind::kInformational;
    if (informational && e.errorMeaning != nullptr) out += std::string(", ") + e.errorMeaning;
    out += "; code " + Hex(e.errorCode, 2);
    if (e.errorName != nullptr) {
        out += std::string(" ") + e.errorName;
        if (!informational) out += std::string(" (") + e.errorMeaning + ")";
    }
    out += "; source " + std::to_string(e.sourceId) + " " + e.sourceName;
    out += "; line " + std::to_string(e.line);
    if (e.transport != nullptr) out += std::string("; transport: ") + e.transport;
    if (e.text != nullptr) {
        out += std::string("; \"") + e.text + "\"";
    } else {
        out += "; no catalogue text";
    }
    return out;
}

std::string FormatJson(const Explanation &e, const LogPosition *position) {
    std::string out = "{\"code\":" + std::to_string(e.code);
    AppendJsonField(out, "hex", Hex(e.code, 8).c_str());
    AppendJsonField(out, "kind", KindName(e.kind));
    AppendJsonField(out, "severity", e.severity);
    AppendJsonField(out, "error_code", e.errorCode);
    AppendJsonField(out, "error_name", e.errorName);
    AppendJsonField(out, "source_id", e.sourceId);
    AppendJsonField(out, "source_name", e.sourceName);
    AppendJsonField(out, "line", e.line);
    AppendJsonField(out, "text", e.text);
    AppendJsonField(out, "transport", e.transport);
    if (position != nullptr) {
        AppendJsonField(out, "line_number", position->lineNumber);
        AppendJsonField(out, "column", position->column);
    }
    out += '}';
    return out;
}

std::vector<CatalogueItem> CatalogueItems() {
    std::vector<CatalogueItem> items;
    for (const CatalogueEntry &entry : Catalogue()) {
        items.push_back({entry.raised, entry.source, ZelSourceIdName(entry.source), entry.line, entry.text});
    }
    return items;
}

std::string FormatCatalogueText(const CatalogueItem &item) {
    return Hex(item.code, 8) + ": source " + std::to_string(item.sourceId) + " " + item.sourceName + "; line " +
           std::to_string(item.line) + "; \"" + item.text + "\"";
}

std::string FormatCatalogueJson(const CatalogueItem &item) {
    std::string out = "{\"code\":" + std::to_string(item.code);
    AppendJsonField(out, "hex", Hex(item.code, 8).c_str());
    AppendJsonField(out, "source_id", item.sourceId);
    AppendJsonField(out, "source_name", item.sourceName);
    AppendJsonField(out, "line", item.line);
    AppendJsonField(out, "text", item.text);
    out += '}';
    return out;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       [&lower](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

}  // namespace zel::code
