// SPDX-License-Identifier: GPL-3.0-or-later
#include "readback.h"

#include "platform/commcontrol.h"
#include "platform/constants.h"
#include "platform/errorpath.h"

namespace kestavo::app
{

ReadBack::ReadBack(platform::CommControl& comm1, QObject* parent) : QObject(parent), m_comm1(comm1)
{
    m_next.setSingleShot(true);
    m_deadline.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &ReadBack::ask);
    connect(&m_deadline, &QTimer::timeout, this, &ReadBack::missed);
}

void ReadBack::start()
{
    m_started = true;
    ask();
}

void ReadBack::commandSent(std::optional<int> heading)
{
    m_commandAt = m_clock();
    m_target = heading;
    m_turning = true;
    m_still = false;
    m_lastCounted.reset();
    if (m_started && !m_askedAt && m_answering)
        m_next.start(constants::kAskWhileTurning);
}

void ReadBack::ask()
{
    if (!m_started || m_askedAt)
        return;
    try {
        // Behind a command a question would be answered late, and it must
        // never hold one up: it waits until the line is free.
        if (m_comm1.outBufferCount() > 0) {
            m_next.start(constants::kLinePollInterval);
            return;
        }
        // What came before the question answers nothing.
        m_comm1.discardInput();
        m_reader.reset();
        m_comm1.setOutput(QString(constants::kBearingQuestion));
    } catch (const platform::RuntimeError& error) {
        emit failed(error);
        return;
    }
    m_askedAt = m_clock();
    m_deadline.start(constants::kAnswerTimeout);
}

void ReadBack::received()
{
    // Read to the end every time, so that a device that never stops
    // talking holds no more than the port's bound.
    for (QString chunk = m_comm1.input(); !chunk.isEmpty(); chunk = m_comm1.input()) {
        if (!m_askedAt)
            continue;
        if (const std::optional<int> answer = m_reader.take(chunk.toLatin1())) {
            const Clock::time_point askedAt = *m_askedAt;
            m_askedAt.reset();
            m_deadline.stop();
            answered(*answer, askedAt);
        }
    }
}

void ReadBack::answered(int bearing, Clock::time_point askedAt)
{
    m_misses = 0;
    if (!m_answering) {
        m_answering = true;
        (void)platform::notice(
            QStringLiteral("the controller answers again: bearing %1").arg(bearing));
    }
    const bool moved = m_bearing && *m_bearing != bearing;
    m_bearing = bearing;
    // Answers to questions asked while the rotor may still be starting
    // tell nothing of where it stops.
    if (askedAt - m_commandAt >= constants::kStartingTime) {
        if (moved) {
            m_turning = true;
            m_still = false;
        }
        const bool arrived =
            m_target && degreesApart(bearing, *m_target) <= constants::kBearingResolution;
        if (arrived) {
            m_turning = false;
            m_still = true;
        } else if (m_lastCounted == bearing && !m_still) {
            m_turning = false;
            m_still = true;
            emit stoodStill(bearing);
        }
        m_lastCounted = bearing;
    }
    emit changed();
    scheduleNext();
}

void ReadBack::missed()
{
    m_askedAt.reset();
    if (++m_misses == constants::kMissesUntilSilent) {
        m_answering = false;
        (void)platform::notice(
            QStringLiteral("no bearing comes from the controller: it did not "
                           "answer %1 questions (%2). Kestavo asks again every "
                           "%3 s; a controller that takes no bearing question "
                           "needs read-back off.")
                .arg(constants::kMissesUntilSilent)
                .arg(constants::kBearingQuestion)
                .arg(std::chrono::duration_cast<std::chrono::seconds>(constants::kAskWhileSilent)
                         .count()));
        emit changed();
    }
    scheduleNext();
}

void ReadBack::scheduleNext()
{
    // A single miss may be noise on the line: asked again soon.
    if (!m_answering)
        m_next.start(constants::kAskWhileSilent);
    else if (m_turning || m_misses > 0)
        m_next.start(constants::kAskWhileTurning);
    else
        m_next.start(constants::kAskAtRest);
}

std::optional<int> ReadBack::bearing() const
{
    return m_answering ? m_bearing : std::nullopt;
}

} // namespace kestavo::app
