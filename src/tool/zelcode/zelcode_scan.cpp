#include "zelcode_scan.h"

#include <algorithm>
#include <cstring>

#include "zelcode_explain.h"

namespace zel::code {
namespace {

constexpr std::size_t kMaxDigits = 8;

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsAlnum(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Non-ASCII bytes count as letters: they are part of a UTF-8 word.
bool IsWordChar(char c) { return IsAlnum(c) || c == '_' || static_cast<unsigned char>(c) >= 0x80; }

bool IsNumberJoiner(char c) { return c == '.' || c == ':' || c == '-' || c == '/'; }

std::uint32_t HexValue(std::string_view digits) {
    std::uint32_t value = 0;
    for (const char c : digits) {
        const unsigned digit =
            IsDigit(c) ? static_cast<unsigned>(c - '0') : static_cast<unsigned>((c | 0x20) - 'a' + 10);
        value = (value << 4) | digit;
    }
    return value;
}

bool AllHex(std::string_view text) {
    for (const char c : text) {
        if (!IsHexDigit(c)) return false;
    }
    return !text.empty();
}

// 0x or 0X followed by 1 to 8 hexadecimal digits: the digits, else empty.
std::string_view PrefixedDigits(std::string_view word) {
    if (word.size() < 3 || word.size() > 2 + kMaxDigits || word[0] != '0' || (word[1] | 0x20) != 'x') return {};
    const std::string_view digits = word.substr(2);
    return AllHex(digits) ? digits : std::string_view{};
}

unsigned TwoDigits(std::string_view text, std::size_t at) {
    return static_cast<unsigned>(text[at] - '0') * 10 + static_cast<unsigned>(text[at + 1] - '0');
}

bool PlausibleDate(unsigned century, unsigned month, unsigned day) {
    return (century == 19 || century == 20) && month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

// Eight decimal digits that read as yyyymmdd, ddmmyyyy or mmddyyyy.
bool LooksLikeDate(std::string_view word) {
    for (const char c : word) {
        if (!IsDigit(c)) return false;
    }
    return PlausibleDate(TwoDigits(word, 0), TwoDigits(word, 4), TwoDigits(word, 6)) ||
           PlausibleDate(TwoDigits(word, 4), TwoDigits(word, 2), TwoDigits(word, 0)) ||
           PlausibleDate(TwoDigits(word, 4), TwoDigits(word, 0), TwoDigits(word, 2));
}

// The word at [begin, end) continues a number through '.', ':', '-' or '/'.
bool JoinedToNumber(std::string_view line, std::size_t begin, std::size_t end) {
    const bool before = begin >= 2 && IsNumberJoiner(line[begin - 1]) && IsAlnum(line[begin - 2]);
    const bool after = end + 1 < line.size() && IsNumberJoiner(line[end]) && IsAlnum(line[end + 1]);
    return before || after;
}

std::size_t FindByte(std::string_view text, char byte, std::size_t from) {
    if (from >= text.size()) return std::string_view::npos;
    const void *found = std::memchr(text.data() + from, byte, text.size() - from);
    return found == nullptr ? std::string_view::npos
                            : static_cast<std::size_t>(static_cast<const char *>(found) - text.data());
}

std::size_t CountLines(std::string_view text) {
    std::size_t lines = 0;
    for (std::size_t at = FindByte(text, '\n', 0); at != std::string_view::npos; at = FindByte(text, '\n', at + 1)) {
        ++lines;
    }
    return text.empty() || text.back() == '\n' ? lines : lines + 1;
}

}  // namespace

// 'x' is rarer in logs than '0' (every timestamp has some), so the search
// skips to it and looks back; each letter's next place is kept, so no byte
// is searched twice.
CandidateFinder::CandidateFinder(std::string_view text, bool loose)
    : text_(text), loose_(loose), lower_(FindByte(text, 'x', 1)), upper_(FindByte(text, 'X', 1)) {}

std::size_t CandidateFinder::Next(std::size_t from) {
    constexpr std::size_t kNone = std::string_view::npos;
    if (loose_) return from < text_.size() ? from : kNone;
    for (std::size_t at = from + 1;;) {
        if (lower_ != kNone && lower_ < at) lower_ = FindByte(text_, 'x', at);
        if (upper_ != kNone && upper_ < at) upper_ = FindByte(text_, 'X', at);
        const std::size_t x = std::min(lower_, upper_);
        if (x == kNone) return kNone;
        if (text_[x - 1] == '0') return x - 1;
        at = x + 1;
    }
}

std::optional<std::uint32_t> ParseCodeArgument(std::string_view text) {
    std::string_view digits = PrefixedDigits(text);
    if (digits.empty() && text.size() <= kMaxDigits && AllHex(text)) digits = text;
    if (digits.empty()) return std::nullopt;
    return HexValue(digits);
}

namespace {

// Whole words "0x..." only: a code's word starts at its candidate.
void FindPrefixedCodes(std::string_view line, std::vector<FoundCode> &found) {
    CandidateFinder finder(line, false);
    for (std::size_t at = finder.Next(0); at != std::string_view::npos; at = finder.Next(at)) {
        const std::size_t begin = at;
        at += 2;
        if (begin > 0 && (IsWordChar(line[begin - 1]) || line[begin - 1] == '-')) continue;
        while (at < line.size() && IsWordChar(line[at])) ++at;
        if (const std::string_view digits = PrefixedDigits(line.substr(begin, at - begin)); !digits.empty()) {
            found.push_back({begin, HexValue(digits)});
        }
    }
}

}  // namespace

namespace {

constexpr std::string_view kTraceArrow = " -> ";
constexpr std::string_view kTraceResult = "result=";

// Where the arrow between a trace line's request and its reply is: the
// first " -> " outside a quoted text (a text shown may hold one), or npos.
std::size_t TraceArrow(std::string_view line) {
    bool quoted = false;
    for (std::size_t at = 0; at < line.size(); ++at) {
        if (quoted && line[at] == '\\') {
            ++at;
        } else if (line[at] == '"') {
            quoted = !quoted;
        } else if (!quoted && line.substr(at, kTraceArrow.size()) == kTraceArrow) {
            return at;
        }
    }
    return std::string_view::npos;
}

// The line after the "| " of a control connection, its board time and its
// client: the operation on, or an empty view when the line is no trace's.
std::string_view TraceOperation(std::string_view line) {
    if (line.substr(0, 2) == "| ") line.remove_prefix(2);
    std::size_t at = 0;
    while (at < line.size() && IsDigit(line[at])) ++at;
    constexpr std::size_t kDecimals = 6;
    if (at == 0 || line.size() < at + kDecimals + 2 || line[at] != '.') return {};
    for (std::size_t k = 1; k <= kDecimals; ++k) {
        if (!IsDigit(line[at + k])) return {};
    }
    if (line[at + kDecimals + 1] != ' ') return {};
    std::string_view rest = line.substr(at + kDecimals + 2);
    if (rest.substr(0, 8) == "[client ") {
        const std::size_t close = rest.find("] ");
        if (close == std::string_view::npos) return {};
        rest.remove_prefix(close + 2);
    }
    return rest.substr(0, 3) == "Zel" || rest.substr(0, 13) == "control code " ? rest : std::string_view{};
}

}  // namespace

bool IsTraceLine(std::string_view line) {
    const std::string_view operation = TraceOperation(line);
    return !operation.empty() && TraceArrow(operation) != std::string_view::npos;
}

std::vector<FoundCode> FindCodes(std::string_view line, bool loose) {
    std::vector<FoundCode> found;
    if (IsTraceLine(line)) {
        const std::size_t arrow = TraceArrow(line);
        const std::size_t at = arrow + kTraceArrow.size() + kTraceResult.size();
        if (line.substr(arrow + kTraceArrow.size(), kTraceResult.size()) != kTraceResult) return found;
        std::size_t end = at;
        while (end < line.size() && IsWordChar(line[end])) ++end;
        if (const std::string_view digits = PrefixedDigits(line.substr(at, end - at)); !digits.empty()) {
            found.push_back({at, HexValue(digits)});
        }
        return found;
    }
    if (!loose) {
        FindPrefixedCodes(line, found);
        return found;
    }
    std::size_t at = 0;
    while (at < line.size()) {
        if (!IsWordChar(line[at])) {
            ++at;
            continue;
        }
        const std::size_t begin = at;
        while (at < line.size() && IsWordChar(line[at])) ++at;
        const std::string_view word = line.substr(begin, at - begin);
        if (begin > 0 && line[begin - 1] == '-') continue;
        if (const std::string_view digits = PrefixedDigits(word); !digits.empty()) {
            found.push_back({begin, HexValue(digits)});
        } else if (word.size() == kMaxDigits && AllHex(word) && !LooksLikeDate(word) &&
                   !JoinedToNumber(line, begin, at)) {
            found.push_back({begin, HexValue(word)});
        }
    }
    return found;
}

void AppendJsonElement(std::string &out, std::size_t &count, const std::string &object) {
    out += count == 0 ? "[\n" : ",\n";
    out += object;
    ++count;
}

void FinishJsonArray(std::string &out, std::size_t count) { out += count == 0 ? "[]\n" : "\n]\n"; }

void LogAnnotator::AddLine(std::string_view line, std::string &out) {
    ++lineNumber_;
    std::string_view content = line;
    std::string_view ending;
    if (!content.empty() && content.back() == '\n') {
        content.remove_suffix(1);
        ending = "\n";
        if (!content.empty() && content.back() == '\r') {
            content.remove_suffix(1);
            ending = "\r\n";
        }
    }
    if (!json_ && !summary_) out += line;
    if (content.substr(0, kAnnotationPrefix.size()) == kAnnotationPrefix) return;

    const std::vector<FoundCode> codes = FindCodes(content, loose_);
    if (codes.empty()) return;
    if (summary_) {
        for (const FoundCode &code : codes) Note(code.value);
        return;
    }
    if (!json_ && ending.empty()) {
        out += '\n';
        ending = "\n";
    }
    for (const FoundCode &code : codes) {
        if (json_) {
            const LogPosition position{lineNumber_, code.offset + 1};
            AppendJsonElement(out, objects_, FormatJson(Explain(code.value), &position));
        } else {
            out += kAnnotationPrefix;
            out += TextOf(code.value);
            out += ending;
        }
    }
}

const std::string &LogAnnotator::TextOf(std::uint32_t code) {
    // A log repeats a few codes many times; each is explained once.
    auto [it, added] = texts_.try_emplace(code);
    if (added) it->second = FormatText(Explain(code));
    return it->second;
}

void LogAnnotator::Skip(std::string_view lines, std::string &out) {
    if (!json_ && !summary_) out += lines;
    // Only positions need the count; plain annotation goes without it.
    if (json_ || summary_) lineNumber_ += CountLines(lines);
}

void LogAnnotator::AddLines(std::string_view text, std::string &out) {
    CandidateFinder finder(text, loose_);
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t candidate = finder.Next(at);
        if (candidate == std::string_view::npos) {
            Skip(text.substr(at), out);
            return;
        }
        std::size_t lineStart = candidate;
        while (lineStart > at && text[lineStart - 1] != '\n') --lineStart;
        Skip(text.substr(at, lineStart - at), out);
        const std::size_t newline = FindByte(text, '\n', candidate);
        const std::size_t lineEnd = newline == std::string_view::npos ? text.size() : newline + 1;
        AddLine(text.substr(lineStart, lineEnd - lineStart), out);
        at = lineEnd;
    }
}

void LogAnnotator::Note(std::uint32_t code) {
    const auto [it, added] = seen_.try_emplace(code, Seen{0, lineNumber_, lineNumber_});
    ++it->second.count;
    it->second.lastLine = lineNumber_;
}

void LogAnnotator::Finish(std::string &out) {
    if (summary_) {
        std::vector<std::pair<std::uint32_t, Seen>> codes(seen_.begin(), seen_.end());
        std::stable_sort(codes.begin(), codes.end(), [](const auto &a, const auto &b) {
            return a.second.count != b.second.count ? a.second.count > b.second.count
                                                    : a.second.firstLine < b.second.firstLine;
        });
        for (const auto &[code, seen] : codes) {
            const Explanation explanation = Explain(code);
            if (json_) {
                std::string object = FormatJson(explanation, nullptr);
                object.pop_back();
                object += ",\"count\":" + std::to_string(seen.count) +
                          ",\"first_line\":" + std::to_string(seen.firstLine) +
                          ",\"last_line\":" + std::to_string(seen.lastLine) + "}";
                AppendJsonElement(out, objects_, object);
            } else {
                // Tab-separated, so cut and sort take the fields apart.
                out += std::to_string(seen.count) + '\t' + std::to_string(seen.firstLine) + '\t' +
                       std::to_string(seen.lastLine) + '\t';
                out += FormatText(explanation);
                out += '\n';
            }
        }
    }
    if (json_) FinishJsonArray(out, objects_);
}

}  // namespace zel::code
