// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace kestavo::support
{
class PseudoTerminal;
}

namespace kestavo::bench
{

// What Kestavo put on the line for bearing questions over a stretch of
// time, from one question's first byte to a later one's.
struct LineUse {
    int questions = 0;
    std::chrono::duration<double> span{};
};

// The share of the line's time, in percent, that the questions' bytes take
// at Kestavo's line speed.
[[nodiscard]] double linePercent(const LineUse& use);

struct ReadBackSamples {
    // From the benchmark writing an answer with a new bearing to a p
    // through the front door bringing it back.
    std::vector<double> ageMs;
    // The round trips of those p, back to back: the grain of the age.
    std::vector<double> pollMs;
    // Answers the first p after them had already: their age is at most
    // that p's round trip.
    int shownAtOnce = 0;
    LineUse still;
    LineUse turning;
};

// Plays the controller on line for a Kestavo started with --read-back and
// --listen port whose window is up: answers its questions while the rotor
// stands still, then sends it a target through the door and answers with a
// bearing that moves, never reaching the target.
[[nodiscard]] ReadBackSamples playController(support::PseudoTerminal& line, std::uint16_t port);

} // namespace kestavo::bench
