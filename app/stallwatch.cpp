// SPDX-License-Identifier: GPL-3.0-or-later
#include "stallwatch.h"

#include "app/commandset.h"
#include "platform/constants.h"

#include <algorithm>
#include <cstdlib>

namespace kestavo::app
{
namespace
{

[[nodiscard]] constexpr int tenths(double degrees)
{
    return static_cast<int>(degrees * kTenthsPerDegree);
}

constexpr int kTravelTenths = tenths(constants::kStallMinimumTravel);

// From one bearing to another the short way round, in tenths: -1800..1799.
[[nodiscard]] int offset(int from, int to)
{
    constexpr int kHalfTurn = kTenthsPerTurn / 2;
    return ((to - from) % kTenthsPerTurn + kTenthsPerTurn + kHalfTurn) % kTenthsPerTurn - kHalfTurn;
}

} // namespace

void StallWatch::commandSent(std::optional<int> target, Clock::time_point at)
{
    m_target = target;
    m_countFrom = at + constants::kStallGrace;
    m_window.reset();
    m_stalledAt.reset();
}

bool StallWatch::bearingRead(int bearing, Clock::time_point at)
{
    // Before the grace is over the rotor may still be starting (or backing up).
    if (!m_target || at < m_countFrom)
        return false;
    const bool wasStalled = stalled();

    // Rather than every reading of the last window, one window that starts
    // over at the reading that spreads it to the minimum travel: a rotor
    // that stops is told at most a window after its first reading there.
    // Arriving, or moving on from a stall, starts it over too, so that a
    // bearing on the edge of either does not flip in and out of a stall.
    const bool arrived = std::abs(offset(bearing, *m_target)) <= kResolutionTenths;
    const bool movedOn = m_stalledAt && std::abs(offset(*m_stalledAt, bearing)) >= kTravelTenths;
    if (m_window && !arrived && !movedOn) {
        const int spread = offset(m_window->first, bearing);
        m_window->low = std::min(m_window->low, spread);
        m_window->high = std::max(m_window->high, spread);
    }
    if (!m_window || arrived || movedOn || m_window->high - m_window->low >= kTravelTenths)
        m_window = Window{bearing, at};

    if (arrived || movedOn)
        m_stalledAt.reset();
    else if (!m_stalledAt && at - m_window->since >= constants::kStallWindow)
        m_stalledAt = bearing;
    return stalled() != wasStalled;
}

} // namespace kestavo::app
