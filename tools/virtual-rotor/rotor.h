// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>

namespace kestavo::virtualrotor
{

// A rotor that turns at a steady rate between its end stops at 0 and 360
// degrees. It goes straight to its target and never across the stop, as a
// real one must. Given a stall heading, it stops for good once a turn brings
// it there, as with a stuck brake or a blown fuse.
class Rotor
{
public:
    using Seconds = std::chrono::duration<double>;

    // rate in degrees per second, > 0; start and stallAt are clamped into
    // 0..360.
    explicit Rotor(double rate, double start, std::optional<double> stallAt = std::nullopt);

    // Turns from wherever it is now towards target, clamped into 0..360. A
    // stalled rotor takes the target but does not move.
    void retarget(double target);

    // Stays where it is now.
    void stop() { m_target = m_heading; }

    // Moves on by what the rotor covers in elapsed; returns the new heading.
    double advance(Seconds elapsed);

    [[nodiscard]] double heading() const { return m_heading; }
    [[nodiscard]] double target() const { return m_target; }
    [[nodiscard]] bool arrived() const { return m_heading == m_target; }
    [[nodiscard]] bool stalled() const { return m_stalled; }
    // The heading in whole degrees as the controller reports it: 0 to 359,
    // so 360 is 0.
    [[nodiscard]] int bearing() const;
    // The same in tenths of a degree: 0 to 3599, so 360.0 is 0.0.
    [[nodiscard]] int bearingTenths() const;

private:
    double m_rate;
    double m_heading;
    double m_target;
    std::optional<double> m_stallAt;
    bool m_stalled = false;
};

} // namespace kestavo::virtualrotor
