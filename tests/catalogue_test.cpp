// Every failure that the library or the simulator can raise is found in the
// catalogue with its own text; the transport's own source has none. Each
// module's failure list makes its constants and its catalogue rows; adding
// a module is one line in kModules (and in the catalogue's list of lists).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <span>
#include <string>

#include <zel/zel.h>
#include "appqueue.h"
#include "attributes.h"
#include "board_failures.h"
#include "catalogue.h"
#include "connection.h"
#include "device_failures.h"
#include "devices.h"
#include "event_queues.h"
#include "events.h"
#include "pipes.h"
#include "registers.h"
#include "replay_failures.h"
#include "sim_failures.h"
#include "world_failures.h"

namespace {

struct Module {
    const char *name;
    std::span<const zel::FailureEntry> failures;
};

const Module kModules[] = {
    {"connection", zel::kConnectionFailures},
    {"devices", zel::devices::kDeviceFailures},
    {"pipes", zel::pipes::kPipeFailures},
    {"attributes", zel::kAttributeFailures},
    {"event queues", zel::kEventQueueFailures},
    {"events", zel::events::kEventFailures},
    {"registers", zel::kRegisterFailures},
    {"application queues", zel::appqueue::kAppQueueFailures},
    {"simulator", zel::sim::kSimFailures},
    {"simulated devices", zel::sim::failures::kDeviceModelFailures},
    {"simulated event queues", zel::sim::kSimEventQueueFailures},
    {"simulated attributes", zel::sim::kSimAttributeFailures},
    {"simulated registers", zel::sim::kSimRegisterFailures},
    {"simulated world", zel::sim::kSimWorldFailures},
    {"replay", zel::sim::kSimReplayFailures},
};

std::string Hex(ZEL_RESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(result));
    return text;
}

TEST(Catalogue, EveryFailureHasAText) {
    for (const Module &module : kModules) {
        EXPECT_FALSE(module.failures.empty()) << module.name;
        for (const zel::FailureEntry &listed : module.failures) {
            const ZEL_RESULT failure = listed.result;
            const zel::CatalogueEntry *entry = zel::CatalogueFind(failure);
            ASSERT_NE(entry, nullptr) << module.name << " " << Hex(failure);
            EXPECT_STREQ(entry->text, listed.text) << module.name << " " << Hex(failure);
            EXPECT_EQ(entry->source, ZelResultSourceId(failure)) << module.name << " " << Hex(failure);
            EXPECT_EQ(entry->line, ZelResultLineNum(failure)) << module.name << " " << Hex(failure);
            EXPECT_NE(ZelResultSourceId(failure), zel::kSourceTransport) << module.name << " " << Hex(failure);
        }
    }
}

// A (source, line) pair is one failure point: two different results on the
// same line would share one text by accident.
TEST(Catalogue, NoTwoFailuresShareALine) {
    std::map<std::uint32_t, std::pair<ZEL_RESULT, const char *>> seen;
    for (const Module &module : kModules) {
        for (const zel::FailureEntry &listed : module.failures) {
            const ZEL_RESULT failure = listed.result;
            const std::uint32_t key = zel::CatalogueKey(ZelResultSourceId(failure), ZelResultLineNum(failure));
            const auto [it, inserted] = seen.try_emplace(key, failure, module.name);
            EXPECT_TRUE(inserted || it->second.first == failure)
                << Hex(failure) << " of " << module.name << " and " << Hex(it->second.first) << " of "
                << it->second.second;
        }
    }
}

TEST(Catalogue, TransportSourceHasNoEntry) {
    for (const ZEL_RESULT failure : zel::kTransportFailures) {
        EXPECT_EQ(ZelResultSourceId(failure), 134u);
        EXPECT_EQ(zel::CatalogueFind(failure), nullptr) << Hex(failure);
    }
    for (const zel::CatalogueEntry &entry : zel::Catalogue()) {
        EXPECT_NE(entry.source, zel::kSourceTransport) << entry.line;
    }
}

TEST(Catalogue, EntriesAreWellFormed) {
    for (const zel::CatalogueEntry &entry : zel::Catalogue()) {
        const std::string where = std::to_string(entry.source) + "/" + std::to_string(entry.line);
        EXPECT_EQ(entry.key, zel::CatalogueKey(entry.source, entry.line)) << where;
        const std::size_t length = std::strlen(entry.text);
        EXPECT_GE(length, 10u) << where;
        EXPECT_LE(length, 276u) << where;
        for (std::size_t i = 0; i < length; ++i) {
            const auto c = static_cast<unsigned char>(entry.text[i]);
            EXPECT_TRUE(c >= 0x20 && c < 0x7F) << where << " character " << i;
        }
    }
}

}  // namespace
