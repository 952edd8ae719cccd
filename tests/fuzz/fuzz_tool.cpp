// The decoder tool's whole run on fuzzed standard input. Oracle: the output
// is the fixed dialogue with the number that %x reads from the same input,
// split and named as the tool's description says.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <zel/zel.h>
#include "result.h"

// The tool's main, built into this target under another name.
int ZelResultToolMain();

namespace {

constexpr std::string_view kDialogue =
    "\n\nWARNING! sZelSourceIdEneeds updating from ZelSourceIdE!\n\nEnter the ZEL_RESULT hexadecimalnumber: ";

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%#lX", static_cast<unsigned long>(value));
    return text;
}

// The dialogue for a number, from the documented formats.
std::string Expected(std::uint32_t number) {
    ZEL_UINT32 code = 0, severity = 0, source = 0, line = 0;
    ZelResultCode(static_cast<ZEL_RESULT>(number), &code, &severity, &source, &line);
    const std::string_view name = source < 170 ? zel::SourceName(source) : std::string_view("unknown");
    char rest[160];
    std::snprintf(rest, sizeof rest, "\n Source ID:  %d (%.*s)\n Line #:     %d\n", static_cast<int>(source),
                  static_cast<int>(name.size()), name.data(), static_cast<int>(line));
    return std::string(kDialogue) + "\n" + Hex(number) + ":\n ERROR:      " + Hex(code) + rest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const std::string input(reinterpret_cast<const char *>(data), size);
    FILE *in = size != 0 ? fmemopen(const_cast<char *>(input.data()), size, "rb") : std::fopen("/dev/null", "rb");
    char *output = nullptr;
    std::size_t cbOutput = 0;
    FILE *out = open_memstream(&output, &cbOutput);
    if (in == nullptr || out == nullptr) std::abort();
    FILE *const savedIn = stdin;
    FILE *const savedOut = stdout;
    stdin = in;
    stdout = out;
    const int status = ZelResultToolMain();
    std::fflush(out);
    stdin = savedIn;
    stdout = savedOut;
    std::fclose(in);
    std::fclose(out);
    const std::string dialogue(output, cbOutput);
    std::free(output);

    if (status != 0) std::abort();
    if (dialogue.rfind(kDialogue, 0) != 0) std::abort();
    // %x as the C library reads it; a digit run beyond 64 bits saturates
    // there, while the tool keeps the low 32 bits, so such input is judged
    // by the dialogue's shape alone.
    unsigned long long value = 0;
    errno = 0;
    const bool read = std::sscanf(input.c_str(), "%llx", &value) == 1;
    if (errno == ERANGE) return 0;
    if (dialogue != Expected(read ? static_cast<std::uint32_t>(value) : 0u)) std::abort();
    return 0;
}
