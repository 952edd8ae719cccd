// The whole interface as the dynamic linker sees it: the shared library and
// the tool each export exactly the functions the public header declares and
// this library's additions in zelnames.h (hand-kept lists guard against a
// name dropped from a header), nothing internal leaks, and a function with
// two names is one function. ELF only: the Windows export tables have a
// check of their own.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Every function an application may call, by family.
const std::set<std::string> kInterface = {
    // result codes and their text
    "ZelSuccess",
    "ZelFailure",
    "ZelResultSeverity",
    "ZelResultSourceId",
    "ZelResultLineNum",
    "ZelResultErrorCode",
    "ZelResultCode",
    "ZelDrvResultCode2String",
    // connection
    "ZelDrvConnectLib",
    "ZelNetConnectLib",
    "ZelDrvReleaseLib",
    "ZelDrvIsLibConnected",
    "ZelDrvGetHandle",
    // devices and enumeration
    "ZelDrvGetDeviceHandle",
    "ZelDrvOpenPhysicalDevice",
    "ZelDrvOpenPhysicalDeviceEx",
    "ZelDrvCreateLogicalDevice",
    "ZelDrvEnable",
    "ZelDrvDisable",
    "ZelDrvGetState",
    "ZelDrvReset",
    "ZelDrvConnectBoard",
    "ZelDrvClose",
    "ZelDrvPollEvents",
    "ZelDrvIteratorBegin",
    "ZelDrvIsIteratorEnd",
    "ZelDrvEnumDeviceType",
    "ZelDrvEnumDevice",
    // pipes and connections
    "ZelDrvCreatePipe",
    "ZelDrvConnectPipe",
    "ZelDrvDisconnectPipe",
    "ZelDrvConnectLogicalDevice",
    "ZelDrvDisconnectLogicalDevice",
    // attributes
    "ZelDrvGetAttributeType",
    "ZelDrvGetAttributeValue",
    "ZelDrvSetAttributeValue",
    "ZelDrvGetAttributeValueUint32",
    "ZelDrvGetAttributeValueBool",
    "ZelDrvGetAttributeValueUint32Ex",
    "ZelDrvGetAttributeValueSz",
    "ZelDrvSetAttributeValueUint32",
    "ZelDrvSetAttributeValueBool",
    "ZelDrvSetAttributeValueSz",
    // driver event queues
    "ZelDrvCreateEventQueue",
    "ZelDrvGetEventData",
    "ZelDrvGetEventDataEx",
    "ZelDrvSetEventData",
    "ZelDrvSetEventDataEx",
    "ZelDrvEventCode2String",
    // event objects and waits
    "ZelDrvCreateEvent",
    "ZelDrvSignalEvent",
    "ZelDrvCloseEvent",
    "ZelDrvWaitForSingleEvent",
    "ZelDrvWaitForMultipleEvents",
    "ZelDrvCancelTask",
    // registers, time, debug dump
    "ZelDrvReadReg8",
    "ZelDrvReadReg16",
    "ZelDrvReadReg32",
    "ZelDrvWriteReg8",
    "ZelDrvWriteReg16",
    "ZelDrvWriteReg32",
    "ZelDrvDbgDump",
    "ZelDrvGetCurrentTime",
    // application event queues
    "ZelCreateAppEventQueue",
    "ZelCloseAppEventQueue",
    "ZelGetAppEventData",
    "ZelGetAppEventDataEx",
    "ZelQueueAppEventDataEx",
    "ZelSetAppEventDataEx",
    "ZelSignalAppEvent",
    // OS layer
    "OsaDeviceOpen",
    "OsaDeviceClose",
    "OsaDeviceIoControl",
    "OsaThreadSleep",
    "OsaThreadStart",
    "OsaThreadStartEx",
    "OsaMutexInit",
    "OsaMutexLock",
    "OsaMutexUnlock",
    "OsaMutexDestroy",
    "OsaStdLocalTime",
    "OsaDeviceRegisterProvider",
    "OsaDeviceUnregisterProvider",
    // console
    "OsaConsoleInput",
    "OsaConsoleInit",
    "OsaConsoleExit",
    "OsaConsolePrintF",
    "OsaConsolePutStr",
    "OsaConsoleGetStr",
    "OsaConsoleGetStrEx",
    "OsaConsoleGetCh",
    "OsaBeep",
};

// This library's additions, declared in zelnames.h, not in zel.h.
const std::set<std::string> kAdditions = {
    "ZelSourceIdName",
    "ZelErrorCodeName",
};

// Hooks for the board simulator, declared in no public header: it sees the
// library only through what the image exports.
const std::set<std::string> kSimulatorHooks = {
    "ZelAppQueuesState",
};

// Second names and the function they name.
const std::map<std::string, std::string> kSecondNames = {
    {"ZelDrvGetAttributeValueBool", "ZelDrvGetAttributeValueUint32"},
    {"ZelDrvSetAttributeValueBool", "ZelDrvSetAttributeValueUint32"},
    {"OsaConsoleExit", "OsaConsoleInit"},
};

// Symbols the toolchain and the C library put into every ELF image, and the
// C library's streams that an executable holds as copies.
const std::set<std::string> kStandardSymbols = {
    "_init",  "_fini",      "_edata",       "__bss_start", "_end",   "_IO_stdin_used",
    "_start", "data_start", "__data_start", "stdin",       "stdout", "stderr",
};

// The function name of a "ZEL_API ... ZEL_CALLCONV Name(" line, or "".
std::string DeclaredName(const std::string &line) {
    const std::string marker = "ZEL_CALLCONV";
    std::size_t at = line.find(marker);
    if (at == std::string::npos) return {};
    at += marker.size();
    while (at < line.size() && line[at] == ' ') ++at;
    std::size_t end = at;
    while (end < line.size() && (std::isalnum(static_cast<unsigned char>(line[end])) || line[end] == '_')) ++end;
    if (end == at || end >= line.size() || line[end] != '(') return {};
    return line.substr(at, end - at);
}

std::set<std::string> HeaderNames(const char *path) {
    std::ifstream header(path);
    EXPECT_TRUE(header.good()) << path;
    std::set<std::string> names;
    std::size_t apiLines = 0;
    for (std::string line; std::getline(header, line);) {
        if (line.rfind("ZEL_API ", 0) != 0) continue;
        ++apiLines;
        const std::string name = DeclaredName(line);
        if (!name.empty()) names.insert(name);
    }
    EXPECT_EQ(names.size(), apiLines) << "a ZEL_API line the parser did not understand";
    return names;
}

void ExpectDeclaresExactly(const char *path, const std::set<std::string> &expected) {
    SCOPED_TRACE(path);
    const std::set<std::string> header = HeaderNames(path);
    for (const std::string &name : expected) EXPECT_TRUE(header.count(name)) << "not declared: " << name;
    for (const std::string &name : header) EXPECT_TRUE(expected.count(name)) << "not in the interface: " << name;
}

TEST(Exports, HeaderDeclaresExactlyTheInterface) {
    ExpectDeclaresExactly(ZEL_TEST_SOURCE_DIR "/include/zel/zel.h", kInterface);
}

TEST(Exports, AdditionsHeaderDeclaresExactlyTheAdditions) {
    ExpectDeclaresExactly(ZEL_TEST_SOURCE_DIR "/include/zel/zelnames.h", kAdditions);
}

// Every declaration has its contract right above it (past a second-name
// note): a comment block that states the NULL and size rules.
TEST(Exports, EveryDeclarationStatesItsNullAndSizeRules) {
    std::ifstream header(ZEL_TEST_SOURCE_DIR "/include/zel/zel.h");
    ASSERT_TRUE(header.good());
    std::vector<std::string> lines;
    for (std::string line; std::getline(header, line);) lines.push_back(line);
    std::size_t checked = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("ZEL_API ", 0) != 0) continue;
        ++checked;
        std::size_t at = i;
        if (at > 0 && lines[at - 1].find("function under a second name") != std::string::npos) --at;
        std::string block;
        bool closed =
            at > 0 && lines[at - 1].size() >= 2 && lines[at - 1].compare(lines[at - 1].size() - 2, 2, "*/") == 0;
        while (closed && at > 0) {
            block = lines[--at] + "\n" + block;
            if (lines[at].rfind("/*", 0) == 0) break;
        }
        const std::string name = DeclaredName(lines[i]);
        EXPECT_TRUE(closed) << name << ": no contract comment right above";
        EXPECT_NE(block.find(name), std::string::npos) << name << ": the comment above is not its own";
        EXPECT_NE(block.find("NULL:"), std::string::npos) << name << ": no NULL rule";
        EXPECT_NE(block.find("Sizes:"), std::string::npos) << name << ": no size rule";
    }
    EXPECT_EQ(checked, kInterface.size());
}

// The dynamic symbol tables are read with nm; other platforms' export
// tables are checked by the build's own export check.
#if defined(__ELF__)
// Sanitizer builds add their runtime's own interface.
bool IsSanitizerSymbol(const std::string &name) {
    for (const char *prefix : {"__asan_", "__ubsan_", "__tsan_", "__lsan_", "__sanitizer_"}) {
        if (name.rfind(prefix, 0) == 0) return true;
    }
    return false;
}

// name -> address of every defined dynamic symbol, version suffix dropped.
std::map<std::string, std::string> DynamicSymbols(const std::string &path) {
    std::map<std::string, std::string> symbols;
    const std::string command = "nm -D --defined-only '" + path + "' 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (pipe == nullptr) return symbols;
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;) output.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << output;
    std::istringstream lines(output);
    for (std::string address, type, name; lines >> address >> type >> name;) {
        symbols[name.substr(0, name.find('@'))] = address;
    }
    return symbols;
}

void CheckImage(const std::string &path) {
    SCOPED_TRACE(path);
    const auto symbols = DynamicSymbols(path);
    ASSERT_FALSE(symbols.empty());
    for (const std::string &name : kInterface) EXPECT_TRUE(symbols.count(name)) << "missing: " << name;
    for (const std::string &name : kAdditions) EXPECT_TRUE(symbols.count(name)) << "missing: " << name;
    for (const std::string &name : kSimulatorHooks) EXPECT_TRUE(symbols.count(name)) << "missing: " << name;
    for (const auto &[name, address] : symbols) {
        EXPECT_TRUE(kInterface.count(name) || kAdditions.count(name) || kSimulatorHooks.count(name) ||
                    kStandardSymbols.count(name) || IsSanitizerSymbol(name))
            << "exported but not in the interface: " << name;
    }
    for (const auto &[second, first] : kSecondNames) {
        if (symbols.count(second) && symbols.count(first)) {
            EXPECT_EQ(symbols.at(second), symbols.at(first)) << second << " is not the same function as " << first;
        }
    }
}

TEST(Exports, SharedLibraryExportsTheInterfaceAndNothingElse) { CheckImage(ZEL_TEST_BINARY_DIR "/src/libzel.so"); }

TEST(Exports, ToolExportsTheInterfaceAndNothingElse) { CheckImage(ZEL_TEST_BINARY_DIR "/src/zelresult"); }
#endif

}  // namespace
