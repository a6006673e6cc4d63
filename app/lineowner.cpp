// SPDX-License-Identifier: GPL-3.0-or-later
#include "lineowner.h"

#include "platform/commcontrol.h"
#include "platform/constants.h"

namespace kestavo::app
{

LineOwner::LineOwner(platform::CommControl& comm1, QObject* parent)
    : QObject(parent), m_comm1(comm1)
{
    m_stopDue.setSingleShot(true);
    m_stopDue.setTimerType(Qt::PreciseTimer);
    connect(&m_stopDue, &QTimer::timeout, this, &LineOwner::sendDueStop);
}

void LineOwner::write(const QString& text)
{
    m_busy = true;
    m_comm1.setOutput(text);
}

void LineOwner::command(const QString& text)
{
    // Newer than anything waiting: a target or a repeated stop would undo it.
    m_target.reset();
    m_stop.reset();
    m_stopDue.stop();
    m_lastStop.reset();
    write(text);
}

void LineOwner::target(const QString& text, std::function<void()> onSent)
{
    m_stop.reset();
    m_stopDue.stop();
    m_target = WaitingTarget{text, std::move(onSent)};
    if (!m_busy)
        sendNext();
}

void LineOwner::stop(const QString& text)
{
    m_target.reset();
    const Clock::time_point now = m_clock();
    if (m_lastStop && now - *m_lastStop < constants::kRepeatedStopInterval) {
        m_stop = text;
        m_stopDue.start(std::chrono::ceil<std::chrono::milliseconds>(
            *m_lastStop + constants::kRepeatedStopInterval - now));
        return;
    }
    m_stop = text;
    sendStop();
}

void LineOwner::sendStop()
{
    const QString text = *m_stop;
    m_stop.reset();
    m_lastStop = m_clock();
    write(text);
}

void LineOwner::sendDueStop()
{
    if (!m_stop)
        return;
    const Clock::time_point due = *m_lastStop + constants::kRepeatedStopInterval;
    if (const Clock::time_point now = m_clock(); now < due) {
        m_stopDue.start(std::chrono::ceil<std::chrono::milliseconds>(due - now));
        return;
    }
    try {
        sendStop();
    } catch (const platform::RuntimeError& error) {
        emit failed(error);
    }
}

void LineOwner::ask(const QString& question)
{
    m_question = question;
    if (!m_busy)
        sendNext();
}

void LineOwner::lineFree()
{
    m_busy = false;
    try {
        sendNext();
    } catch (const platform::RuntimeError& error) {
        emit failed(error);
    }
}

void LineOwner::sendNext()
{
    if (m_target) {
        WaitingTarget waiting = std::move(*m_target);
        m_target.reset();
        m_lastStop.reset();
        write(waiting.text);
        if (waiting.onSent)
            waiting.onSent();
        return;
    }
    if (m_question && !m_stop) {
        const QString question = *m_question;
        m_question.reset();
        m_comm1.discardInput();
        write(question);
        emit questionSent();
    }
}

void LineOwner::sendWaiting()
{
    m_stopDue.stop();
    m_stop.reset();
    m_question.reset();
    if (!m_target)
        return;
    const QString text = m_target->text;
    m_target.reset();
    write(text);
}

} // namespace kestavo::app
