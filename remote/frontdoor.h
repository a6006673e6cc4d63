// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdio>
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

    // Starts listening; throws ListenFailed. A warning goes to warnings
    // when the address reaches beyond this machine, and a notice each time
    // a full door closes the client silent longest to make room.
    void listen(const app::ListenAddress& address, std::FILE* warnings = stderr);

    // Closes the listening socket and every connection.
    void close();

private:
    class Client;

    void onConnection();
    void makeRoom();
    void onReadable(Client& client);
    void flush(Client& client);
    void drop(Client& client);

    app::RotorLink& m_link;
    platform::RunTime& m_runTime;
    QString m_address;
    int m_listener = -1;
    std::unique_ptr<QSocketNotifier> m_listening;
    std::vector<Client*> m_clients; // children of this object
    std::FILE* m_notices = stderr;
    int m_roomsMade = 0;
    std::optional<std::chrono::steady_clock::time_point> m_roomNoticed;
};

} // namespace kestavo::remote
