// Application event queues under several threads: producers put numbered
// records, consumers wait on the queues' events and drain them, and at the
// end every record is accounted for: delivered exactly once and intact, or
// overwritten as a full ring overwrites (the oldest first).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <zel/zel.h>
#include "appqueue.h"

namespace {

using namespace zel::appqueue;

constexpr ZEL_UINT32 kWaitMs = 5;
// What the event layer returns for a signal on a queue that is not open.
constexpr ZEL_RESULT kSignalFailure = static_cast<ZEL_RESULT>(0xB504890Du);

// Every word of a record derives from (producer, sequence, queue), so a torn
// or mixed-up record is seen at once.
struct Stamp {
    ZEL_UINT32 producer;
    ZEL_UINT32 seq;
    ZEL_UINT32 queue;
};

ZelEventData MakeRecord(const Stamp &s) {
    const ZEL_UINT32 mix = s.seq * 2654435761u ^ (s.producer << 24) ^ (s.queue << 16);
    return ZelEventData{mix, ~s.seq, s.producer, s.seq, s.queue, mix ^ 0x5A5A5A5Au, s.seq + s.producer, ~mix};
}

bool Intact(const ZelEventData &r) {
    const Stamp s{r.nData0, r.nData1, r.nData2};
    const ZelEventData expected = MakeRecord(s);
    return std::memcmp(&expected, &r, sizeof r) == 0;
}

ZEL_RESULT Put(ZEL_UINT32 hQueue, const Stamp &s, bool bSignal) {
    const ZelEventData r = MakeRecord(s);
    return bSignal ? ZelSetAppEventDataEx(hQueue, r.nData0, r.nData1, r.nData2, r.nData3, r.nData4, r.nData5,
                                          r.nExData0, r.nExData1)
                   : ZelQueueAppEventDataEx(hQueue, r.nData0, r.nData1, r.nData2, r.nData3, r.nData4, r.nData5,
                                            r.nExData0, r.nExData1);
}

struct Delivery {
    ZEL_UINT32 queue;  // the queue it was taken from
    ZelEventData record;
};

// A consumer: waits on its queue's event, then drains the queue, until the
// producers are done and a drain that began after that finds it empty.
// Alternates the two getters; returns what it took, in order. "Not open" is
// a failure unless another thread may be closing the queue.
std::vector<Delivery> Consume(ZEL_UINT32 hQueue, OSA_HANDLE hEvent, const std::atomic<bool> &producersDone,
                              bool bQueueMayClose, std::atomic<int> &failures) {
    std::vector<Delivery> taken;
    std::array<ZelEventData, 8> batch;
    bool bUseEx = false;
    for (;;) {
        const ZEL_RESULT w = ZelDrvWaitForSingleEvent(hEvent, kWaitMs);
        if (w != 0 && w != ZEL_S_TIMEOUT) {
            ++failures;
        }
        const bool bLast = producersDone.load();
        for (;;) {
            ZEL_UINT32 n = 0;
            ZEL_RESULT res;
            if (bUseEx) {
                res = ZelGetAppEventDataEx(hQueue, batch.data(), static_cast<ZEL_INT32>(batch.size()), &n);
            } else {
                res = ZelGetAppEventData(hQueue, batch.data());
                n = res == 0 ? 1 : 0;
            }
            bUseEx = !bUseEx;
            if (res != 0) {
                const bool bClosed = res == kGetNotOpen || res == kGetExNotOpen;
                if (res != kGetNoEvents && res != kGetExNoEvents && !(bClosed && bQueueMayClose)) {
                    ++failures;
                }
                break;
            }
            for (ZEL_UINT32 i = 0; i < n; ++i) {
                taken.push_back(Delivery{hQueue, batch[i]});
            }
        }
        if (bLast) {
            return taken;
        }
    }
}

struct Outcome {
    std::map<std::pair<ZEL_UINT32, ZEL_UINT32>, int> timesDelivered;  // (producer, seq) -> count
    int corrupted = 0;
    int wrongQueue = 0;
    int outOfOrder = 0;  // a consumer saw one producer's records on one queue out of order
};

Outcome Account(const std::vector<std::vector<Delivery>> &perConsumer) {
    Outcome out;
    for (const std::vector<Delivery> &taken : perConsumer) {
        std::map<std::pair<ZEL_UINT32, ZEL_UINT32>, ZEL_UINT32> lastSeq;  // (producer, queue) -> seq + 1
        for (const Delivery &d : taken) {
            if (!Intact(d.record)) {
                ++out.corrupted;
                continue;
            }
            const Stamp s{d.record.nData0, d.record.nData1, d.record.nData2};
            if (s.queue != d.queue) {
                ++out.wrongQueue;
            }
            ZEL_UINT32 &last = lastSeq[{s.producer, s.queue}];
            if (s.seq + 1 <= last) {
                ++out.outOfOrder;
            }
            last = s.seq + 1;
            ++out.timesDelivered[{s.producer, s.seq}];
        }
    }
    return out;
}

class AppQueueThreads : public ::testing::Test {
protected:
    void SetUp() override { zel::ZelAppEventQueuesInit(); }
    void TearDown() override {
        zel::ZelAppEventQueuesRelease();
        for (OSA_HANDLE h : events_) {
            ZelDrvCloseEvent(h);
        }
    }

    // nQueues queues of the given capacity, each with its own event.
    std::vector<ZEL_UINT32> MakeQueues(std::size_t nQueues, ZEL_UINT32 coMaxEvents) {
        std::vector<ZEL_UINT32> queues;
        for (std::size_t i = 0; i < nQueues; ++i) {
            OSA_HANDLE hEvent = nullptr;
            EXPECT_EQ(ZelDrvCreateEvent(&hEvent), 0);
            events_.push_back(hEvent);
            ZEL_UINT32 h = 0;
            EXPECT_EQ(ZelCreateAppEventQueue(coMaxEvents, hEvent, &h), 0);
            queues.push_back(h);
        }
        return queues;
    }

    // Starts consumersPerQueue consumers on every queue; Finish() joins them.
    void StartConsumers(const std::vector<ZEL_UINT32> &queues, int consumersPerQueue) {
        results_.resize(queues.size() * static_cast<std::size_t>(consumersPerQueue));
        std::size_t slot = 0;
        for (std::size_t q = 0; q < queues.size(); ++q) {
            for (int c = 0; c < consumersPerQueue; ++c, ++slot) {
                consumers_.emplace_back([this, slot, h = queues[q], hEvent = events_[q]] {
                    results_[slot] = Consume(h, hEvent, producersDone_, queuesMayClose_, failures_);
                });
            }
        }
    }

    Outcome Finish(std::vector<std::thread> &producers) {
        for (std::thread &t : producers) {
            t.join();
        }
        producersDone_ = true;
        for (std::thread &t : consumers_) {
            t.join();
        }
        return Account(results_);
    }

    std::vector<OSA_HANDLE> events_;
    std::vector<std::thread> consumers_;
    std::vector<std::vector<Delivery>> results_;
    std::atomic<bool> producersDone_{false};
    bool queuesMayClose_ = false;
    std::atomic<int> failures_{0};
};

// Rings large enough for everything: nothing may be lost.
TEST_F(AppQueueThreads, EveryRecordIsDeliveredExactlyOnceWhenNoRingOverflows) {
    constexpr ZEL_UINT32 kProducers = 4;
    constexpr ZEL_UINT32 kPerProducer = 6000;
    const std::vector<ZEL_UINT32> queues = MakeQueues(4, kProducers * kPerProducer);
    StartConsumers(queues, 2);

    std::vector<std::thread> producers;
    for (ZEL_UINT32 p = 0; p < kProducers; ++p) {
        producers.emplace_back([this, p, &queues] {
            for (ZEL_UINT32 seq = 0; seq < kPerProducer; ++seq) {
                const ZEL_UINT32 h = queues[(seq * 7 + p) % queues.size()];
                // Mostly set-with-signal; every fourth record queued silently
                // and signalled once a little later.
                const bool bSilent = seq % 4 == 1;
                if (Put(h, Stamp{p, seq, h}, !bSilent) != 0) {
                    ++failures_;
                }
                if (seq % 4 == 3 && ZelSignalAppEvent(queues[((seq - 2) * 7 + p) % queues.size()]) != 0) {
                    ++failures_;
                }
            }
        });
    }
    const Outcome out = Finish(producers);

    EXPECT_EQ(failures_.load(), 0);
    EXPECT_EQ(out.corrupted, 0);
    EXPECT_EQ(out.wrongQueue, 0);
    EXPECT_EQ(out.outOfOrder, 0);
    EXPECT_EQ(out.timesDelivered.size(), static_cast<std::size_t>(kProducers * kPerProducer));
    int duplicates = 0;
    for (const auto &[key, times] : out.timesDelivered) {
        duplicates += times - 1;
    }
    EXPECT_EQ(duplicates, 0);
    for (ZEL_UINT32 h : queues) {
        EXPECT_EQ(DebugSnapshot(h).entry.coQueued, 0u);
    }
}

// Small rings, one producer per queue outrunning two consumers: records are
// lost only by overwriting, which takes the oldest, so the last kCapacity
// records a producer put are always delivered and nothing comes twice.
TEST_F(AppQueueThreads, FullRingsOverwriteOnlyTheOldestRecords) {
    constexpr ZEL_UINT32 kCapacity = 4;
    constexpr ZEL_UINT32 kPerProducer = 50000;
    const std::vector<ZEL_UINT32> queues = MakeQueues(4, kCapacity);
    StartConsumers(queues, 2);

    std::vector<std::thread> producers;
    for (ZEL_UINT32 p = 0; p < queues.size(); ++p) {
        producers.emplace_back([this, p, h = queues[p]] {
            for (ZEL_UINT32 seq = 0; seq < kPerProducer; ++seq) {
                if (Put(h, Stamp{p, seq, h}, seq % 16 == 15) != 0) {
                    ++failures_;
                }
                if (seq % 64 == 63) {
                    std::this_thread::yield();  // let the consumers in now and then
                }
            }
            if (ZelSignalAppEvent(h) != 0) {
                ++failures_;
            }
        });
    }
    const Outcome out = Finish(producers);

    EXPECT_EQ(failures_.load(), 0);
    EXPECT_EQ(out.corrupted, 0);
    EXPECT_EQ(out.wrongQueue, 0);
    EXPECT_EQ(out.outOfOrder, 0);
    for (ZEL_UINT32 p = 0; p < queues.size(); ++p) {
        SCOPED_TRACE(p);
        std::size_t delivered = 0;
        for (ZEL_UINT32 seq = 0; seq < kPerProducer; ++seq) {
            const auto it = out.timesDelivered.find({p, seq});
            const int times = it == out.timesDelivered.end() ? 0 : it->second;
            EXPECT_LE(times, 1) << "seq " << seq;
            if (seq >= kPerProducer - kCapacity) {
                EXPECT_EQ(times, 1) << "seq " << seq;
            }
            delivered += static_cast<std::size_t>(times);
        }
        // Delivered plus overwritten is everything put: a ring of kCapacity
        // holds at most kCapacity, so at least that many came out.
        EXPECT_GE(delivered, kCapacity);
        EXPECT_LE(delivered, kPerProducer);
        RecordProperty("overwritten" + std::to_string(p), std::to_string(kPerProducer - delivered));
    }
}

// Queues closed and created again while producers and consumers use them:
// every call ends with one of its documented results, nothing tears, and no
// record comes out twice.
TEST_F(AppQueueThreads, ClosingWhileOthersWorkGivesOnlyDocumentedResults) {
    constexpr ZEL_UINT32 kProducers = 3;
    constexpr ZEL_UINT32 kPerProducer = 50000;
    constexpr int kReopenRounds = 1500;
    const std::vector<ZEL_UINT32> queues = MakeQueues(2, 16);
    queuesMayClose_ = true;
    StartConsumers(queues, 1);

    std::atomic<int> unexpected{0};
    std::vector<std::thread> producers;
    for (ZEL_UINT32 p = 0; p < kProducers; ++p) {
        producers.emplace_back([&unexpected, p, &queues] {
            for (ZEL_UINT32 seq = 0; seq < kPerProducer; ++seq) {
                const ZEL_UINT32 h = queues[seq % queues.size()];
                const bool bSignal = seq % 2 == 0;
                const ZEL_RESULT res = Put(h, Stamp{p, seq, h}, bSignal);
                // A set may queue, then find the queue closed when it signals.
                const bool bClosedBeforeSignal = bSignal && res == kSignalFailure;
                if (res != 0 && res != kQueueNotOpen && !bClosedBeforeSignal) {
                    ++unexpected;
                }
            }
        });
    }
    producers.emplace_back([this, &unexpected, &queues] {
        for (int round = 0; round < kReopenRounds; ++round) {
            const std::size_t q = static_cast<std::size_t>(round) % queues.size();
            if (ZelCloseAppEventQueue(queues[q]) != 0) {
                ++unexpected;
            }
            const ZEL_RESULT signal = ZelSignalAppEvent(queues[q]);
            if (signal != 0 && signal != kSignalFailure) {
                ++unexpected;
            }
            ZEL_UINT32 h = 0;
            // Only this thread creates, so the lowest free index is the one just closed.
            if (ZelCreateAppEventQueue(16, events_[q], &h) != 0 || h != queues[q]) {
                ++unexpected;
            }
            std::this_thread::yield();
        }
    });
    const Outcome out = Finish(producers);

    EXPECT_EQ(unexpected.load(), 0);
    EXPECT_EQ(failures_.load(), 0);
    EXPECT_EQ(out.corrupted, 0);
    EXPECT_EQ(out.wrongQueue, 0);
    EXPECT_EQ(out.outOfOrder, 0);
    for (const auto &[key, times] : out.timesDelivered) {
        EXPECT_EQ(times, 1) << "producer " << key.first << " seq " << key.second;
    }
}

}  // namespace
