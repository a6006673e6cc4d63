// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "commandparser.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestavo::virtualrotor
{

struct Options {
    int port = 0;
    double rate = 0;
    double start = 0;
    bool help = false;
    // Takes commands but sends nothing back.
    bool mute = false;
    // How late every answer goes out.
    std::chrono::milliseconds answerDelay{0};
    bool strayByte = false;
    CommandSet commandSet = CommandSet::OneStep;
    AnswerForm answerForm = AnswerForm::Leading;
    // The heading at which the rotor stops turning for good.
    std::optional<double> stallAfter;
    // What the antenna's bearing is plus the controller's heading; only the
    // notes on standard output show it.
    std::optional<int> offset;
};

struct ParsedOptions {
    Options options;
    std::string error; // empty when the command line was understood
};

// Reads --port N, --rate DEG_PER_S, --start DEG, --answer-delay MS,
// --command-set NAME, --answer-form leading|trailing, --stall-after DEG,
// --offset DEG (also as --name=value), --mute, --stray-byte and --help.
[[nodiscard]] ParsedOptions parseOptions(const std::vector<std::string_view>& arguments);

[[nodiscard]] std::string usage();

} // namespace kestavo::virtualrotor
