// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/runtimeerror.h"

#include <QObject>
#include <QString>
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

// The one way onto the line once Kestavo runs: whatever the clients ask,
// at most a target, a stop and a question wait here, and a question never
// holds up a command.
// - A command (GO) goes out at once, one per call, in order.
// - A target waits while the line is busy; a newer one replaces it.
// - A stop drops a waiting target and goes out at once, unless it repeats
//   a stop with nothing between: then it waits until a second after that.
// - A question goes out only when the line is free and nothing else waits.
// The line is busy from a write until the port tells that all of it left.
class LineOwner final : public QObject
{
    Q_OBJECT

public:
    using Clock = std::chrono::steady_clock;

    explicit LineOwner(platform::CommControl& comm1, QObject* parent = nullptr);

    // Throws what the port throws.
    void command(const QString& text);
    // onSent runs once the target is written; a replaced one never is.
    void target(const QString& text, std::function<void()> onSent);
    // A target that waits is no longer wanted.
    void dropTarget() { m_target.reset(); }
    void stop(const QString& text);
    // What the controller already received is dropped first: it answers
    // nothing asked since.
    void ask(const QString& question);

    // At the end: a waiting target goes out, as its client was told it
    // was taken. A waiting stop or question is dropped.
    void sendWaiting();

    // Sends a repeated stop once its second is up; its timer calls it.
    void sendDueStop();

    void setClock(std::function<Clock::time_point()> clock) { m_clock = std::move(clock); }

public slots:
    // Everything written has left the line.
    void lineFree();

signals:
    void questionSent();
    // A write made outside any caller's call failed.
    void failed(const kestavo::platform::RuntimeError& error);

private:
    struct WaitingTarget {
        QString text;
        std::function<void()> onSent;
    };

    void write(const QString& text);
    void sendNext();
    void sendStop();

    platform::CommControl& m_comm1;
    std::function<Clock::time_point()> m_clock = [] { return Clock::now(); };
    bool m_busy = false;
    std::optional<WaitingTarget> m_target;
    std::optional<QString> m_stop; // a repeated stop, until its second is up
    std::optional<QString> m_question;
    std::optional<Clock::time_point> m_lastStop; // with nothing sent since
    QTimer m_stopDue;
};

} // namespace kestavo::app
