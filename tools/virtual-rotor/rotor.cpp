// SPDX-License-Identifier: GPL-3.0-or-later
#include "rotor.h"

#include "constants.h"

#include <algorithm>
#include <cmath>

namespace kestavo::virtualrotor
{
namespace
{

[[nodiscard]] double withinStops(double heading)
{
    return std::clamp(heading, static_cast<double>(constants::kMinHeading),
                      static_cast<double>(constants::kMaxHeading));
}

} // namespace

Rotor::Rotor(double rate, double start, std::optional<double> stallAt)
    : m_rate(rate), m_heading(withinStops(start)), m_target(m_heading)
{
    if (stallAt)
        m_stallAt = withinStops(*stallAt);
}

void Rotor::retarget(double target)
{
    m_target = withinStops(target);
}

int Rotor::bearing() const
{
    return static_cast<int>(std::lround(m_heading)) % constants::kMaxHeading;
}

int Rotor::bearingTenths() const
{
    using namespace constants;
    return static_cast<int>(std::lround(m_heading * kTenthsPerDegree)) %
           (kMaxHeading * kTenthsPerDegree);
}

double Rotor::advance(Seconds elapsed)
{
    if (elapsed.count() <= 0 || m_stalled || arrived())
        return m_heading;
    const double from = m_heading;
    const double step = m_rate * elapsed.count();
    // Both ends lie within the stops, so the straight way never crosses one.
    if (m_heading < m_target)
        m_heading = std::min(m_heading + step, m_target);
    else
        m_heading = std::max(m_heading - step, m_target);
    // Checked over the whole step, which may pass the stall heading between
    // two ticks; a turn that starts there stalls at once.
    if (m_stallAt && std::min(from, m_heading) <= *m_stallAt &&
        *m_stallAt <= std::max(from, m_heading)) {
        m_heading = *m_stallAt;
        m_stalled = true;
    }
    return m_heading;
}

} // namespace kestavo::virtualrotor
