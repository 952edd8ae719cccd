// Catalogue lookup (ZelDrvResultCode2String without a device) against the
// plainest alternative over the same keys: std::lower_bound on a sorted
// vector of keys and a strncpy of the text found. Both describe the same
// sequence of results, three in four of them present in the catalogue. The
// sequence is long (64 Ki results): a short one that repeats is learnt by the
// branch predictor, which then measures its memory rather than the search.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include <zel/zel.h>

#include "catalogue.h"

namespace {

// glibc's locks take a single-thread shortcut until a thread has existed;
// no real application runs in that state.
const bool kThreadStarted = [] {
    std::thread([] {}).join();
    return true;
}();

constexpr std::size_t kSampleSize = 1u << 16;

std::vector<ZEL_RESULT> Sample() {
    std::vector<ZEL_RESULT> results;
    std::mt19937 random(29);
    const auto catalogue = zel::Catalogue();
    for (std::size_t i = 0; i < kSampleSize; ++i) {
        const zel::CatalogueEntry &entry = catalogue[random() % catalogue.size()];
        const std::uint32_t missing = (i % 4 == 3) ? (1u << 8) * 7 : 0;  // a nearby line, mostly absent
        results.push_back(static_cast<ZEL_RESULT>(0x80000000u | (entry.key + missing) | 0x0Du));
    }
    return results;
}

void BM_Catalogue_Zel(benchmark::State &state) {
    const std::vector<ZEL_RESULT> results = Sample();
    char text[256];
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZelDrvResultCode2String(0, results[i++ & (kSampleSize - 1)], sizeof text, text));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Catalogue_Zel);

void BM_Catalogue_LowerBound(benchmark::State &state) {
    const std::vector<ZEL_RESULT> results = Sample();
    std::vector<std::uint32_t> keys;
    std::vector<const char *> texts;
    for (const zel::CatalogueEntry &entry : zel::Catalogue()) {
        keys.push_back(entry.key);
        texts.push_back(entry.text);
    }
    char text[256];
    std::size_t i = 0;
    for (auto _ : state) {
        const auto bits = static_cast<std::uint32_t>(results[i++ & (kSampleSize - 1)]);
        const std::uint32_t key = bits & 0x7FFFFF00u;
        const auto at = std::lower_bound(keys.begin(), keys.end(), key);
        const bool found = at != keys.end() && *at == key;
        const char *source = found ? texts[static_cast<std::size_t>(at - keys.begin())] : zel::kDefaultResultText;
        text[sizeof text - 1] = '\0';
        std::strncpy(text, source, sizeof text - 1);
        benchmark::DoNotOptimize(found);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Catalogue_LowerBound);

}  // namespace
