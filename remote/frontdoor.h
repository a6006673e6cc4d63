// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/host/notices.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QSocketNotifier;

namespace kestavo::app
{
class RotorLink;
struct ListenAddress;
} // namespace kestavo::app

namespace kestavo::platform
{
class RunTime;
}

namespace kestavo::remote
{

// The second way into the rotor link beside the window: hamlib's rotator
// network protocol on a TCP socket, for trackers and loggers. Every event
// runs through the run time, so a failed write to the port ends the program
// as one after GO does; every ending closes the socket and the connections.
class FrontDoor final : public QObject
{
    Q_OBJECT

public:
    explicit FrontDoor(app::RotorLink& link, platform::RunTime& runTime, QObject* parent = nullptr);
    ~FrontDoor() override;

    // Starts listening; throws ListenFailed. A warning goes to the
    // descriptor messages when the address reaches beyond this machine, and
    // a notice each time a full door closes the client silent longest to make
    // room. A line that messages has no room for is dropped, never waited for.
    void listen(const app::ListenAddress& address, int messages = platform::host::kStandardError);

    // Closes the listening socket and every connection.
    void close();

    // Lines dropped because messages had no room for them.
    [[nodiscard]] std::uint64_t messagesDropped() const { return m_messagesDropped; }

private:
    class Client;

    void onConnection();
    void makeRoom();
    void onReadable(Client& client);
    void flush(Client& client);
    void drop(Client& client);
    [[nodiscard]] bool say(const QString& text);

    app::RotorLink& m_link;
    platform::RunTime& m_runTime;
    QString m_address;
    int m_listener = -1;
    std::unique_ptr<QSocketNotifier> m_listening;
    std::vector<Client*> m_clients; // children of this object
    int m_messages = platform::host::kStandardError;
    std::uint64_t m_messagesDropped = 0;
    std::uint64_t m_roomsMade = 0;
    std::optional<std::chrono::steady_clock::time_point> m_roomNoticed;
};

} // namespace kestavo::remote
