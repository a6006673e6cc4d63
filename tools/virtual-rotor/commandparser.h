// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "constants.h"

#include <optional>
#include <string>
#include <string_view>

namespace kestavo::virtualrotor
{

// The commands a controller takes, each set as one kind of controller does.
enum class CommandSet { OneStep, TwoStep, Tenths };
// Where the ; of a whole-degree bearing answer goes.
enum class AnswerForm { Leading, Trailing };

[[nodiscard]] std::string_view commandSetName(CommandSet set);
[[nodiscard]] std::optional<CommandSet> commandSetNamed(std::string_view name);

// Turn goes to heading at once; SetTarget only keeps heading for a later
// Move; Forget drops what SetTarget kept.
enum class Action { Turn, SetTarget, Move, Query, Stop, Forget, None };

// What a line means to the controller: a heading to turn to, a question for
// the bearing, a stop, or why it was not understood.
struct ParsedCommand {
    std::optional<double> heading; // with Turn and SetTarget
    std::string reason;            // with None
    Action action = Action::None;

    friend bool operator==(const ParsedCommand&, const ParsedCommand&) = default;
};

// One-step: the prefix, then one to three decimal digits from 0 to 360, ended
// by CR or ;, turns; AI1; asks the bearing and a lone ; stops.
// Two-step: the prefix and exactly three digits, ended by ;, sets the target,
// AM1; turns to it, AS1; stops, AI1; asks and a lone ; forgets the target.
// Tenths: the prefix and ddd.d, ended by CR, turns; BI1; asks and a lone ;
// stops. line comes without the end.
[[nodiscard]] ParsedCommand parseCommand(std::string_view line, char end = constants::kCommandEnd,
                                         CommandSet set = CommandSet::OneStep);

// The line for people: printable ASCII as it is, anything else escaped.
[[nodiscard]] std::string escapedText(std::string_view bytes);

// Each byte as two upper-case hex digits, separated by spaces.
[[nodiscard]] std::string hexBytes(std::string_view bytes);

} // namespace kestavo::virtualrotor
