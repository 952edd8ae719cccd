// Console scripts against a model of the cursor: a fuzzed script and a
// fuzzed sequence of key reads, bounded line reads and restarts. Standard
// input is empty, so an exhausted script reads end of input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include <zel/zel.h>

namespace {

// What the script input calls should give: one cursor into the script.
class ScriptModel {
public:
    explicit ScriptModel(std::string script) : script_(std::move(script)) {}
    void Restart() { cursor_ = 0; }
    void Exhaust() { cursor_ = script_.size(); }
    bool Exhausted() const { return cursor_ >= script_.size(); }

    int GetCh() {
        if (Exhausted()) return -1;
        return static_cast<signed char>(script_[cursor_++]);
    }
    std::string GetStr(std::size_t cbBuffer) {
        std::string field;
        while (cursor_ < script_.size() && script_[cursor_] != '^') {
            if (field.size() + 1 < cbBuffer) field += script_[cursor_];
            ++cursor_;
        }
        if (cursor_ < script_.size()) ++cursor_;
        return field;
    }

private:
    std::string script_;
    std::size_t cursor_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (std::freopen("/dev/null", "rb", stdin) == nullptr) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    // The script ends at its first NUL, as a C string does.
    const std::string bytes = in.ConsumeRandomLengthString(512);
    const std::string script(bytes.c_str());
    ScriptModel model(script);
    OsaConsoleInput(script.c_str());
    char buffer[OSA_CONSOLE_MAX_LINE + 8];
    for (int step = 0; step < 256 && in.remaining_bytes() > 0; ++step) {
        switch (in.ConsumeIntegralInRange(0, 4)) {
            case 0:
                if (OsaConsoleGetCh() != model.GetCh()) std::abort();
                break;
            case 1:
            case 2: {
                const bool bounded = in.ConsumeBool();
                const std::uint32_t cbBuffer = bounded ? in.ConsumeIntegralInRange<std::uint32_t>(1, 80) : 0;
                std::memset(buffer, 0x7E, sizeof buffer);
                const bool exhausted = model.Exhausted();
                const char *line = bounded ? OsaConsoleGetStrEx(buffer, cbBuffer) : OsaConsoleGetStr(buffer);
                if (exhausted) {
                    if (line != nullptr) std::abort();
                    break;
                }
                const std::string expected = model.GetStr(bounded ? cbBuffer : OSA_CONSOLE_MAX_LINE);
                if (line != buffer || expected != line) std::abort();
                // Nothing is written past the NUL.
                if (buffer[expected.size() + 1] != 0x7E) std::abort();
                break;
            }
            case 3:
                OsaConsoleInput(script.c_str());
                model.Restart();
                break;
            default:
                OsaConsoleInput("");
                model.Exhaust();
                break;
        }
    }
    OsaConsoleInput("");
    return 0;
}
