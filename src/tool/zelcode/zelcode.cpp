// zelcode: explains result codes given as arguments, or annotates a log with
// the explanation of every code it holds.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <zel/zel.h>
#include <zel/zelnames.h>

#include "osa_internal.h"
#include "zelcode_explain.h"
#include "zelcode_scan.h"

namespace {

constexpr int kExitNotACode = 1;
constexpr int kExitUsage = 2;

constexpr const char *kUsage =
    "Usage: zelcode [--json] CODE...\n"
    "       zelcode [--json] [--loose] [--summary] [-f LOG]\n"
    "       zelcode [--json] --list [--source SOURCE]\n"
    "       zelcode [--json] --search TEXT [--source SOURCE]\n"
    "Explains ZEL_RESULT codes: kind, error code, source, line and catalogue text.\n"
    "\n"
    "  CODE          a result code in hexadecimal, 1 to 8 digits, with or without 0x\n"
    "  -f, --file LOG  annotate LOG instead of standard input ('-' is standard input)\n"
    "  --loose       in a log, also take bare words of 8 hexadecimal digits\n"
    "  --summary     instead of the log, one line per distinct code, most frequent\n"
    "                first: count, first line, last line, explanation (tab-separated)\n"
    "  --list        every catalogue entry: the code raised, source, line and text\n"
    "  --search TEXT the catalogue entries whose text holds TEXT, case ignored\n"
    "  --source SOURCE  with --list or --search, only this source (number or name)\n"
    "  --json        a JSON array with one object per code instead of text\n"
    "  -h, --help    show this help and exit\n"
    "  -V, --version show the library version and exit\n"
    "\n"
    "Without a CODE the log is copied to standard output, each line that holds\n"
    "codes followed by one line per code starting with \"#zelcode: \". In a line of\n"
    "the board's trace or request log only the result after \"-> result=\" counts.\n"
    "Exit status: 0 on success, 1 when an argument is not a code or --search finds\n"
    "nothing, 2 on a usage error or a log that cannot be read or written.\n";

struct Options {
    bool json = false;
    bool loose = false;
    bool help = false;
    bool version = false;
    bool summary = false;
    bool list = false;
    const char *logPath = nullptr;
    const char *search = nullptr;
    const char *source = nullptr;
    std::vector<std::string_view> codes;
};

int UsageError(const std::string &message) {
    std::fprintf(stderr, "zelcode: %s\nTry 'zelcode --help'.\n", message.c_str());
    return kExitUsage;
}

// Whether argv[i] is the option name, given as "NAME VALUE" or "NAME=VALUE";
// value is then the value, or nullptr when it is missing.
bool ValueOption(std::string_view name, int argc, char **argv, int &i, const char *&value) {
    const std::string_view arg = argv[i];
    if (arg.substr(0, name.size()) != name) return false;
    if (arg.size() == name.size()) {
        value = i + 1 < argc ? argv[++i] : nullptr;
        return true;
    }
    if (arg[name.size()] != '=') return false;
    value = argv[i] + name.size() + 1;
    return true;
}

// 0 when the arguments were understood, else the exit status of a usage error.
int ParseArguments(int argc, char **argv, Options &options) {
    const char *value = nullptr;
    bool onlyCodes = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (onlyCodes || arg.size() < 2 || arg[0] != '-') {
            options.codes.push_back(arg);
        } else if (arg == "--") {
            onlyCodes = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--loose") {
            options.loose = true;
        } else if (arg == "--summary") {
            options.summary = true;
        } else if (arg == "--list") {
            options.list = true;
        } else if (ValueOption("--search", argc, argv, i, value) || ValueOption("--source", argc, argv, i, value)) {
            if (value == nullptr) return UsageError(std::string("option '") + argv[i] + "' needs a value");
            (arg.substr(0, 8) == "--search" ? options.search : options.source) = value;
        } else if (arg == "-h" || arg == "--help") {
            options.help = true;
        } else if (arg == "-V" || arg == "--version") {
            options.version = true;
        } else if (arg == "-f" || arg == "--file" || arg.substr(0, 7) == "--file=") {
            if (options.logPath != nullptr) return UsageError("only one log at a time");
            const bool attached = arg.size() >= 7;
            if (attached ? arg.size() == 7 : i + 1 >= argc) {
                return UsageError(std::string("option '") + argv[i] + "' needs a file name");
            }
            options.logPath = attached ? argv[i] + 7 : argv[++i];
        } else {
            return UsageError(std::string("unknown option '") + argv[i] + "'");
        }
    }
    if (options.help || options.version) return 0;
    if (!options.codes.empty() && options.logPath != nullptr) return UsageError("give codes or a log, not both");
    if (!options.codes.empty() && options.loose) return UsageError("--loose applies to a log, not to codes");
    if (!options.codes.empty() && options.summary) return UsageError("--summary applies to a log, not to codes");
    const bool catalogue = options.list || options.search != nullptr;
    if (options.list && options.search != nullptr) return UsageError("give --list or --search, not both");
    if (catalogue && (!options.codes.empty() || options.logPath != nullptr || options.loose || options.summary)) {
        return UsageError("--list and --search read the catalogue, not codes or a log");
    }
    if (options.source != nullptr && !catalogue) return UsageError("--source applies to --list and --search");
    return 0;
}

// Writes everything or reports that standard output failed.
bool Write(const std::string &text) {
    return text.empty() || std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
}

int WriteError() {
    std::fprintf(stderr, "zelcode: cannot write standard output: %s\n", std::strerror(errno));
    return kExitUsage;
}

int ExplainCodes(const Options &options) {
    int status = 0;
    std::string out;
    std::size_t objects = 0;
    for (const std::string_view arg : options.codes) {
        const auto code = zel::code::ParseCodeArgument(arg);
        if (!code) {
            // Keep the explanations in step with the messages around them.
            if (!Write(out) || std::fflush(stdout) != 0) return WriteError();
            out.clear();
            std::fprintf(stderr, "zelcode: not a result code: '%.*s' (1 to 8 hexadecimal digits, 0x optional)\n",
                         static_cast<int>(arg.size()), arg.data());
            status = kExitNotACode;
            continue;
        }
        const zel::code::Explanation explanation = zel::code::Explain(*code);
        if (options.json) {
            zel::code::AppendJsonElement(out, objects, zel::code::FormatJson(explanation, nullptr));
        } else {
            out += zel::code::FormatText(explanation);
            out += '\n';
        }
    }
    if (options.json) zel::code::FinishJsonArray(out, objects);
    if (!Write(out) || std::fflush(stdout) != 0) return WriteError();
    return status;
}

// The source an argument names, by number or name; nullopt when none.
std::optional<std::uint32_t> SourceArgument(std::string_view text) {
    std::uint32_t id = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (error == std::errc() && end == text.data() + text.size() && id <= 0xFFu) return id;
    for (id = 0; id <= 0xFFu; ++id) {
        if (text == ZelSourceIdName(id) && text != "unknown") return id;
    }
    return std::nullopt;
}

int ListCatalogue(const Options &options) {
    std::optional<std::uint32_t> source;
    if (options.source != nullptr) {
        source = SourceArgument(options.source);
        if (!source) return UsageError(std::string("not a source: '") + options.source + "' (0 to 255 or a name)");
    }
    std::string out;
    std::size_t found = 0;
    for (const zel::code::CatalogueItem &item : zel::code::CatalogueItems()) {
        if (source && item.sourceId != *source) continue;
        if (options.search != nullptr && !zel::code::ContainsIgnoringCase(item.text, options.search)) continue;
        if (options.json) {
            zel::code::AppendJsonElement(out, found, zel::code::FormatCatalogueJson(item));
        } else {
            out += zel::code::FormatCatalogueText(item);
            out += '\n';
            ++found;
        }
    }
    if (options.json) zel::code::FinishJsonArray(out, found);
    if (!Write(out) || std::fflush(stdout) != 0) return WriteError();
    return found == 0 && options.search != nullptr ? kExitNotACode : 0;
}

// Large blocks: the log is copied in pieces of this size or more, and the
// output written when it reaches it.
constexpr std::size_t kBlockSize = std::size_t{1} << 20;

// A file read in large blocks, each cut after its last newline; the rest of
// a block starts the next one.
bool AnnotateFile(std::FILE *in, zel::code::LogAnnotator &annotator, bool &written) {
    std::vector<char> buffer(kBlockSize);
    std::size_t kept = 0;
    std::string out;
    out.reserve(2 * kBlockSize);
    for (;;) {
        if (kept == buffer.size()) buffer.resize(buffer.size() * 2);  // a line longer than a block
        const std::size_t read = std::fread(buffer.data() + kept, 1, buffer.size() - kept, in);
        const std::size_t filled = kept + read;
        const bool end = read == 0;
        std::size_t whole = filled;
        if (!end) {
            while (whole > 0 && buffer[whole - 1] != '\n') --whole;
        }
        annotator.AddLines(std::string_view(buffer.data(), whole), out);
        kept = filled - whole;
        std::memmove(buffer.data(), buffer.data() + whole, kept);
        if (out.size() >= kBlockSize || end) {
            written = written && Write(out);
            out.clear();
        }
        if (end) return std::ferror(in) == 0;
    }
}

// Standard input line by line, each written at once, so a log followed as
// it grows shows at once.
bool AnnotateStdin(zel::code::LogAnnotator &annotator, bool &written) {
    std::string line;
    std::string out;
    for (int c = std::getc(stdin);; c = std::getc(stdin)) {
        if (c != EOF) line += static_cast<char>(c);
        if ((c == '\n' || c == EOF) && !line.empty()) {
            annotator.AddLines(line, out);
            line.clear();
            written = written && Write(out) && std::fflush(stdout) == 0;
            out.clear();
        }
        if (c == EOF) break;
    }
    return std::ferror(stdin) == 0;
}

int AnnotateLog(const Options &options) {
    const bool fromFile = options.logPath != nullptr && std::strcmp(options.logPath, "-") != 0;
    zel::code::LogAnnotator annotator(options.loose, options.json, options.summary);
    bool written = true;
    bool readOk = true;
    if (fromFile) {
        std::FILE *in = std::fopen(options.logPath, "rb");
        if (in == nullptr) {
            std::fprintf(stderr, "zelcode: cannot open '%s': %s\n", options.logPath, std::strerror(errno));
            return kExitUsage;
        }
        readOk = AnnotateFile(in, annotator, written);
        std::fclose(in);
    } else {
        zel::osa::UseBinaryStdin();
        readOk = AnnotateStdin(annotator, written);
    }
    std::string out;
    annotator.Finish(out);
    written = written && Write(out) && std::fflush(stdout) == 0;
    if (!readOk) {
        std::fprintf(stderr, "zelcode: cannot read the log\n");
        return kExitUsage;
    }
    return written ? 0 : WriteError();
}

}  // namespace

ZEL_HIDDEN int main(int argc, char **argv) {
    zel::osa::UseBinaryStdout();
    Options options;
    if (const int status = ParseArguments(argc, argv, options); status != 0) return status;
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::puts(ZEL_DRV_REV_STR);
        return 0;
    }
    if (options.list || options.search != nullptr) return ListCatalogue(options);
    return options.codes.empty() ? AnnotateLog(options) : ExplainCodes(options);
}
