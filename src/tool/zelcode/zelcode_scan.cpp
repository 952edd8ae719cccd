#include "zelcode_scan.h"

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

}  // namespace

std::optional<std::uint32_t> ParseCodeArgument(std::string_view text) {
    std::string_view digits = PrefixedDigits(text);
    if (digits.empty() && text.size() <= kMaxDigits && AllHex(text)) digits = text;
    if (digits.empty()) return std::nullopt;
    return HexValue(digits);
}

std::vector<FoundCode> FindCodes(std::string_view line, bool loose) {
    std::vector<FoundCode> found;
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
        } else if (loose && word.size() == kMaxDigits && AllHex(word) && !LooksLikeDate(word) &&
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
    if (!json_) out += line;
    if (content.substr(0, kAnnotationPrefix.size()) == kAnnotationPrefix) return;

    const std::vector<FoundCode> codes = FindCodes(content, loose_);
    if (codes.empty()) return;
    if (!json_ && ending.empty()) {
        out += '\n';
        ending = "\n";
    }
    for (const FoundCode &code : codes) {
        const Explanation explanation = Explain(code.value);
        if (json_) {
            const LogPosition position{lineNumber_, code.offset + 1};
            AppendJsonElement(out, objects_, FormatJson(explanation, &position));
        } else {
            out += kAnnotationPrefix;
            out += FormatText(explanation);
            out += ending;
        }
    }
}

void LogAnnotator::Finish(std::string &out) {
    if (json_) FinishJsonArray(out, objects_);
}

}  // namespace zel::code
