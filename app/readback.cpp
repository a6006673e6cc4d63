// SPDX-License-Identifier: GPL-3.0-or-later
#include "readback.h"

#include "app/lineowner.h"
#include "platform/commcontrol.h"
#include "platform/constants.h"
#include "platform/errorpath.h"

namespace kestavo::app
{
namespace
{

[[nodiscard]] QString degreesText(int tenths)
{
    return QString::number(double(tenths) / kTenthsPerDegree, 'f',
                           tenths % kTenthsPerDegree ? 1 : 0);
}

} // namespace

ReadBack::ReadBack(LineOwner& line, platform::CommControl& comm1, CommandSet set, int offset,
                   QObject* parent)
    : QObject(parent), m_line(line), m_comm1(comm1), m_set(set), m_offset(offset), m_reader(set)
{
    m_next.setSingleShot(true);
    m_deadline.setSingleShot(true);
    connect(&m_next, &QTimer::timeout, this, &ReadBack::ask);
    connect(&m_deadline, &QTimer::timeout, this, &ReadBack::answerOverdue);
    connect(&m_line, &LineOwner::questionSent, this, &ReadBack::questionSent);
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
    const bool wasStalled = m_stall.stalled();
    m_stall.commandSent(heading, m_commandAt);
    if (wasStalled)
        emit changed();
    m_motion = Motion::Turning;
    m_lastCounted.reset();
    const bool asking = m_question == Question::Waiting || m_question == Question::Out;
    if (m_started && !asking && m_answering)
        m_next.start(constants::kAskWhileTurning);
}

void ReadBack::ask()
{
    if (!m_started || m_question == Question::Waiting || m_question == Question::Out)
        return;
    m_question = Question::Waiting;
    try {
        m_line.ask(QString(bearingQuestion(m_set)));
    } catch (const platform::RuntimeError& error) {
        emit failed(error);
    }
}

void ReadBack::questionSent()
{
    // What came before the question answers nothing.
    m_reader.reset();
    m_question = Question::Out;
    m_answerOpen = true;
    m_askedAt = m_clock();
    m_deadline.start(constants::kAnswerTimeout);
}

void ReadBack::received()
{
    // Read to the end every time, so that a device that never stops
    // talking holds no more than the port's bound.
    for (QString chunk = m_comm1.input(); !chunk.isEmpty(); chunk = m_comm1.input()) {
        if (!m_answerOpen)
            continue;
        if (const std::optional<int> answer = m_reader.take(chunk.toLatin1())) {
            m_answerOpen = false;
            if (m_question == Question::Out) {
                m_question = Question::None;
                m_deadline.stop();
            }
            answered(intoTurn(*answer + m_offset));
        }
    }
}

void ReadBack::answered(int bearing)
{
    m_misses = 0;
    if (!m_answering) {
        m_answering = true;
        (void)platform::notice(
            QStringLiteral("the controller answers again: bearing %1").arg(degreesText(bearing)));
    }
    const bool moved = m_bearing && tenthsApart(*m_bearing, bearing) > kResolutionTenths;
    m_bearing = bearing;
    // Answers to questions asked while the rotor may still be starting
    // tell nothing of where it stops.
    if (m_askedAt - m_commandAt >= constants::kStartingTime) {
        const bool arrived = m_target && tenthsApart(bearing, *m_target) <= kResolutionTenths;
        const bool same =
            m_lastCounted && tenthsApart(*m_lastCounted, bearing) <= kResolutionTenths;
        if (arrived) {
            m_motion = Motion::Still;
        } else if (same && m_motion == Motion::Turning) {
            m_motion = Motion::Still;
            emit stoodStill(bearing);
        } else if (moved) {
            m_motion = Motion::Turning;
        }
        m_lastCounted = bearing;
    }
    // Each stall is told once, when it is found.
    if (m_stall.bearingRead(bearing, m_clock()) && m_stall.stalled()) {
        (void)platform::notice(QStringLiteral("the rotor does not turn: it stays at %1 degrees, "
                                              "short of %2; check its brake, its fuse and the "
                                              "controller")
                                   .arg(degreesText(bearing), degreesText(*m_target)));
    }
    emit changed();
    scheduleNext();
}

void ReadBack::answerOverdue()
{
    if (m_question != Question::Out)
        return;
    m_question = Question::None;
    if (++m_misses == constants::kMissesUntilSilent) {
        m_answering = false;
        (void)platform::notice(
            QStringLiteral("no bearing comes from the controller: it did not "
                           "answer %1 questions (%2). Kestavo asks again every "
                           "%3 s; a controller that takes no bearing question "
                           "needs read-back off.")
                .arg(constants::kMissesUntilSilent)
                .arg(bearingQuestion(m_set))
                .arg(std::chrono::duration_cast<std::chrono::seconds>(constants::kAskWhileSilent)
                         .count()));
        emit changed();
    }
    scheduleNext();
}

bool ReadBack::watchingForAStall() const
{
    // A rotor short of its target is asked as often as a turning one until
    // it is known whether it stalled, so that a stall is told in time.
    const bool away =
        m_target && m_bearing && tenthsApart(*m_bearing, *m_target) > kResolutionTenths;
    return away && !m_stall.stalled() &&
           m_clock() - m_commandAt <
               constants::kStallGrace + constants::kStallWindow + constants::kAskWhileTurning;
}

void ReadBack::scheduleNext()
{
    // A single miss may be noise on the line: asked again soon.
    if (!m_answering)
        m_next.start(constants::kAskWhileSilent);
    else if (m_motion == Motion::Turning || m_misses > 0 || watchingForAStall())
        m_next.start(constants::kAskWhileTurning);
    else
        m_next.start(constants::kAskAtRest);
}

std::optional<int> ReadBack::bearing() const
{
    return m_answering ? m_bearing : std::nullopt;
}

} // namespace kestavo::app
