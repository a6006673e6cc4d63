// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/bearinganswer.h"
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

// Asks the controller where the rotor points, and reads the answers: often
// while it may be turning, now and then at rest, seldom while no answer
// comes. One question at most is out, and none is asked while a command is
// still on its way out; a command never waits for one.
class ReadBack final : public QObject
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    explicit ReadBack(platform::CommControl& comm1, QObject* parent = nullptr);

    // Asks the first question; until then nothing is asked.
    void start();

    // A command went out: a target (nullopt for a stop, or a text that is
    // no heading). The rotor may turn until it arrives or stands still.
    void commandSent(std::optional<int> heading);

    // The line has bytes for input().
    void received();

    // Asks now, unless a question is out or a command still leaves.
    void ask();

    // The controller's last answer; nullopt before the first and while it
    // does not answer.
    [[nodiscard]] std::optional<int> bearing() const;
    [[nodiscard]] bool answering() const { return m_answering; }

    // Tests see time pass through this.
    void setClock(std::function<Clock::time_point()> clock) { m_clock = std::move(clock); }

signals:
    // The bearing, or whether one comes, changed.
    void changed();
    // The rotor stands still, at bearing: two answers in a row agree, after
    // the bearing moved or a command went out.
    void stoodStill(int bearing);
    // A question could not be written.
    void failed(const kestavo::platform::RuntimeError& error);

private:
    void answered(int bearing, Clock::time_point askedAt);
    void missed();
    void scheduleNext();

    platform::CommControl& m_comm1;
    std::function<Clock::time_point()> m_clock = [] { return Clock::now(); };
    AnswerReader m_reader;
    QTimer m_next;
    QTimer m_deadline;
    bool m_started = false;
    std::optional<Clock::time_point> m_askedAt; // the question out
    Clock::time_point m_commandAt;
    std::optional<int> m_target;
    bool m_turning = false; // asked often until it arrives or stands still
    bool m_still = false;   // standing still has been told
    std::optional<int> m_lastCounted;
    std::optional<int> m_bearing;
    int m_misses = 0;
    bool m_answering = true;
};

} // namespace kestavo::app
