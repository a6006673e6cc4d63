// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "constants.h"

#include <optional>
#include <string>
#include <string_view>

namespace kestavo::virtualrotor
{

enum class Action { Turn, Query, Stop, None };

// What a line means to the controller: a heading to turn to, a question for
// the bearing, a stop, or why it was not understood.
struct ParsedCommand {
    std::optional<int> heading; // with Turn
    std::string reason;         // with None
    Action action = Action::None;

    friend bool operator==(const ParsedCommand&, const ParsedCommand&) = default;
};

// A position command is the prefix, then a heading of one to three decimal
// digits from 0 to 360, and nothing else, ended by CR or ;. The bearing query
// is AI1 and the stop an empty line, both ended by ;. line comes without the
// end.
[[nodiscard]] ParsedCommand parseCommand(std::string_view line, char end = constants::kCommandEnd);

// The line for people: printable ASCII as it is, anything else escaped.
[[nodiscard]] std::string escapedText(std::string_view bytes);

// Each byte as two upper-case hex digits, separated by spaces.
[[nodiscard]] std::string hexBytes(std::string_view bytes);

} // namespace kestavo::virtualrotor
