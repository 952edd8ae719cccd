// Console services: scripted input, the line read from standard input (fed
// from a file here), its bound, and the output calls.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <zel/zel.h>

namespace {

constexpr char kSentinel = '\x7E';

// Makes standard input read the given bytes.
void FeedStdin(const std::string &bytes) {
    const std::string path = std::string(ZEL_TEST_BINARY_DIR) + "/console_test_stdin.txt";
    FILE *file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    ASSERT_NE(std::freopen(path.c_str(), "rb", stdin), nullptr);
}

class Console : public ::testing::Test {
protected:
    void SetUp() override {
        FeedStdin("");
        std::memset(buffer_, kSentinel, sizeof buffer_);
    }
    void TearDown() override { OsaConsoleInput(""); }

    std::string GetStr() {
        const char *line = OsaConsoleGetStr(buffer_);
        if (line == nullptr) return "<null>";
        EXPECT_EQ(line, buffer_);
        return line;
    }

    char buffer_[OSA_CONSOLE_MAX_LINE + 64];
};

TEST_F(Console, FieldsThenTheConsole) {
    FeedStdin("from stdin\n");
    for (const char *script : {"12^abc^", "12^abc"}) {
        OsaConsoleInput(script);
        EXPECT_EQ(GetStr(), "12") << script;
        EXPECT_EQ(GetStr(), "abc") << script;
    }
    EXPECT_EQ(GetStr(), "from stdin");
    EXPECT_EQ(GetStr(), "<null>") << "standard input has ended";
}

TEST_F(Console, EmptyFields) {
    OsaConsoleInput("a^^b");
    EXPECT_EQ(GetStr(), "a");
    EXPECT_EQ(GetStr(), "");
    EXPECT_EQ(GetStr(), "b");
    OsaConsoleInput("^");
    EXPECT_EQ(GetStr(), "");
    EXPECT_EQ(GetStr(), "<null>");
}

TEST_F(Console, KeysAndLinesShareTheCursor) {
    OsaConsoleInput("y^abc");
    EXPECT_EQ(OsaConsoleGetCh(), 'y');
    EXPECT_EQ(GetStr(), "") << "the caret at the cursor ends an empty field";
    EXPECT_EQ(GetStr(), "abc");

    OsaConsoleInput("y^abc");
    EXPECT_EQ(OsaConsoleGetCh(), 'y');
    EXPECT_EQ(OsaConsoleGetCh(), '^') << "a caret is an ordinary key";
    EXPECT_EQ(GetStr(), "abc");
}

TEST_F(Console, ScriptKeysAreSignedBytes) {
    OsaConsoleInput("\xE9\x7F\x80");
    EXPECT_EQ(OsaConsoleGetCh(), -23);
    EXPECT_EQ(OsaConsoleGetCh(), 127);
    EXPECT_EQ(OsaConsoleGetCh(), -128);
}

TEST_F(Console, EmptyScriptSwitchesToTheConsoleAtOnce) {
    FeedStdin("console\n");
    OsaConsoleInput("one^two^three");
    EXPECT_EQ(GetStr(), "one");
    OsaConsoleInput("");
    EXPECT_EQ(GetStr(), "console");
}

TEST_F(Console, OverLongFieldIsCutAndItsRestDropped) {
    const std::string longField(OSA_CONSOLE_MAX_LINE + 500, 'x');
    const std::string script = longField + "^next";
    OsaConsoleInput(script.c_str());
    const std::string first = GetStr();
    EXPECT_EQ(first, std::string(OSA_CONSOLE_MAX_LINE - 1, 'x'));
    for (std::size_t i = OSA_CONSOLE_MAX_LINE; i < sizeof buffer_; ++i) {
        ASSERT_EQ(buffer_[i], kSentinel) << "written past the bound at " << i;
    }
    EXPECT_EQ(GetStr(), "next");
}

TEST_F(Console, OverLongLineIsCutAndItsRestDropped) {
    FeedStdin(std::string(3 * OSA_CONSOLE_MAX_LINE, 'L') + "\nshort\n" + std::string(OSA_CONSOLE_MAX_LINE - 1, 'F') +
              "\n");
    EXPECT_EQ(GetStr(), std::string(OSA_CONSOLE_MAX_LINE - 1, 'L'));
    for (std::size_t i = OSA_CONSOLE_MAX_LINE; i < sizeof buffer_; ++i) {
        ASSERT_EQ(buffer_[i], kSentinel) << "written past the bound at " << i;
    }
    EXPECT_EQ(GetStr(), "short");
    EXPECT_EQ(GetStr(), std::string(OSA_CONSOLE_MAX_LINE - 1, 'F')) << "the longest line that fits, whole";
    EXPECT_EQ(GetStr(), "<null>");
}

TEST_F(Console, LastLineWithoutNewline) {
    FeedStdin("first\nlast");
    EXPECT_EQ(GetStr(), "first");
    EXPECT_EQ(GetStr(), "last");
    EXPECT_EQ(GetStr(), "<null>");
}

TEST_F(Console, CallerSizedRead) {
    OsaConsoleInput("abcdef^g");
    char small[8];
    std::memset(small, kSentinel, sizeof small);
    EXPECT_EQ(OsaConsoleGetStrEx(small, 0), nullptr);
    EXPECT_EQ(small[0], kSentinel) << "a zero-size buffer is not written";
    EXPECT_EQ(OsaConsoleGetStrEx(small, 4), small);
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(small[4], kSentinel);
    EXPECT_EQ(OsaConsoleGetStrEx(small, 1), small);
    EXPECT_STREQ(small, "") << "room for the NUL only; the field g is consumed";
    FeedStdin("console line\n");
    EXPECT_EQ(OsaConsoleGetStrEx(small, 5), small);
    EXPECT_STREQ(small, "cons");
    EXPECT_EQ(OsaConsoleGetStrEx(small, sizeof small), nullptr);
}

TEST_F(Console, PutStrAppendsANewline) {
    testing::internal::CaptureStdout();
    const ZEL_INT32 empty = OsaConsolePutStr("");
    const ZEL_INT32 text = OsaConsolePutStr("hello");
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nhello\n");
    EXPECT_EQ(empty, 0);
    EXPECT_EQ(text, 0);
}

ZEL_INT32 Print(const char *format, ...) {
    va_list args;
    va_start(args, format);
    const ZEL_INT32 written = OsaConsolePrintF(format, args);
    va_end(args);
    return written;
}

TEST_F(Console, PrintFTakesItsValuesFromTheList) {
    testing::internal::CaptureStdout();
    const ZEL_INT32 written = Print("%d-%s-%08X|", 42, "x", 0xBEEFu);
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "42-x-0000BEEF|");
    EXPECT_EQ(written, 14);
}

TEST_F(Console, LinesFromManyThreadsStayWhole) {
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    testing::internal::CaptureStdout();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            const std::string line = "thread " + std::to_string(t) + " says hello";
            for (int i = 0; i < kLines; ++i) OsaConsolePutStr(line.c_str());
        });
    }
    for (auto &thread : threads) thread.join();
    std::fflush(stdout);
    std::istringstream captured(testing::internal::GetCapturedStdout());
    std::vector<int> perThread(kThreads, 0);
    std::string line;
    while (std::getline(captured, line)) {
        int t = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "thread %d says hello", &t), 1) << line;
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        ASSERT_EQ(line, "thread " + std::to_string(t) + " says hello");
        ++perThread[t];
    }
    for (int count : perThread) EXPECT_EQ(count, kLines);
}

TEST_F(Console, InitAndExitAreOneFunction) {
    void(ZEL_CALLCONV *volatile init)(void) = &OsaConsoleInit;
    void(ZEL_CALLCONV *volatile exit)(void) = &OsaConsoleExit;
    EXPECT_EQ(init, exit);
    OsaConsoleInput("k");
    OsaConsoleInit();
    OsaConsoleExit();
    EXPECT_EQ(OsaConsoleGetCh(), 'k') << "neither touches the script";
}

}  // namespace
