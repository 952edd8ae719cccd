// zelcode's scanner on fuzzed logs. Oracle: a plain scanner that tries every
// position of a line in turn finds the same codes at the same offsets (in a
// trace line, the one after its arrow's "result=" only), and
// the annotator given the whole log at once (the fast path that skips to
// candidates) writes what it writes given the log line by line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "zelcode_scan.h"

namespace {

using Found = std::vector<std::pair<std::size_t, std::uint32_t>>;

bool Digit(char c) { return c >= '0' && c <= '9'; }
bool Alnum(char c) { return Digit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }
bool Word(char c) { return Alnum(c) || c == '_' || static_cast<unsigned char>(c) >= 0x80; }
bool Joiner(char c) { return c == '.' || c == ':' || c == '-' || c == '/'; }

std::uint32_t Value(std::string_view digits) {
    return static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16));
}

bool AllHex(std::string_view text) {
    return text.find_first_not_of("0123456789abcdefABCDEF") == std::string_view::npos;
}

bool Date(std::string_view w) {
    for (const char c : w) {
        if (!Digit(c)) return false;
    }
    const auto two = [&w](std::size_t at) { return (w[at] - '0') * 10 + (w[at + 1] - '0'); };
    const auto plausible = [](int century, int month, int day) {
        return (century == 19 || century == 20) && month >= 1 && month <= 12 && day >= 1 && day <= 31;
    };
    return plausible(two(0), two(4), two(6)) || plausible(two(4), two(2), two(0)) || plausible(two(4), two(0), two(2));
}

Found Reference(std::string_view line, bool loose) {
    Found found;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (!Word(line[i]) || (i > 0 && (Word(line[i - 1]) || line[i - 1] == '-'))) continue;
        std::size_t end = i;
        while (end < line.size() && Word(line[end])) ++end;
        const std::string_view word = line.substr(i, end - i);
        const bool prefixed = word.size() >= 3 && word.size() <= 10 && word[0] == '0' && (word[1] | 0x20) == 'x';
        const bool joined = (i >= 2 && Joiner(line[i - 1]) && Alnum(line[i - 2])) ||
                            (end + 1 < line.size() && Joiner(line[end]) && Alnum(line[end + 1]));
        if (prefixed && AllHex(word.substr(2))) {
            found.emplace_back(i, Value(word.substr(2)));
        } else if (loose && word.size() == 8 && AllHex(word) && !Date(word) && !joined) {
            found.emplace_back(i, Value(word));
        }
    }
    return found;
}

// In a line of the board's trace only the code right after the first
// " -> result=" outside quotes counts.
Found TraceReference(std::string_view line) {
    std::size_t arrow = std::string_view::npos;
    bool quoted = false;
    for (std::size_t i = 0; i < line.size() && arrow == std::string_view::npos; ++i) {
        if (quoted && line[i] == '\\') {
            ++i;
        } else if (line[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && line.substr(i, 4) == " -> ") {
            arrow = i;
        }
    }
    Found found;
    if (arrow == std::string_view::npos || line.substr(arrow + 4, 7) != "result=") return found;
    for (const auto &code : Reference(line, false)) {
        if (code.first == arrow + 11) found.push_back(code);
    }
    return found;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0) return 0;
    const bool loose = (data[0] & 1) != 0;
    const bool json = (data[0] & 2) != 0;
    const std::string_view log(reinterpret_cast<const char *>(data) + 1, size - 1);

    zel::code::LogAnnotator byLine(loose, json);
    std::string expected;
    std::size_t split = 0;  // a line boundary where the whole log is cut in two
    for (std::size_t at = 0; at < log.size();) {
        const std::size_t newline = log.find('\n', at);
        const std::size_t end = newline == std::string_view::npos ? log.size() : newline + 1;
        std::string_view line = log.substr(at, end - at);
        byLine.AddLine(line, expected);
        if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        Found actual;
        for (const auto &code : zel::code::FindCodes(line, loose)) actual.emplace_back(code.offset, code.value);
        if (actual != (zel::code::IsTraceLine(line) ? TraceReference(line) : Reference(line, loose))) std::abort();
        if ((data[0] >> 2) == (at & 0x3F)) split = end;
        at = end;
    }
    byLine.Finish(expected);

    zel::code::LogAnnotator atOnce(loose, json);
    std::string out;
    atOnce.AddLines(log.substr(0, split), out);
    atOnce.AddLines(log.substr(split), out);
    atOnce.Finish(out);
    if (out != expected) std::abort();
    return 0;
}
