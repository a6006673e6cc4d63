// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "readback.h"
#include "xsession.h"

#include "support/xserver.h"

#include <optional>
#include <vector>

namespace kestavo::bench
{

// One program's figures under one X set-up, in round order, so that the
// n-th of Kestavo's and the bare window's belong to the same round.
struct ProgramSamples {
    std::vector<double> startMs;
    std::vector<double> residentMiB; // in the rounds that read memory
    std::vector<double> clickMs;     // in the rounds that click
    std::vector<double> doorMs;      // the same rounds: set_pos through --listen
    std::optional<WindowArea> window;
};

struct ModeSamples {
    support::WindowManager windowManager = support::WindowManager::None;
    ProgramSamples kestavo;
    ProgramSamples kestavoReadBack; // start-up and memory only
    ProgramSamples bare;
    std::optional<ReadBackSamples> readBack; // without a window manager
};

struct RunShape {
    int rounds = 0;
    int clicksPerRun = 0;
};

// Prints the machine, how the figures were taken, a table per X set-up and
// whether each aim was met.
void printReport(const RunShape& shape, const std::vector<ModeSamples>& modes);

} // namespace kestavo::bench
