// SPDX-License-Identifier: GPL-3.0-or-later
#include "rotorlink.h"

#include "app/bearinganswer.h"
#include "app/heading.h"
#include "app/locator.h"
#include "app/readback.h"
#include "platform/constants.h"
#include "platform/conversion.h"
#include "platform/errorpath.h"
#include "platform/runtime.h"

#include <cmath>

namespace kestavo::app
{

void x(platform::Ending& ending)
{
    ending.end();
}

RotorLink::RotorLink(platform::CommControl& comm1, QObject* parent)
    : QObject(parent), m_line(comm1), m_comm1(comm1)
{
    connect(&m_line, &LineOwner::failed, this, &RotorLink::failed);
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, &RotorLink::parkIfIdle);
}

void RotorLink::setClock(std::function<std::chrono::steady_clock::time_point()> clock)
{
    m_clock = std::move(clock);
    m_line.setClock(m_clock);
    if (m_readBack)
        m_readBack->setClock(m_clock);
}

void RotorLink::setStation(const Station& station)
{
    m_station = station;
    commandGiven();
}

void RotorLink::commandGiven()
{
    m_lastCommand = m_clock();
    m_parkedIdle = false;
    if (m_station.parkAfterMinutes)
        m_idle.start(std::chrono::minutes(*m_station.parkAfterMinutes));
}

void RotorLink::parkIfIdle()
{
    if (!m_station.parkAfterMinutes || m_parkedIdle)
        return;
    const auto idle = std::chrono::minutes(*m_station.parkAfterMinutes);
    if (const auto now = m_clock(); now - m_lastCommand < idle) {
        m_idle.start(std::chrono::ceil<std::chrono::milliseconds>(m_lastCommand + idle - now));
        return;
    }
    try {
        park();
    } catch (const platform::RuntimeError& error) {
        emit failed(error);
        return;
    }
    m_parkedIdle = true;
    const QString heading = QString::number(m_station.parkHeading());
    const QString minutes = QString::number(*m_station.parkAfterMinutes);
    (void)platform::notice(QStringLiteral("parked at %1 degrees after %2 minutes without a command")
                               .arg(heading, minutes));
    emit told(
        QStringLiteral("Parked at %1\u00B0 after %2 min without a command").arg(heading, minutes),
        QStringLiteral("Parked at %1 degrees after %2 minutes without a command")
            .arg(heading, minutes));
}

RotorLink::~RotorLink() = default;

ReadBack& RotorLink::startReadBack()
{
    m_readBack = std::make_unique<ReadBack>(m_line, m_comm1, m_commandSet,
                                            m_station.offset.value_or(0) * kTenthsPerDegree);
    m_readBack->setClock(m_clock);
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

int RotorLink::onLine(double bearing) const
{
    // As a target is rounded, to the set's step and into one turn.
    const int step = resolution(m_commandSet);
    const long steps = std::lround(bearing * kTenthsPerDegree / step);
    return intoTurn(static_cast<int>(steps) * step);
}

int RotorLink::toController(int bearing) const
{
    const int offset = m_station.offset.value_or(0) * kTenthsPerDegree;
    return intoTurn(bearing - offset);
}

void RotorLink::sendCommand(int bearing, double target)
{
    m_line.command(positionCommand(m_commandSet, toController(bearing)));
    m_position = Position{target, 0};
    m_targetGiven = true;
    commandSent(bearing);
    commandGiven();
    emit changed();
}

void RotorLink::park()
{
    sendCommand(onLine(m_station.parkHeading()), m_station.parkHeading());
}

void RotorLink::go(const QString& text, Text rule)
{
    if (m_station.home && !headingOf(text)) {
        if (const std::optional<LocatorTarget> wanted = locatorTarget(text)) {
            const std::optional<Aim> aimed = aim(*m_station.home, *wanted);
            const AimText said = aimed ? aimText(*wanted, *aimed) : AimText{};
            if (!aimed || aimed->tooClose) {
                emit goRefused(said.shown);
                return;
            }
            sendCommand(onLine(aimed->bearing), aimed->bearing);
            emit told(said.shown, said.spoken);
            return;
        }
    }
    const std::optional<Heading> heading = headingOf(text);
    std::optional<int> sent;
    if (m_commandSet == CommandSet::OneStep && !m_station.offset && rule == Text::AsTyped) {
        m_line.command(typedCommand(text));
        sent = plainHeading(text);
    } else if (heading) {
        sent = onLine(*heading);
        m_line.command(positionCommand(m_commandSet, toController(*sent)));
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
    commandGiven();
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
    commandGiven();
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

bool RotorLink::stalled() const
{
    return m_readBack && m_readBack->stalled();
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
    commandGiven();
    const int wanted = onLine(heading);
    if (wanted == m_lastSent && !m_resendOnce) {
        m_line.dropTarget();
        return;
    }
    m_resendOnce = false;
    m_line.target(positionCommand(m_commandSet, toController(wanted)),
                  [this, wanted] { targetSent(wanted); });
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
