// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/host/notices.h"

#include <QObject>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
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
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    explicit FrontDoor(app::RotorLink& link, platform::RunTime& runTime,
                       Clock clock = std::chrono::steady_clock::now, QObject* parent = nullptr);
    ~FrontDoor() override;

    // Starts listening; throws ListenFailed. A warning goes to the
    // descriptor messages when the address reaches beyond this machine, and
    // a notice when a full door closes a connection to make room or closes
    // the newcomer. A line that messages has no room for is dropped, never
    // waited for.
    void listen(const app::ListenAddress& address, int messages = platform::host::kStandardError);

    // Closes the listening socket and every connection.
    void close();

    // Lines dropped because messages had no room for them.
    [[nodiscard]] std::uint64_t messagesDropped() const { return m_messagesDropped; }

private:
    class Client;

    void onConnection();
    // Whether the newcomer on socket may stay.
    [[nodiscard]] bool makeRoom(int newcomer);
    void onReadable(Client& client);
    void flush(Client& client);
    void drop(Client& client);
    [[nodiscard]] bool say(const QString& text);

    enum class Room { NeverSpoke, Silent, Newcomer };
    void tell(Room outcome, const QString& what);

    app::RotorLink& m_link;
    platform::RunTime& m_runTime;
    Clock m_clock;
    QString m_address;
    int m_listener = -1;
    std::unique_ptr<QSocketNotifier> m_listening;
    std::vector<Client*> m_clients; // children of this object, in the order they came
    int m_messages = platform::host::kStandardError;
    std::uint64_t m_messagesDropped = 0;
    struct RoomNotices {
        std::uint64_t count = 0;
        std::optional<std::chrono::steady_clock::time_point> shown;
    };
    std::array<RoomNotices, 3> m_roomNotices; // by Room
};

} // namespace kestavo::remote
