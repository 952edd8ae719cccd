// zelcode annotating a log against the plainest tools that read the same
// file: `grep -n 0x` (finds the same lines, numbers them, writes them) and
// `cat` (reads and writes every byte). Each runs as a child process with
// its output to a file; one iteration runs all three, in rotating order, so
// they share the machine's moods. The figures are ratios of medians.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLines = 1000000;

// About a million lines of a plausible log; one in five holds a code.
fs::path WriteLog(const fs::path &dir) {
    const fs::path path = dir / "app.log";
    std::ofstream log(path, std::ios::binary);
    std::mt19937 random(23);
    const char *const words[] = {"pipe", "trunk", "slot", "device", "queue", "record", "line", "tone"};
    static constexpr std::array<std::uint32_t, 5> kCodes = {0xB500D50Bu, 0xC300AA0Du, 0x3500F916u, 0x0000001Eu,
                                                            0x80000002u};
    const auto pick = [&random](unsigned count) { return static_cast<unsigned>(random() % count); };
    char text[160];
    for (std::size_t i = 0; i < kLines; ++i) {
        const unsigned ms = static_cast<unsigned>(i * 7);
        const int n = std::snprintf(text, sizeof text, "2026-01-15 %02u:%02u:%02u.%03u [T%u] %s %u %s %u, %u bytes",
                                    ms / 3600000 % 24, ms / 60000 % 60, ms / 1000 % 60, ms % 1000, pick(16),
                                    words[pick(8)], pick(64), words[pick(8)], pick(32), pick(4096));
        log.write(text, n);
        if (i % 5 == 2) log << " failed: rc=0x" << std::hex << std::uppercase << kCodes[pick(kCodes.size())];
        log << '\n';
    }
    return path;
}

double Seconds(const std::string &command) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) == -1) return 0;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void BM_ZelcodeAnnotateAgainstGrepAndCat(benchmark::State &state) {
    benchmark::DoNotOptimize(zelbench::kThreadStarted);
    const fs::path dir = fs::temp_directory_path() / ("zelcode_bench_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    const fs::path log = WriteLog(dir);
    const double megabytes = static_cast<double>(fs::file_size(log)) / 1e6;
    const std::string in = "'" + log.string() + "'";
    const std::string out = " > '" + (dir / "out").string() + "'";
    const std::array<std::string, 3> commands = {std::string("'") + ZELCODE_PATH + "' -f " + in + out,
                                                 "grep -n 0x " + in + out, "cat " + in + out};
    std::array<std::vector<double>, 3> times;
    std::size_t round = 0;
    for (auto _ : state) {
        double zelcode = 0;
        for (std::size_t k = 0; k < commands.size(); ++k) {
            const std::size_t which = (round + k) % commands.size();
            const double seconds = Seconds(commands[which]);
            times[which].push_back(seconds);
            if (which == 0) zelcode = seconds;
        }
        ++round;
        state.SetIterationTime(zelcode);
    }
    const double zelcode = Median(times[0]);
    const double grep = Median(times[1]);
    const double cat = Median(times[2]);
    state.counters["log_MB"] = megabytes;
    state.counters["zelcode_MB/s"] = megabytes / zelcode;
    state.counters["grep_MB/s"] = megabytes / grep;
    state.counters["cat_MB/s"] = megabytes / cat;
    // Speed relative to the baseline: above 1 is faster than it.
    state.counters["x_grep"] = grep / zelcode;
    state.counters["x_cat"] = cat / zelcode;
    fs::remove_all(dir);
}
BENCHMARK(BM_ZelcodeAnnotateAgainstGrepAndCat)->UseManualTime()->Iterations(9)->Unit(benchmark::kMillisecond);

}  // namespace
