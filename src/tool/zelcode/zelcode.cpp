// zelcode: explains result codes given as arguments, or annotates a log with
// the explanation of every code it holds.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <zel/zel.h>

#include "osa_internal.h"
#include "zelcode_explain.h"
#include "zelcode_scan.h"

namespace {

constexpr int kExitNotACode = 1;
constexpr int kExitUsage = 2;

constexpr const char *kUsage =
    "Usage: zelcode [--json] CODE...\n"
    "       zelcode [--json] [--loose] [-f LOG]\n"
    "Explains ZEL_RESULT codes: kind, error code, source, line and catalogue text.\n"
    "\n"
    "  CODE          a result code in hexadecimal, 1 to 8 digits, with or without 0x\n"
    "  -f, --file LOG  annotate LOG instead of standard input ('-' is standard input)\n"
    "  --loose       in a log, also take bare words of 8 hexadecimal digits\n"
    "  --json        a JSON array with one object per code instead of text\n"
    "  -h, --help    show this help and exit\n"
    "  -V, --version show the library version and exit\n"
    "\n"
    "Without a CODE the log is copied to standard output, each line that holds\n"
    "codes followed by one line per code starting with \"#zelcode: \".\n"
    "Exit status: 0 on success, 1 when an argument is not a code, 2 on a usage\n"
    "error or a log that cannot be read or written.\n";

struct Options {
    bool json = false;
    bool loose = false;
    bool help = false;
    bool version = false;
    bool summary = false;
    const char *logPath = nullptr;
    std::vector<std::string_view> codes;
};

int UsageError(const std::string &message) {
    std::fprintf(stderr, "zelcode: %s\nTry 'zelcode --help'.\n", message.c_str());
    return kExitUsage;
}

// 0 when the arguments were understood, else the exit status of a usage error.
int ParseArguments(int argc, char **argv, Options &options) {
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
    return options.codes.empty() ? AnnotateLog(options) : ExplainCodes(options);
}
