// "zelsim cassette show|diff|stats": reading cassettes, with no service.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zel::service {

inline constexpr const char *kCassetteUsage = "cassette show FILE | diff A B | stats FILE";
inline constexpr const char *kCassetteHelp =
    "Reads cassettes (recordings of what a board answered), no service needed: show decodes every record by\n"
    "its words' names, with its time in seconds; diff finds the first request or reply where B departs from A\n"
    "and names the words that differ (exit 1 when they differ); stats counts requests per operation and\n"
    "results, and gives the recording's duration. A bad file is reported as FILE:LINE: message (exit 1).";

// Runs the subcommand with its arguments (after "cassette"); returns the
// exit status: 0 done, 1 a bad file or (diff) cassettes that differ, 2 usage.
int CassetteCommand(const std::vector<std::string> &args, std::FILE *out, std::FILE *err);

}  // namespace zel::service
