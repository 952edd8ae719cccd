// zelresult: reads one ZEL_RESULT in hexadecimal and prints what it is made of.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "osa_internal.h"
#include "result.h"

namespace {

// Reads a hexadecimal number as %x does: leading white space skipped, an
// optional sign, an optional 0x prefix, digits up to the first non-digit; a
// minus sign negates the value modulo 2^32 ("-1" is 0xFFFFFFFF). Input with
// no digits decodes 0; digits past the eighth keep the low 32 bits, the same
// on every platform.
std::uint32_t ReadHex(std::FILE *in) {
    int c = std::fgetc(in);
    while (c != EOF && std::isspace(c)) c = std::fgetc(in);
    const bool negative = c == '-';
    if (c == '-' || c == '+') c = std::fgetc(in);
    if (c == '0') {
        const int next = std::fgetc(in);
        if (next == 'x' || next == 'X') {
            c = std::fgetc(in);
        } else {
            std::ungetc(next, in);
        }
    }
    std::uint32_t value = 0;
    while (c != EOF && std::isxdigit(c)) {
        const int digit = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
        c = std::fgetc(in);
    }
    return negative ? 0u - value : value;
}

// %#lX with the value as an unsigned 32-bit number: "0" for zero, else 0X...
void PrintHex(std::uint32_t value) {
    if (value == 0) {
        std::printf("0");
    } else {
        std::printf("0X%lX", static_cast<unsigned long>(value));
    }
}

}  // namespace

ZEL_HIDDEN int main() {
    zel::osa::UseBinaryStdout();
    std::printf("\n\nWARNING! sZelSourceIdEneeds updating from ZelSourceIdE!\n\n");
    std::printf("Enter the ZEL_RESULT hexadecimalnumber: ");
    std::fflush(stdout);

    const std::uint32_t number = ReadHex(stdin);
    ZEL_UINT32 errorCode = 0;
    ZEL_UINT32 severity = 0;
    ZEL_UINT32 sourceId = 0;
    ZEL_UINT32 lineNum = 0;
    ZelResultCode(static_cast<ZEL_RESULT>(number), &errorCode, &severity, &sourceId, &lineNum);

    std::printf("\n");
    PrintHex(number);
    std::printf(":\n ERROR:      ");
    PrintHex(errorCode);
    const std::string_view name = zel::SourceName(sourceId);
    std::printf("\n Source ID:  %d (%.*s)\n", static_cast<int>(sourceId), static_cast<int>(name.size()), name.data());
    std::printf(" Line #:     %d\n", static_cast<int>(lineNum));
    return 0;
}
