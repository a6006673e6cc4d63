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

Rotor::Rotor(double rate, double start)
    : m_rate(rate), m_heading(withinStops(start)), m_target(m_heading)
{
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
    if (elapsed.count() <= 0)
        return m_heading;
    const double step = m_rate * elapsed.count();
    // Both ends lie within the stops, so the straight way never crosses one.
    if (m_heading < m_target)
        m_heading = std::min(m_heading + step, m_target);
    else if (m_heading > m_target)
        m_heading = std::max(m_heading - step, m_target);
    return m_heading;
}

} // namespace kestavo::virtualrotor
