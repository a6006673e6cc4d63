// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>

namespace kestavo::app
{

// Tells, from the bearings read back, when the rotor does not turn although
// it was sent somewhere: from kStallGrace after the command, its bearing
// moves less than kStallMinimumTravel within kStallWindow while it is more
// than the controller's resolution from the target. The stall ends when it
// moves that far again, arrives, or a new command goes out. Fed by the
// caller, at whatever rate the answers come; keeps no history.
class StallWatch
{
public:
    using Clock = std::chrono::steady_clock;

    // A command went out at `at`: a target in tenths, or nullopt (a stop, or
    // a text that is no heading). Ends any stall.
    void commandSent(std::optional<int> target, Clock::time_point at);
    // An answer: the bearing, in tenths, read at `at`. Returns whether the
    // stall state changed (so the caller tells the window / stderr).
    [[nodiscard]] bool bearingRead(int bearing, Clock::time_point at);
    [[nodiscard]] bool stalled() const { return m_stalledAt.has_value(); }

private:
    // The readings since the window's first one, as its spread round the
    // circle: offsets in tenths from that first bearing.
    struct Window {
        int first;
        Clock::time_point since;
        int low = 0;
        int high = 0;
    };

    std::optional<int> m_target;
    Clock::time_point m_countFrom;
    std::optional<Window> m_window;
    std::optional<int> m_stalledAt; // the bearing where the stall was found
};

} // namespace kestavo::app
