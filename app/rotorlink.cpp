// SPDX-License-Identifier: GPL-3.0-or-later
#include "rotorlink.h"

#include "app/heading.h"
#include "app/readback.h"
#include "platform/commcontrol.h"
#include "platform/constants.h"
#include "platform/runtime.h"

namespace kestavo::app
{
namespace
{

[[nodiscard]] QString positionCommand(const QString& target)
{
    return QString(constants::kCommandPrefix) + target + QChar(constants::kCommandEnd);
}

} // namespace

void go(platform::CommControl& comm1, const QString& target)
{
    comm1.setOutput(positionCommand(target));
}

void x(platform::Ending& ending)
{
    ending.end();
}

RotorLink::RotorLink(platform::CommControl& comm1, QObject* parent)
    : QObject(parent), m_comm1(comm1)
{
    m_poll.setInterval(constants::kLinePollInterval);
    connect(&m_poll, &QTimer::timeout, this, &RotorLink::onPoll);
}

RotorLink::~RotorLink() = default;

ReadBack& RotorLink::startReadBack()
{
    m_readBack = std::make_unique<ReadBack>(m_comm1);
    connect(m_readBack.get(), &ReadBack::failed, this, &RotorLink::failed);
    connect(m_readBack.get(), &ReadBack::stoodStill, this, &RotorLink::onStoodStill);
    connect(m_readBack.get(), &ReadBack::changed, this, &RotorLink::changed);
    m_readBack->start();
    return *m_readBack;
}

void RotorLink::go(const QString& target)
{
    m_waiting.reset();
    app::go(m_comm1, target);
    const std::optional<Heading> heading = headingOf(target);
    if (heading) {
        m_position = Position{heading->target, 0};
        m_targetGiven = true;
    }
    m_lastSent = heading ? std::optional(heading->degrees) : std::nullopt;
    m_resendOnce = false;
    m_stillAt.reset();
    if (m_readBack)
        m_readBack->commandSent(m_lastSent);
    emit changed();
}

bool RotorLink::stop()
{
    if (!m_readBack)
        return false;
    m_waiting.reset();
    m_comm1.setOutput(QString(constants::kStopCommand));
    m_lastSent.reset();
    m_resendOnce = false;
    m_stillAt.reset();
    m_readBack->commandSent(std::nullopt);
    return true;
}

Position RotorLink::position() const
{
    const std::optional<int> bearing = m_readBack ? m_readBack->bearing() : std::nullopt;
    if (!bearing || degreesApart(*bearing, m_position.azimuth) <= constants::kBearingResolution)
        return m_position;
    return Position{double(*bearing), m_position.elevation};
}

void RotorLink::onStoodStill(int bearing)
{
    // A rotor that settles short of the target stands still there again
    // after the resend: that is the same standstill.
    if (m_lastSent && bearing != m_stillAt &&
        degreesApart(bearing, *m_lastSent) > constants::kBearingResolution) {
        m_resendOnce = true;
        m_stillAt = bearing;
    }
}

std::optional<Position> RotorLink::target() const
{
    return m_targetGiven ? std::optional(m_position) : std::nullopt;
}

void RotorLink::turnTo(int heading, Position target)
{
    const bool moved = !m_targetGiven || target.azimuth != m_position.azimuth;
    m_position = target;
    m_targetGiven = true;
    if (moved)
        emit changed();
    if (heading == m_lastSent && !m_resendOnce) {
        m_waiting.reset();
        return;
    }
    m_resendOnce = false;
    // The timer runs exactly while a network command may still be waiting.
    if (m_poll.isActive() && m_comm1.outBufferCount() > 0) {
        m_waiting = heading;
        return;
    }
    m_waiting.reset();
    send(heading);
}

void RotorLink::sendWaiting()
{
    m_poll.stop();
    if (m_waiting)
        app::go(m_comm1, headingText(*m_waiting));
    m_waiting.reset();
}

void RotorLink::send(int heading)
{
    app::go(m_comm1, headingText(heading));
    if (heading != m_lastSent)
        m_stillAt.reset();
    m_lastSent = heading;
    if (m_readBack)
        m_readBack->commandSent(heading);
    m_poll.start();
}

void RotorLink::onPoll()
{
    try {
        if (m_comm1.outBufferCount() > 0)
            return;
        if (!m_waiting) {
            m_poll.stop();
            return;
        }
        const int heading = *m_waiting;
        m_waiting.reset();
        send(heading);
    } catch (const platform::RuntimeError& error) {
        m_poll.stop();
        emit failed(error);
    }
}

} // namespace kestavo::app
