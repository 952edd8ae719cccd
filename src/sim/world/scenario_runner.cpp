// The scenario runner: it plays a scenario against an application running
// in other threads, in virtual time. Before each move of the clock the
// application must have caught up: every driver event queue and every
// application event queue drained by a take that found it empty after the
// last record put in it, and no request on its way to the board. Time then
// moves to the next timed stimulus or the step's own time, whichever comes
// first, and stimuli due at one time fire one by one, each followed by
// settling, so the application sees each record at its own time and the
// run is the same on every run.
#include <chrono>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>

#include <zel/zelsim.h>
#include "application_state.h"
#include "board.h"
#include "board_time.h"
#include "event_queue_model.h"
#include "scenario.h"

namespace zel::sim {
namespace {

std::mutex g_runLock;  // one run at a time

std::uint64_t Now() { return DriverTimeMicros(); }

// Whether the application holds a queue and is quiescent. Under the board's
// lock no driver queue can fill, and a record taken from one leaves it
// undrained until the next take; one taken from an application queue
// leaves that queue busy in the same way. So a record in hand anywhere
// shows in one of the two readings, and the readings hold at one instant.
bool Settled(Board &board) {
    auto &queues = board.queues.queues;
    bool drained = queues.Count() != 0;
    queues.ForEach([&](ZEL_HANDLE, DriverEventQueue &queue) { drained = drained && queue.drained; });
    return drained && RequestsInFlight() == 0 && ApplicationQueuesDrained();
}

bool WaitSettled() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ZELSIM_SCENARIO_SETTLE_MS);
    for (unsigned spins = 0;; ++spins) {
        bool settled = false;
        WithBoard([&](Board &board) { settled = Settled(board); });
        if (settled) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (spins < 64) {
            std::this_thread::yield();
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
}

// Moves virtual time one stop on: fires the next timed stimulus due by
// target, alone, or moves to target. False when nothing was due.
bool StepClock(std::uint64_t target) {
    bool fired = false;
    WithBoard([&](Board &board) { fired = FireNextDue(board, target); });
    return fired;
}

bool Matches(const Step &step, const Observation &observation) {
    return observation.type == step.type && observation.number == step.number && observation.what == step.observed &&
           (step.anyValue || observation.value == step.value) && (step.anyDetail || observation.detail == step.detail);
}

// The first observation from *pCursor on that meets the step; its time.
bool FindObservation(const Step &step, std::uint64_t &cursor, std::uint64_t deadline, std::uint64_t &time) {
    bool found = false;
    WithBoard([&](Board &board) {
        const World &world = WorldOf(board);
        std::uint64_t index = std::max(cursor, world.observationsDropped);
        for (; index < world.observationsDropped + world.observations.size(); ++index) {
            const Observation &observation = world.observations[index - world.observationsDropped];
            if (observation.time > deadline) break;
            if (!Matches(step, observation)) continue;
            cursor = index + 1;
            time = observation.time;
            found = true;
            return;
        }
    });
    return found;
}

class Run {
public:
    explicit Run(RunReport &report) : report_(report) {}

    bool Play(const Scenario &scenario) {
        report_ = RunReport{};
        report_.run = true;
        report_.stepCount = scenario.steps.size();
        WithBoard([&](Board &board) {
            if (!ClockIsVirtual()) {
                SetClockMode(true);
                DropSchedule(board);
            }
            const World &world = WorldOf(board);
            cursor_ = world.observationsDropped + world.observations.size();
        });
        start_ = cursor_time_ = Now();
        if (!WaitSettled()) return NotSettled(nullptr);
        for (const Step &step : scenario.steps) {
            if (!PlayStep(step)) return false;
            report_.done.push_back({step.line, step.text, cursor_time_ - start_});
        }
        report_.passed = true;
        report_.endMicros = Now() - start_;
        report_.text =
            "passed: " + std::to_string(scenario.steps.size()) + " steps in" + At(Now()) + " of virtual time\n";
        WithBoard([&](Board &board) { KeepHistory(board); });
        return true;
    }

private:
    bool PlayStep(const Step &step) {
        switch (step.when) {
            case When::kAt:
                if (start_ + step.micros < cursor_time_) {
                    return Fail(step, "the scenario is at" + At(cursor_time_) + " already");
                }
                if (!AdvanceTo(start_ + step.micros, step)) return false;
                break;
            case When::kAfter:
                if (!AdvanceTo(cursor_time_ + step.micros, step)) return false;
                break;
            case When::kThen:
                break;
            case When::kWithin:
                return Expect(step);
        }
        if (!ApplyStimulus(*step.stimulus, step)) return Fail(step, "the world refused the stimulus in its state");
        cursor_time_ = Now();
        return WaitSettled() || NotSettled(&step);
    }

    // Every stimulus due by target fires first, each settled on its own.
    bool AdvanceTo(std::uint64_t target, const Step &step) {
        for (;;) {
            const bool fired = StepClock(target);
            if (!fired && Now() >= target) return true;
            if (!WaitSettled()) return NotSettled(&step);
        }
    }

    bool Expect(const Step &step) {
        const std::uint64_t deadline = cursor_time_ + step.micros;
        for (;;) {
            if (!WaitSettled()) return NotSettled(&step);
            std::uint64_t time = 0;
            if (FindObservation(step, cursor_, deadline, time)) {
                cursor_time_ = std::max(cursor_time_, time);
                return true;
            }
            if (Now() >= deadline) {
                return Fail(step, "not met between" + At(cursor_time_) + " and" + At(deadline));
            }
            StepClock(deadline);
        }
    }

    // Scenario time: from the run's start.
    std::string At(std::uint64_t time) const { return " " + Trim(FormatTime(time - start_)); }
    static std::string Trim(const std::string &text) { return text.substr(text.find_first_not_of(' ')); }

    bool NotSettled(const Step *step) {
        const std::string why = "the application did not drain its event queues within " +
                                std::to_string(ZELSIM_SCENARIO_SETTLE_MS) + " ms of real time";
        if (step != nullptr) return Fail(*step, why);
        report_.failureReason = why;
        report_.endMicros = Now() - start_;
        report_.text = "failed before the first step at" + At(Now()) + ": " + why + "\n" + Context(nullptr);
        return false;
    }

    bool Fail(const Step &step, const std::string &why) {
        report_.failureLine = step.line;
        report_.failureText = step.text;
        report_.failureReason = why;
        report_.endMicros = Now() - start_;
        report_.text = "failed: line " + std::to_string(step.line) + ": \"" + step.text + "\"\n  " + why +
                       " (virtual time" + At(Now()) + ")\n" + Context(&step);
        return false;
    }

    // The failing step's line as it is now and the history, in the text and
    // kept apart for the JSON report.
    std::string Context(const Step *step) {
        std::string text;
        WithBoard([&](Board &board) {
            if (step != nullptr) {
                report_.lineNow = DescribeLine(board, step->type, step->number);
                if (!report_.lineNow.empty()) text += "  now " + report_.lineNow + "\n";
            }
            text += "recent history (board time):\n" + HistoryText(board);
            KeepHistory(board);
        });
        return text;
    }

    void KeepHistory(Board &board) {
        const auto &history = WorldOf(board).history;
        report_.history.assign(history.begin(), history.end());
    }

    RunReport &report_;
    std::uint64_t start_ = 0;
    std::uint64_t cursor_time_ = 0;  // when the last step happened
    std::uint64_t cursor_ = 0;       // the next observation an expectation may use
};

}  // namespace

bool RunScenario(const Scenario &scenario, RunReport &report) {
    std::lock_guard lock(g_runLock);
    // A lenient scenario leaves the board as strict as it found it.
    bool strict = true;
    WithBoard([&](Board &board) {
        strict = WorldOf(board).strict;
        if (scenario.lenient) WorldOf(board).strict = false;
    });
    const bool passed = Run(report).Play(scenario);
    WithBoard([&](Board &board) { WorldOf(board).strict = strict; });
    return passed;
}

}  // namespace zel::sim

struct ZelSimScenario {
    zel::sim::Scenario scenario;
    zel::sim::RunReport report;
};

namespace {

ZelSimScenario *Parse(std::string_view text, char *pszError, ZEL_UINT32 cbError) {
    auto scenario = std::make_unique<ZelSimScenario>();
    std::string error;
    if (!zel::sim::ParseScenario(text, scenario->scenario, error)) {
        zel::sim::CopyText(error, pszError, cbError);
        return nullptr;
    }
    zel::sim::CopyText({}, pszError, cbError);
    return scenario.release();
}

}  // namespace

extern "C" {

ZELSIM_API ZelSimScenario *ZEL_CALLCONV ZelSimScenarioParse(const char *pszText, char *pszError, ZEL_UINT32 cbError) {
    if (pszText == nullptr) {
        zel::sim::CopyText("0:0: no text", pszError, cbError);
        return nullptr;
    }
    // One byte past the limit is enough to refuse a text that is too long.
    std::size_t length = 0;
    while (length <= ZELSIM_SCENARIO_MAX_BYTES && pszText[length] != '\0') ++length;
    try {
        return Parse(std::string_view(pszText, length), pszError, cbError);
    } catch (const std::exception &) {
        zel::sim::CopyText("0:0: out of memory", pszError, cbError);
        return nullptr;
    }
}

ZELSIM_API ZelSimScenario *ZEL_CALLCONV ZelSimScenarioLoad(const char *pszPath, char *pszError, ZEL_UINT32 cbError) {
    const std::string path = pszPath != nullptr ? pszPath : "";
    try {
        std::ifstream file(path, std::ios::binary);
        if (pszPath == nullptr || !file) {
            zel::sim::CopyText("0:0: cannot read " + path, pszError, cbError);
            return nullptr;
        }
        std::string text;
        text.resize(ZELSIM_SCENARIO_MAX_BYTES + 1);
        file.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(file.gcount()));
        if (file.bad()) {
            zel::sim::CopyText("0:0: cannot read " + path, pszError, cbError);
            return nullptr;
        }
        return Parse(text, pszError, cbError);
    } catch (const std::exception &) {
        zel::sim::CopyText("0:0: out of memory", pszError, cbError);
        return nullptr;
    }
}

ZELSIM_API ZEL_BOOL ZEL_CALLCONV ZelSimScenarioRun(ZelSimScenario *pScenario) {
    if (pScenario == nullptr) return 0;
    try {
        return zel::sim::RunScenario(pScenario->scenario, pScenario->report) ? 1 : 0;
    } catch (const std::exception &) {
        pScenario->report.passed = false;
        pScenario->report.failureReason = "out of memory";
        pScenario->report.text = "failed: out of memory\n";
        return 0;
    }
}

ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimScenarioReport(const ZelSimScenario *pScenario, char *pszText,
                                                        ZEL_UINT32 cbText) {
    if (pScenario == nullptr) {
        zel::sim::CopyText({}, pszText, cbText);
        return 0;
    }
    return zel::sim::CopyText(pScenario->report.text, pszText, cbText);
}

ZELSIM_API ZEL_UINT32 ZEL_CALLCONV ZelSimScenarioReportJson(const ZelSimScenario *pScenario, char *pszText,
                                                            ZEL_UINT32 cbText) {
    if (pScenario == nullptr) {
        zel::sim::CopyText({}, pszText, cbText);
        return 0;
    }
    try {
        return zel::sim::CopyText(zel::sim::ReportJson(pScenario->report), pszText, cbText);
    } catch (const std::exception &) {
        zel::sim::CopyText({}, pszText, cbText);
        return 0;
    }
}

ZELSIM_API void ZEL_CALLCONV ZelSimScenarioFree(ZelSimScenario *pScenario) { delete pScenario; }

}  // extern "C"
