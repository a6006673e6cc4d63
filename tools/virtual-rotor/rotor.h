// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>

namespace kestavo::virtualrotor
{

// A rotor that turns at a steady rate between its end stops at 0 and 360
// degrees. It goes straight to its target and never across the stop, as a
// real one must.
class Rotor
{
public:
    using Seconds = std::chrono::duration<double>;

    // rate in degrees per second, > 0; start is clamped into 0..360.
    explicit Rotor(double rate, double start);

    // Turns from wherever it is now towards target, clamped into 0..360.
    void retarget(double target);

    // Stays where it is now.
    void stop() { m_target = m_heading; }

    // Moves on by what the rotor covers in elapsed; returns the new heading.
    double advance(Seconds elapsed);

    [[nodiscard]] double heading() const { return m_heading; }
    [[nodiscard]] double target() const { return m_target; }
    [[nodiscard]] bool arrived() const { return m_heading == m_target; }
    // The heading in whole degrees as the controller reports it: 0 to 359,
    // so 360 is 0.
    [[nodiscard]] int bearing() const;
    // The same in tenths of a degree: 0 to 3599, so 360.0 is 0.0.
    [[nodiscard]] int bearingTenths() const;

private:
    double m_rate;
    double m_heading;
    double m_target;
};

} // namespace kestavo::virtualrotor
