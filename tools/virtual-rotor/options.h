// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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
};

struct ParsedOptions {
    Options options;
    std::string error; // empty when the command line was understood
};

// Reads --port N, --rate DEG_PER_S, --start DEG and --help (also as --name=value).
[[nodiscard]] ParsedOptions parseOptions(const std::vector<std::string_view>& arguments);

[[nodiscard]] std::string usage();

} // namespace kestavo::virtualrotor
