// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/runtimeerror.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

namespace kestavo::platform
{
class CommControl;
class Ending;
} // namespace kestavo::platform

namespace kestavo::app
{

// GO: sends one position command, "AP1", the target text and CR. Nothing is trimmed,
// checked or awaited; the text box and the focus are left as they are.
void go(platform::CommControl& comm1, const QString& target);

// X: ends the program at once.
void x(platform::Ending& ending);

// The rotor as both doors reach it: the window's GO and the network's
// targets go out through go() on the same port, and the last heading sent
// either way is kept for the clients that ask.
class RotorLink final : public QObject
{
    Q_OBJECT

public:
    explicit RotorLink(platform::CommControl& comm1, QObject* parent = nullptr);

    // GO: always sent at once, one command per click. A network target
    // still waiting for the line is dropped: the click is newer.
    void go(const QString& target);

    // A network target, a heading 0-359. While the line has not yet taken
    // the previous network command, this one replaces whatever waits behind
    // it, so a flood never queues more than one command.
    void turnTo(int heading);

    // Sends a network target still waiting for the line, as the program
    // ends: a client was told it was taken.
    void sendWaiting();

    // The last heading sent or queued by either door; 0 before the first.
    [[nodiscard]] int heading() const { return m_heading; }

signals:
    // A queued target could not be sent once the line was free.
    void failed(const kestavo::platform::RuntimeError& error);

private:
    void send(int heading);
    void onPoll();

    platform::CommControl& m_comm1;
    QTimer m_poll;
    std::optional<int> m_waiting;
    int m_heading = 0;
};

} // namespace kestavo::app
