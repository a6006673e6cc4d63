// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/commandset.h"
#include "app/lineowner.h"
#include "app/station.h"
#include "platform/runtimeerror.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>

#include <memory>
#include <optional>

namespace kestavo::platform
{
class CommControl;
class Ending;
} // namespace kestavo::platform

namespace kestavo::app
{

struct Heading;
class ReadBack;

// X: ends the program at once.
void x(platform::Ending& ending);

// A target as a client gave it, in degrees; the line only ever gets it
// rounded to the command set's step.
struct Position {
    double azimuth = 0;
    double elevation = 0;
};

// The rotor as both doors reach it: the window's GO and the network's
// targets, in the command set's form, through the line's one owner; the
// last target given either way is kept for the clients that ask.
class RotorLink final : public QObject
{
    Q_OBJECT

public:
    explicit RotorLink(platform::CommControl& comm1, QObject* parent = nullptr);
    ~RotorLink() override;

    // The controller's commands; the default set until told.
    void setCommandSet(CommandSet set) { m_commandSet = set; }
    [[nodiscard]] CommandSet commandSet() const { return m_commandSet; }

    // Park, the offset and home; park-after counts from now.
    void setStation(const Station& station);
    [[nodiscard]] const Station& station() const { return m_station; }

    // The port tells it when the line is free.
    [[nodiscard]] LineOwner& line() { return m_line; }

    // From now on the controller is asked where the rotor points (the port
    // must read too).
    ReadBack& startReadBack();
    // nullptr while it is not.
    [[nodiscard]] ReadBack* readBack() const { return m_readBack.get(); }

    // GO: always sent at once, one command per click. The one-step set sends
    // the text as typed; the others, and any set with an offset, need a
    // heading, else nothing goes out and goRefused tells why. With a home,
    // a locator is a heading too: its great-circle bearing, told.
    // HeadingOnly: the one-step set too sends only a heading, in its form.
    enum class Text { AsTyped, HeadingOnly };
    void go(const QString& text, Text rule = Text::AsTyped);

    // Turns to the park heading, as GO does.
    void park();
    // Parks once when park-after's minutes have passed since the last
    // command; its timer calls it.
    void parkIfIdle();

    // A network target. It waits while the line is busy, replaced by any
    // newer one, so a flood never queues more than one command. The heading
    // last put on the line is not sent again: trackers resend their target
    // every cycle. With read-back it is, once, when the rotor stands still
    // away from it.
    void turnTo(const Heading& heading, double elevation);

    // Stops a turn; only a controller that is read back is known to take
    // it. Returns whether it was taken. The next target goes out even if it
    // is the last one, and until one is given there is none.
    bool stop();

    // Sends a network target still waiting for the line, as the program
    // ends: a client was told it was taken.
    void sendWaiting() { m_line.sendWaiting(); }

    // Where the rotor points, for the clients that ask. Without read-back,
    // the last target given by either door, as it was given (0, 0 before
    // the first). With read-back the controller's last bearing, or the
    // target while the controller answers within a degree of it, so that a
    // tracker sees no reason to send it again; nullopt until the
    // controller has given a bearing.
    [[nodiscard]] std::optional<Position> position() const;

    // The last target given by either door; nullopt before the first and
    // after a stop.
    [[nodiscard]] std::optional<Position> target() const;

    // With read-back: the rotor was sent somewhere and does not turn.
    [[nodiscard]] bool stalled() const;

    // Tests see time pass through this.
    void setClock(std::function<std::chrono::steady_clock::time_point()> clock);

signals:
    // The target, or what the controller says of the rotor, changed.
    void changed();
    // GO's text was no heading the command set can send; why, in words
    // for the window. Nothing went out.
    void goRefused(const QString& why);
    // Something for the window to tell, shown and as a screen reader says
    // it: what a locator became, a park by itself.
    void told(const QString& shown, const QString& spoken);
    // A waiting command could not be sent once the line was free.
    void failed(const kestavo::platform::RuntimeError& error);

private:
    [[nodiscard]] int onLine(const Heading& heading) const;
    [[nodiscard]] int onLine(double bearing) const;
    // The controller's scale for a bearing, both in tenths.
    [[nodiscard]] int toController(int bearing) const;
    void sendCommand(int bearing, double target);
    void commandSent(std::optional<int> heading);
    void commandGiven();
    void targetSent(int heading);
    void onStoodStill(int bearing);

    CommandSet m_commandSet = kDefaultCommandSet;
    Station m_station;
    std::function<std::chrono::steady_clock::time_point()> m_clock = [] {
        return std::chrono::steady_clock::now();
    };
    std::chrono::steady_clock::time_point m_lastCommand;
    bool m_parkedIdle = false; // park-after parked since the last command
    QTimer m_idle;
    LineOwner m_line;
    Position m_position;
    bool m_targetGiven = false;
    std::optional<int> m_lastSent; // the heading last put on the line, in tenths
    bool m_resendOnce = false;     // the rotor stood still away from it
    std::optional<int> m_stillAt;  // where, so that one standstill resends once
    std::unique_ptr<ReadBack> m_readBack;
    platform::CommControl& m_comm1;
};

} // namespace kestavo::app
