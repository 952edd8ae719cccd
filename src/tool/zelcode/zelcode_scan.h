// zelcode: finding result codes in text, and annotating a log with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zel::code {

// A code given on the command line: 1 to 8 hexadecimal digits, with or
// without a 0x prefix, and nothing else.
std::optional<std::uint32_t> ParseCodeArgument(std::string_view text);

struct FoundCode {
    std::size_t offset;  // of the code's first character in the line
    std::uint32_t value;
};

// The codes in one line (without its terminator), in order. A code is a
// whole word: 0x followed by 1 to 8 hexadecimal digits, or with loose also a
// bare word of exactly 8 hexadecimal digits that is not a date (yyyymmdd,
// ddmmyyyy, mmddyyyy) and not joined to a neighbouring number by '.', ':',
// '-' or '/' (times, decimals, versions, addresses, UUIDs). A word is a run
// of letters, digits, '_' and non-ASCII bytes; a code right after '-' is a
// negative number and is not taken.
std::vector<FoundCode> FindCodes(std::string_view line, bool loose);

// Whether the line is one of the board's trace or request log, with or
// without the control protocol's "| " before it: board time (seconds, six
// decimals), optionally "[client N]", then an operation ("Zel...") or
// "control code", and " -> " outside any quoted text. In such a line the
// only result code is the word after that arrow's "result="; handles,
// parameter values and records are not results, and FindCodes takes it
// alone, loose or not.
bool IsTraceLine(std::string_view line);

// Every line that starts with this is an annotation; such lines are copied
// but never scanned, so an annotated log can be fed through again.
inline constexpr std::string_view kAnnotationPrefix = "#zelcode: ";

// Finds where a code could start in a text: a "0x" or "0X", or with loose
// any place, since any hexadecimal word may be one. Every code FindCodes
// takes in the text's lines starts at such a place.
class CandidateFinder {
public:
    CandidateFinder(std::string_view text, bool loose);
    // The first candidate at or after from, or npos; from never decreases
    // from one call to the next.
    std::size_t Next(std::size_t from);

private:
    std::string_view text_;
    bool loose_;
    // The next 'x' and 'X' from where the last search began, or npos.
    std::size_t lower_;
    std::size_t upper_;
};

// Annotates a log line by line. In text mode each line is copied unchanged
// and followed by one annotation line per code it holds, ended as the line
// itself is ("\n" or "\r\n"; "\n" after a last line without one, which then
// gets a "\n" first). In JSON mode nothing of the log is copied: the output
// is one JSON array with an object per code. In summary mode nothing is
// written until Finish, which writes one line (or JSON object) per distinct
// code, the most frequent first: count, first and last line, explanation.
class LogAnnotator {
public:
    LogAnnotator(bool loose, bool json, bool summary = false) : loose_(loose), json_(json), summary_(summary) {}

    // line: one line of the log with its terminator, if it has one.
    void AddLine(std::string_view line, std::string &out);
    // text: whole lines of the log, each with its '\n' (the log's last line
    // may lack one). The same output as AddLine line by line, but a run of
    // lines without a candidate is copied in one piece.
    void AddLines(std::string_view text, std::string &out);
    // Ends the output (the JSON array's closing bracket, the summary).
    void Finish(std::string &out);

private:
    struct Seen {
        std::size_t count;
        std::size_t firstLine;
        std::size_t lastLine;
    };

    // Copies lines that hold no code and counts them.
    void Skip(std::string_view lines, std::string &out);
    void Note(std::uint32_t code);
    const std::string &TextOf(std::uint32_t code);

    bool loose_;
    bool json_;
    bool summary_;
    std::size_t lineNumber_ = 0;
    std::size_t objects_ = 0;
    std::map<std::uint32_t, Seen> seen_;
    std::unordered_map<std::uint32_t, std::string> texts_;
};

// Appends one object to a JSON array written one element per line.
void AppendJsonElement(std::string &out, std::size_t &count, const std::string &object);
// Closes such an array ("[]" when it had no element).
void FinishJsonArray(std::string &out, std::size_t count);

}  // namespace zel::code
