// SPDX-License-Identifier: GPL-3.0-or-later
#include "rotorlink.h"

#include "app/heading.h"
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

void RotorLink::go(const QString& target)
{
    m_waiting.reset();
    app::go(m_comm1, target);
    if (const std::optional<Heading> heading = headingOf(target))
        m_position = Position{heading->target, 0};
}

void RotorLink::turnTo(int heading, Position target)
{
    m_position = target;
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
