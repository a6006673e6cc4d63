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

// A target as a client gave it, in degrees; the line only ever gets the
// rounded azimuth.
struct Position {
    double azimuth = 0;
    double elevation = 0;
};

// The rotor as both doors reach it: the window's GO and the network's
// targets go out through go() on the same port, and the last target given
// either way is kept for the clients that ask.
class RotorLink final : public QObject
{
    Q_OBJECT

public:
    explicit RotorLink(platform::CommControl& comm1, QObject* parent = nullptr);

    // GO: always sent at once, one command per click. A network target
    // still waiting for the line is dropped: the click is newer.
    void go(const QString& target);

    // A network target: heading (0-359) goes out, target is what the
    // clients read back. While the line has not yet taken the previous
    // network command, this one replaces whatever waits behind it, so a
    // flood never queues more than one command.
    void turnTo(int heading, Position target);

    // Sends a network target still waiting for the line, as the program
    // ends: a client was told it was taken.
    void sendWaiting();

    // The last target sent or queued by either door, as it was given, so
    // that a tracker reads back exactly what it asked for and sees no
    // reason to ask again; 0, 0 before the first.
    [[nodiscard]] Position position() const { return m_position; }

signals:
    // A queued target could not be sent once the line was free.
    void failed(const kestavo::platform::RuntimeError& error);

private:
    void send(int heading);
    void onPoll();

    platform::CommControl& m_comm1;
    QTimer m_poll;
    std::optional<int> m_waiting;
    Position m_position;
};

} // namespace kestavo::app
