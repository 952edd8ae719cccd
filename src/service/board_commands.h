// The commands of a control connection, each on the service's board: what
// "zelsim status", the stimuli of the world and the others do once the
// words have arrived. Sockets are not its business (control.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "control_host.h"

namespace zel::service {

// A command line's bound, LF included.
inline constexpr std::size_t kMaxCommandLine = 4096;

enum class CommandStatus { kOk, kFailed, kUnknown };

struct CommandOutcome {
    CommandStatus status = CommandStatus::kOk;
    std::string output;  // lines of text, each ending in LF
    std::string reason;  // for kFailed and kUnknown: one line
};

// The words of a command line, split at spaces and tabs.
std::vector<std::string> SplitWords(const std::string &line);

// Runs one command; "run" takes the scenario's text. "trace" is not one of
// these: it lasts as long as its connection.
CommandOutcome RunBoardCommand(ControlHost &host, const std::vector<std::string> &words, const std::string &scenario);

}  // namespace zel::service
