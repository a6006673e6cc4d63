// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kestavo::virtualrotor
{

// What a line means to the controller: a heading to turn to, or why it was
// not understood.
struct ParsedCommand {
    std::optional<int> heading;
    std::string reason; // empty when heading is set

    friend bool operator==(const ParsedCommand&, const ParsedCommand&) = default;
};

// A position command is the prefix, then a heading of one to three decimal
// digits from 0 to 360, and nothing else. line comes without its CR.
[[nodiscard]] ParsedCommand parseCommand(std::string_view line);

// The line for people: printable ASCII as it is, anything else escaped.
[[nodiscard]] std::string escapedText(std::string_view bytes);

// Each byte as two upper-case hex digits, separated by spaces.
[[nodiscard]] std::string hexBytes(std::string_view bytes);

} // namespace kestavo::virtualrotor
