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
#include <span>
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
thread_local const std::atomic<bool> *t_abandon = nullptr;

bool Abandoned() { return t_abandon != nullptr && t_abandon->load(); }

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
        if (Abandoned()) return false;
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
        const std::vector<Step> &steps = scenario.steps;
        for (std::size_t i = 0; i < steps.size();) {
            const Step &step = steps[i];
            std::size_t count = 1;
            if (step.group != 0 || step.when == When::kFor) {
                while (step.group != 0 && i + count < steps.size() && steps[i + count].group == step.group) ++count;
                if (!ExpectTogether(std::span(steps).subspan(i, count))) return false;
            } else {
                if (!PlayStep(step)) return false;
                report_.done.push_back({step.line, step.text, cursor_time_ - start_});
            }
            i += count;
        }
        report_.passed = true;
        report_.endMicros = Now() - start_;
        report_.text =
            "passed: " + std::to_string(scenario.steps.size()) + " steps in" + At(Now()) + " of virtual time\n";
        WithBoard([&](Board &board) { KeepHistory(board); });
        return true;
    }

    // Fails before the run begins, in this process's state.
    bool Refuse(const std::string &why) {
        report_ = RunReport{};
        report_.run = true;
        report_.failureReason = why;
        report_.text = "failed before the first step: " + why + "\n";
        return false;
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
            case When::kFor:
                return ExpectTogether(std::span(&step, 1));
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

    // What a member of ExpectTogether's group has come to.
    struct Member {
        bool done = false;
        std::uint64_t time = 0;      // when met, or when its span ended
        std::uint64_t index = 0;     // the observation that met it; "for": the first after the start
        std::uint64_t happened = 0;  // "for": the line's happenings at the start
    };

    // Expectations met together from one start: "within" ones each by an
    // observation of its own within its own time, in any order; "for" ones
    // each holding over its span. Each observation meets the first member,
    // as written, that it fits and that is not met yet.
    bool ExpectTogether(std::span<const Step> steps) {
        const std::uint64_t from = cursor_time_;
        std::vector<Member> members(steps.size());
        const Step *unlike = nullptr;  // a line not in the state it is to stay in
        WithBoard([&](Board &board) {
            const World &world = WorldOf(board);
            for (std::size_t i = 0; i < steps.size(); ++i) {
                const Step &step = steps[i];
                if (step.when != When::kFor) continue;
                members[i].happened = Happenings(board, step.type, step.number);
                members[i].index = world.observationsDropped + world.observations.size();
                if (unlike == nullptr && step.holdMask != 0 &&
                    (LineBits(board, step.type, step.number) & step.holdMask) != step.holdBits)
                    unlike = &step;
            }
        });
        if (unlike != nullptr) {
            return Fail(*unlike,
                        DeviceName(unlike->type, unlike->number) + " is not " + HoldName(*unlike) + " at" + At(from));
        }
        for (;;) {
            if (!WaitSettled()) return NotSettled(&steps[0]);
            MatchAll(steps, from, members);
            std::uint64_t next = UINT64_MAX;
            for (std::size_t i = 0; i < steps.size(); ++i) {
                const Step &step = steps[i];
                Member &member = members[i];
                const std::uint64_t end = from + step.micros;
                if (member.done) continue;
                if (step.when == When::kFor) {
                    if (const std::string what = Broken(step, member); !what.empty()) {
                        return Fail(step, (step.holdMask != 0
                                               ? DeviceName(step.type, step.number) + " did not stay " + HoldName(step)
                                               : "something happened on " + DeviceName(step.type, step.number)) +
                                              " between" + At(from) + " and" + At(end) + what);
                    }
                    if (Now() >= end) member = {true, end, member.index, 0};
                } else if (Now() >= end) {
                    return Fail(step, "not met between" + At(from) + " and" + At(end) +
                                          (steps.size() > 1 ? " (expected in any order with the group)" : ""));
                }
                if (!member.done) next = std::min(next, end);
            }
            if (next == UINT64_MAX) break;
            StepClock(next);
        }
        for (std::size_t i = 0; i < steps.size(); ++i) {
            cursor_time_ = std::max(cursor_time_, members[i].time);
            if (steps[i].when != When::kFor) cursor_ = std::max(cursor_, members[i].index + 1);
            report_.done.push_back({steps[i].line, steps[i].text, members[i].time - start_});
        }
        return true;
    }

    // Meets the group's "within" members afresh from the observations since
    // the group started.
    void MatchAll(std::span<const Step> steps, std::uint64_t from, std::vector<Member> &members) const {
        WithBoard([&](Board &board) {
            for (std::size_t i = 0; i < steps.size(); ++i) {
                if (steps[i].when != When::kFor) members[i].done = false;
            }
            const World &world = WorldOf(board);
            const std::uint64_t first = std::max(cursor_, world.observationsDropped);
            for (std::uint64_t index = first; index < world.observationsDropped + world.observations.size(); ++index) {
                const Observation &observation = world.observations[index - world.observationsDropped];
                for (std::size_t i = 0; i < steps.size(); ++i) {
                    const Step &step = steps[i];
                    if (step.when == When::kFor || members[i].done || observation.time > from + step.micros ||
                        !Matches(step, observation))
                        continue;
                    members[i] = {true, observation.time, index, 0};
                    break;
                }
            }
        });
    }

    // Why a "for" member no longer holds, as ": <what happened>", or nothing.
    std::string Broken(const Step &step, const Member &member) const {
        std::string what;
        WithBoard([&](Board &board) {
            bool broken = false;
            if (step.holdMask == 0) {
                broken = Happenings(board, step.type, step.number) != member.happened;
            } else {
                broken = (LineBits(board, step.type, step.number) & step.holdMask) != step.holdBits;
                const World &world = WorldOf(board);
                for (std::uint64_t index = std::max(member.index, world.observationsDropped);
                     !broken && index < world.observationsDropped + world.observations.size(); ++index) {
                    broken = Matches(step, world.observations[index - world.observationsDropped]);
                }
            }
            if (!broken) return;
            // The line's latest happening in the history says what it was.
            const std::string name = "  " + DeviceName(step.type, step.number) + ": ";
            const auto &history = WorldOf(board).history;
            what = ", at" + At(Now()) + ": it changed";
            for (auto entry = history.rbegin(); entry != history.rend(); ++entry) {
                const std::size_t at = entry->find(name);
                if (at == std::string::npos) continue;
                what = ", at" + At(Now()) + ": " + entry->substr(at + 2);
                break;
            }
        });
        return what;
    }

    static std::string HoldName(const Step &step) {
        return (step.holdBits & ZELSIM_LINE_OFF_HOOK) != 0 ? "off-hook" : "on-hook";
    }

    // Scenario time: from the run's start.
    std::string At(std::uint64_t time) const { return " " + Trim(FormatTime(time - start_)); }
    static std::string Trim(const std::string &text) { return text.substr(text.find_first_not_of(' ')); }

    bool NotSettled(const Step *step) {
        bool queues = false;
        WithBoard([&](Board &board) { queues = board.queues.queues.Count() != 0; });
        const std::string within = " within " + std::to_string(ZELSIM_SCENARIO_SETTLE_MS) + " ms of real time";
        const std::string why = Abandoned() ? std::string("the run was abandoned")
                                : !DriverDeviceOpen()
                                    ? "the library is not connected to this process's simulator" + within +
                                          " (connect after ZelSimInstall; a board service is played with zelsim run)"
                                : !queues ? "the application holds no event queue" + within +
                                                " (it must create a driver event queue and take its records)"
                                          : "the application did not drain its event queues" + within;
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

void SetRunAbandon(const std::atomic<bool> *pAbandon) { t_abandon = pAbandon; }

bool RunScenario(const Scenario &scenario, RunReport &report) {
    std::lock_guard lock(g_runLock);
    // Without the simulator installed the library's connection, if any,
    // goes to another board, which this run cannot see.
    if (!SimulatorInstalled()) {
        return Run(report).Refuse(
            "the simulator is not installed in this process (ZelSimInstall): the library is connected to another "
            "board or to none, such as a board service reached through ZEL_DEVICE_DIR; play it with zelsim run");
    }
    // The run leaves the clock as it found it: real time again afterwards
    // unless the board was in virtual time before.
    bool wasVirtual = false;
    WithBoard([&](Board &) { wasVirtual = ClockIsVirtual(); });
    // A lenient scenario leaves the board as strict as it found it.
    bool strict = true;
    WithBoard([&](Board &board) {
        strict = WorldOf(board).strict;
        if (scenario.lenient) WorldOf(board).strict = false;
    });
    const bool passed = Run(report).Play(scenario);
    WithBoard([&](Board &board) {
        WorldOf(board).strict = strict;
        if (!wasVirtual && ClockIsVirtual()) {
            SetClockMode(false);
            DropSchedule(board);
        }
    });
    return passed;
}

}  // namespace zel::sim

struct ZelSimScenario {
    zel::sim::Scenario scenario;
    zel::sim::RunReport report;
};

namespace {

ZelSimScenario *Parse(std::string_view text, const std::vector<zel::sim::Parameter> &parameters, char *pszError,
                      ZEL_UINT32 cbError) {
    auto scenario = std::make_unique<ZelSimScenario>();
    std::string error;
    if (!zel::sim::ParseScenario(text, parameters, scenario->scenario, error)) {
        zel::sim::CopyText(error, pszError, cbError);
        return nullptr;
    }
    zel::sim::CopyText({}, pszError, cbError);
    return scenario.release();
}

// The caller's "NAME=VALUE" strings; false with the error written.
bool ReadParameters(const char *const *ppszParameters, ZEL_UINT32 coParameters,
                    std::vector<zel::sim::Parameter> &parameters, char *pszError, ZEL_UINT32 cbError) {
    if (coParameters > ZELSIM_SCENARIO_MAX_PARAMETERS) {
        zel::sim::CopyText("0:0: at most 64 parameters", pszError, cbError);
        return false;
    }
    if (coParameters != 0 && ppszParameters == nullptr) {
        zel::sim::CopyText("0:0: no parameters", pszError, cbError);
        return false;
    }
    for (ZEL_UINT32 i = 0; i < coParameters; ++i) {
        const char *definition = ppszParameters[i];
        std::string error;
        zel::sim::Parameter parameter;
        if (definition == nullptr) {
            error = "parameter " + std::to_string(i) + " is NULL";
        } else {
            // One byte past the longest definition is enough to refuse it.
            std::size_t length = 0;
            while (length <= ZELSIM_SCENARIO_MAX_NAME + 1 + ZELSIM_SCENARIO_MAX_VALUE && definition[length] != '\0')
                ++length;
            zel::sim::ReadParameter({definition, length}, parameter, error);
        }
        if (!error.empty()) {
            zel::sim::CopyText("0:0: " + error, pszError, cbError);
            return false;
        }
        parameters.push_back(std::move(parameter));
    }
    return true;
}

ZelSimScenario *ParseText(const char *pszText, const std::vector<zel::sim::Parameter> &parameters, char *pszError,
                          ZEL_UINT32 cbError) {
    if (pszText == nullptr) {
        zel::sim::CopyText("0:0: no text", pszError, cbError);
        return nullptr;
    }
    // One byte past the limit is enough to refuse a text that is too long.
    std::size_t length = 0;
    while (length <= ZELSIM_SCENARIO_MAX_BYTES && pszText[length] != '\0') ++length;
    return Parse(std::string_view(pszText, length), parameters, pszError, cbError);
}

ZelSimScenario *LoadFile(const char *pszPath, const std::vector<zel::sim::Parameter> &parameters, char *pszError,
                         ZEL_UINT32 cbError) {
    const std::string path = pszPath != nullptr ? pszPath : "";
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
    return Parse(text, parameters, pszError, cbError);
}

}  // namespace

extern "C" {

ZELSIM_API ZelSimScenario *ZEL_CALLCONV ZelSimScenarioParse(const char *pszText, char *pszError, ZEL_UINT32 cbError) {
    return ZelSimScenarioParseWith(pszText, nullptr, 0, pszError, cbError);
}

ZELSIM_API ZelSimScenario *ZEL_CALLCONV ZelSimScenarioLoad(const char *pszPath, char *pszError, ZEL_UINT32 cbError) {
    return ZelSimScenarioLoadWith(pszPath, nullptr, 0, pszError, cbError);
}

ZELSIM_API ZelSimScenario *ZEL_CALLCONV ZelSimScenarioParseWith(const char *pszText, const char *const *ppszParameters,
                                                                ZEL_UINT32 coParameters, char *pszError,
                                                                ZEL_UINT32 cbError) {
    try {
        std::vector<zel::sim::Parameter> parameters;
        if (!ReadParameters(ppszParameters, coParameters, parameters, pszError, cbError)) return nullptr;
        return ParseText(pszText, parameters, pszError, cbError);
    } catch (const std::exception &) {
        zel::sim::CopyText("0:0: out of memory", pszError, cbError);
        return nullptr;
    }
}

ZELSIM_API ZelSimScenario *ZEL_CALLCONV ZelSimScenarioLoadWith(const char *pszPath, const char *const *ppszParameters,
                                                               ZEL_UINT32 coParameters, char *pszError,
                                                               ZEL_UINT32 cbError) {
    try {
        std::vector<zel::sim::Parameter> parameters;
        if (!ReadParameters(ppszParameters, coParameters, parameters, pszError, cbError)) return nullptr;
        return LoadFile(pszPath, parameters, pszError, cbError);
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
