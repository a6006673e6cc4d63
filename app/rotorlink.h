// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/commandset.h"
#include "platform/runtimeerror.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
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
class ReadBack;

class RotorLink final : public QObject
{
    Q_OBJECT

public:
    explicit RotorLink(platform::CommControl& comm1, QObject* parent = nullptr);
    ~RotorLink() override;

    // The controller's commands; the default set until told.
    void setCommandSet(CommandSet set) { m_commandSet = set; }
    [[nodiscard]] CommandSet commandSet() const { return m_commandSet; }

    // From now on the controller is asked where the rotor points (the port
    // must read too); nullptr while it is not.
    ReadBack& startReadBack();
    [[nodiscard]] ReadBack* readBack() const { return m_readBack.get(); }

    // GO: always sent at once, one command per click. A network target
    // still waiting for the line is dropped: the click is newer.
    void go(const QString& target);

    // A network target: heading (0-359) goes out, target is what the
    // clients read back. While the line has not yet taken the previous
    // network command, this one replaces whatever waits behind it, so a
    // flood never queues more than one command. The heading last put on the
    // line is not sent again: trackers resend their target every cycle.
    // With read-back it is, once, when the rotor stands still away from it.
    void turnTo(int heading, Position target);

    // Stops a turn; only a controller that is read back is known to take
    // it. Returns whether it was sent. The next target goes out even if it
    // is the last one.
    bool stop();

    // Sends a network target still waiting for the line, as the program
    // ends: a client was told it was taken.
    void sendWaiting();

    // Where the rotor points, for the clients that ask: the last target
    // given by either door, as it was given, so that a tracker reads back
    // exactly what it asked for and sees no reason to ask again (0, 0
    // before the first). With read-back, the controller's bearing instead
    // while it is more than its resolution away from that target.
    [[nodiscard]] Position position() const;

    // The last target given by either door; nullopt before the first.
    [[nodiscard]] std::optional<Position> target() const;

signals:
    // The target, or what the controller says of the rotor, changed.
    void changed();
    // GO's text was no heading the command set can send; why, in words
    // for the window. Nothing went out.
    void goRefused(const QString& why);
    // A queued target could not be sent once the line was free.
    void failed(const kestavo::platform::RuntimeError& error);

private:
    void send(int heading);
    void onPoll();
    void onStoodStill(int bearing);

    platform::CommControl& m_comm1;
    CommandSet m_commandSet = kDefaultCommandSet;
    QTimer m_poll;
    std::optional<int> m_waiting;
    Position m_position;
    bool m_targetGiven = false;
    std::optional<int> m_lastSent; // the heading last put on the line
    bool m_resendOnce = false;     // the rotor stood still away from it
    std::optional<int> m_stillAt;  // where, so that one standstill resends once
    std::unique_ptr<ReadBack> m_readBack;
};

} // namespace kestavo::app
