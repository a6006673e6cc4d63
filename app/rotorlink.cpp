// SPDX-License-Identifier: GPL-3.0-or-later
#include "rotorlink.h"

#include "app/bearinganswer.h"
#include "app/heading.h"
#include "app/readback.h"
#include "platform/constants.h"
#include "platform/conversion.h"
#include "platform/runtime.h"

namespace kestavo::app
{
namespace
{

// The controller's resolution: a bearing this close counts as there.
constexpr int kResolutionTenths =
    static_cast<int>(constants::kBearingResolution * kTenthsPerDegree);

[[nodiscard]] int tenthsApart(int a, int b)
{
    const int apart = std::abs(a - b) % kTenthsPerTurn;
    return std::min(apart, kTenthsPerTurn - apart);
}

} // namespace

void x(platform::Ending& ending)
{
    ending.end();
}

RotorLink::RotorLink(platform::CommControl& comm1, QObject* parent)
    : QObject(parent), m_line(comm1), m_comm1(comm1)
{
    connect(&m_line, &LineOwner::failed, this, &RotorLink::failed);
}

RotorLink::~RotorLink() = default;

ReadBack& RotorLink::startReadBack()
{
    m_readBack = std::make_unique<ReadBack>(m_line, m_comm1, m_commandSet);
    connect(m_readBack.get(), &ReadBack::failed, this, &RotorLink::failed);
    connect(m_readBack.get(), &ReadBack::stoodStill, this, &RotorLink::onStoodStill);
    connect(m_readBack.get(), &ReadBack::changed, this, &RotorLink::changed);
    m_readBack->start();
    return *m_readBack;
}

int RotorLink::onLine(const Heading& heading) const
{
    return m_commandSet == CommandSet::Tenths ? heading.tenths : heading.degrees * kTenthsPerDegree;
}

void RotorLink::go(const QString& text)
{
    const std::optional<Heading> heading = headingOf(text);
    std::optional<int> sent;
    if (m_commandSet == CommandSet::OneStep) {
        m_line.command(typedCommand(text));
        sent = plainHeading(text);
    } else if (heading) {
        sent = onLine(*heading);
        m_line.command(positionCommand(m_commandSet, *sent));
    } else {
        emit goRefused(QStringLiteral("\"%1\" is no heading: type degrees from 0 to 359, "
                                      "such as 180%2; nothing was sent.")
                           .arg(platform::visibleText(text), m_commandSet == CommandSet::Tenths
                                                                 ? QStringLiteral(" or 180.5")
                                                                 : QString()));
        return;
    }
    if (heading) {
        m_position = Position{heading->target, 0};
        m_targetGiven = true;
    }
    commandSent(sent);
    emit changed();
}

void RotorLink::commandSent(std::optional<int> heading)
{
    m_lastSent = heading;
    m_resendOnce = false;
    m_stillAt.reset();
    if (m_readBack)
        m_readBack->commandSent(heading);
}

bool RotorLink::stop()
{
    if (!m_readBack)
        return false;
    m_line.stop(QString(stopCommand(m_commandSet)));
    m_targetGiven = false;
    commandSent(std::nullopt);
    emit changed();
    return true;
}

std::optional<Position> RotorLink::position() const
{
    if (!m_readBack)
        return m_position;
    const std::optional<int> bearing = m_readBack->lastBearing();
    if (!bearing)
        return std::nullopt;
    const double degrees = double(*bearing) / kTenthsPerDegree;
    if (m_readBack->answering() && m_targetGiven &&
        degreesApart(degrees, m_position.azimuth) <= constants::kBearingResolution)
        return m_position;
    return Position{degrees, m_position.elevation};
}

std::optional<Position> RotorLink::target() const
{
    return m_targetGiven ? std::optional(m_position) : std::nullopt;
}

void RotorLink::onStoodStill(int bearing)
{
    // A rotor that settles short of the target stands still there again
    // after the resend: that is the same standstill.
    if (m_lastSent && (!m_stillAt || tenthsApart(bearing, *m_stillAt) > kResolutionTenths) &&
        tenthsApart(bearing, *m_lastSent) > kResolutionTenths) {
        m_resendOnce = true;
        m_stillAt = bearing;
    }
}

void RotorLink::turnTo(const Heading& heading, double elevation)
{
    const Position given{heading.target, elevation};
    const bool moved = !m_targetGiven || given.azimuth != m_position.azimuth;
    m_position = given;
    m_targetGiven = true;
    if (moved)
        emit changed();
    const int wanted = onLine(heading);
    if (wanted == m_lastSent && !m_resendOnce) {
        m_line.dropTarget();
        return;
    }
    m_resendOnce = false;
    m_line.target(positionCommand(m_commandSet, wanted), [this, wanted] { targetSent(wanted); });
}

void RotorLink::targetSent(int heading)
{
    if (heading != m_lastSent)
        m_stillAt.reset();
    m_lastSent = heading;
    if (m_readBack)
        m_readBack->commandSent(heading);
}

} // namespace kestavo::app
