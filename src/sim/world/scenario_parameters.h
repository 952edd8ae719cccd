// Scenario parameters: "NAME=VALUE" definitions, substituted for ${NAME}
// in a scenario's text before it is parsed. The control command substitutes
// them itself and sends the board service the text it parsed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zel::sim {

struct Parameter {
    std::string name;
    std::string value;
};

// "NAME=VALUE": true with the parameter, or false with why not in error.
bool ReadParameter(std::string_view definition, Parameter &parameter, std::string &error);

// Checks the text as a scenario with the parameters: true, or false with
// "line:column: message" (as written) in error.
bool CheckScenario(std::string_view text, const std::vector<Parameter> &parameters, std::string &error);

// The text with its parameters substituted and its comments left out, line
// for line, so that a parse of it without parameters gives the same steps;
// false with "line:column: message" in error.
bool ExpandScenario(std::string_view text, const std::vector<Parameter> &parameters, std::string &expanded,
                    std::string &error);

}  // namespace zel::sim
