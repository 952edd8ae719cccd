// The options zelsimd and zelsim share.
#pragma once

#include <cstdio>
#include <string>

#include <zel/zel.h>

namespace zel::service {

// Takes "--dir DIR" or "--dir=DIR" at argv[*pIndex] (moving past DIR);
// false when the argument is neither.
inline bool TakeDirOption(int argc, char **argv, int *pIndex, std::string *pDir) {
    const std::string arg = argv[*pIndex];
    if (arg == "--dir" && *pIndex + 1 < argc) {
        *pDir = argv[++*pIndex];
        return true;
    }
    if (arg.rfind("--dir=", 0) == 0) {
        *pDir = arg.substr(6);
        return true;
    }
    return false;
}

inline void PrintVersion(const char *pszCommand) {
    std::printf("%s %d.%d.%d.%d\n", pszCommand, ZEL_VERSION_MAJOR, ZEL_VERSION_MINOR, ZEL_VERSION_BUILD,
                ZEL_VERSION_REVISION);
}

}  // namespace zel::service
