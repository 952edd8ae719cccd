// The console key read and the tone when standard input and output are not
// terminals (POSIX only: on Windows the key read takes the console, not
// standard input).
#if !defined(_WIN32)
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include <zel/zel.h>

namespace {

void FeedStdin(const std::string &bytes) {
    const std::string path = std::string(ZEL_TEST_BINARY_DIR) + "/console_posix_test_stdin.txt";
    FILE *file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    ASSERT_NE(std::freopen(path.c_str(), "rb", stdin), nullptr);
}

TEST(ConsolePosix, KeysFromPlainInputAreBytes) {
    OsaConsoleInput("");
    FeedStdin("Q\xE9line\nZ");
    EXPECT_EQ(OsaConsoleGetCh(), 'Q');
    EXPECT_EQ(OsaConsoleGetCh(), 0xE9) << "a key code, not a signed script character";
    char buffer[OSA_CONSOLE_MAX_LINE];
    ASSERT_NE(OsaConsoleGetStr(buffer), nullptr);
    EXPECT_STREQ(buffer, "line") << "key and line reads share one stream";
    EXPECT_EQ(OsaConsoleGetCh(), 'Z');
    EXPECT_EQ(OsaConsoleGetCh(), -1) << "end of input";
}

TEST(ConsolePosix, ScriptComesBeforePlainInput) {
    FeedStdin("s");
    OsaConsoleInput("k");
    EXPECT_EQ(OsaConsoleGetCh(), 'k');
    EXPECT_EQ(OsaConsoleGetCh(), 's');
}

TEST(ConsolePosix, BeepNeedsATerminal) {
    const bool terminal = isatty(STDOUT_FILENO) || isatty(STDERR_FILENO);
    EXPECT_EQ(OsaBeep(750, 100) != 0, terminal);
}

}  // namespace
#endif
