// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/bearinganswer.h"
#include "app/commandset.h"
#include "app/stallwatch.h"
#include "platform/runtimeerror.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

namespace kestavo::platform
{
class CommControl;
}

namespace kestavo::app
{

class LineOwner;

// Asks the controller where the rotor points, and reads the answers: often
// while it may be turning, now and then at rest, seldom while no answer
// comes. The line's owner sends each question when nothing else waits; one
// at most is out. Bearings are in tenths of a degree.
class ReadBack final : public QObject
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    // offset (tenths) is added to every answer: the controller's scale is
    // the antenna's bearing minus it.
    explicit ReadBack(LineOwner& line, platform::CommControl& comm1, CommandSet set, int offset = 0,
                      QObject* parent = nullptr);

    // Asks the first question; until then nothing is asked.
    void start();

    // A command went out: a target (nullopt for a stop, or a text that is
    // no heading). The rotor may turn until it arrives or stands still.
    void commandSent(std::optional<int> heading);

    // The line has bytes for input().
    void received();

    // Asks, unless a question is out or waits for the line.
    void ask();

    // The controller's last bearing; nullopt before the first and while it
    // does not answer.
    [[nodiscard]] std::optional<int> bearing() const;
    // The last bearing it gave, answering or not.
    [[nodiscard]] std::optional<int> lastBearing() const { return m_bearing; }
    [[nodiscard]] bool answering() const { return m_answering; }
    // The rotor was sent somewhere and does not turn.
    [[nodiscard]] bool stalled() const { return m_stall.stalled(); }

    // The question out has had its time: a miss, though its answer still
    // counts until the next question. Its timer calls it.
    void answerOverdue();

    // Tests see time pass through this.
    void setClock(std::function<Clock::time_point()> clock) { m_clock = std::move(clock); }

signals:
    // The bearing, whether one comes, or whether the rotor turns changed.
    void changed();
    // The rotor stands still, at bearing: two answers in a row within a
    // degree, after the bearing moved or a command went out.
    void stoodStill(int bearing);
    // A question could not be written.
    void failed(const kestavo::platform::RuntimeError& error);

private:
    // Where the last question is: none to wait for, waiting for the line,
    // or out within its deadline.
    enum class Question { None, Waiting, Out };
    // What the answers say of the rotor since the last command.
    enum class Motion { Turning, Still };

    void questionSent();
    void answered(int bearing);
    void scheduleNext();
    [[nodiscard]] bool watchingForAStall() const;

    LineOwner& m_line;
    platform::CommControl& m_comm1;
    CommandSet m_set;
    int m_offset;
    StallWatch m_stall;
    std::function<Clock::time_point()> m_clock = [] { return Clock::now(); };
    AnswerReader m_reader;
    QTimer m_next;
    QTimer m_deadline;
    bool m_started = false;
    Question m_question = Question::None;
    // The last question's answer still counts, however late, until the
    // next question goes out.
    bool m_answerOpen = false;
    Clock::time_point m_askedAt;
    Clock::time_point m_commandAt;
    std::optional<int> m_target;
    Motion m_motion = Motion::Turning;
    std::optional<int> m_lastCounted;
    std::optional<int> m_bearing;
    int m_misses = 0;
    bool m_answering = true;
};

} // namespace kestavo::app
