// SPDX-License-Identifier: GPL-3.0-or-later
#include "frontdoor.h"

#include "app/commandline.h"
#include "conversation.h"
#include "platform/constants.h"
#include "platform/errorpath.h"
#include "platform/host/network.h"
#include "platform/runtime.h"
#include "platform/runtimeerror.h"

#include <QSocketNotifier>

#include <algorithm>

namespace kestavo::remote
{

class FrontDoor::Client final : public QObject
{
public:
    Client(int socket, app::RotorLink& link, QObject* parent)
        : QObject(parent), m_socket(socket), m_conversation(link),
          m_readable(socket, QSocketNotifier::Read, this),
          m_writable(socket, QSocketNotifier::Write, this)
    {
        m_writable.setEnabled(false);
    }
    ~Client() override { shut(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    void shut()
    {
        m_readable.setEnabled(false);
        m_writable.setEnabled(false);
        if (m_socket >= 0)
            platform::host::closeSocket(m_socket);
        m_socket = -1;
    }

    int m_socket;
    // When it last completed a line; a connection that never did may be a
    // stranger's, holding a place for nothing.
    std::optional<std::chrono::steady_clock::time_point> m_lastHeard;
    Conversation m_conversation;
    QByteArray m_unsent;
    QSocketNotifier m_readable;
    QSocketNotifier m_writable;
};

FrontDoor::FrontDoor(app::RotorLink& link, platform::RunTime& runTime, Clock clock, QObject* parent)
    : QObject(parent), m_link(link), m_runTime(runTime), m_clock(std::move(clock))
{
}

FrontDoor::~FrontDoor()
{
    close();
}

void FrontDoor::listen(const app::ListenAddress& address, int messages)
{
    m_address = address.text();
    m_messages = messages;
    QString reason;
    m_listener = platform::host::listenTcp(address.host, address.port, reason);
    if (m_listener < 0)
        throw platform::RuntimeError(
            platform::ErrorNumber::ListenFailed,
            QStringLiteral("Cannot listen on %1: %2. Give --listen an address of this machine "
                           "and a port no other program (such as rotctld) uses; ports below "
                           "1024 need root.")
                .arg(m_address, reason));
    m_runTime.atRelease([this] { close(); });
    m_listening = std::make_unique<QSocketNotifier>(m_listener, QSocketNotifier::Read);
    connect(m_listening.get(), &QSocketNotifier::activated, this,
            [this] { m_runTime.handle([this] { onConnection(); }); });
    if (!address.loopback)
        (void)say(QStringLiteral("warning: listening on %1: anyone who can reach that address "
                                 "can turn the rotor (the protocol has no authentication)")
                      .arg(m_address));
}

void FrontDoor::close()
{
    while (!m_clients.empty())
        drop(*m_clients.back());
    m_listening.reset();
    if (m_listener >= 0)
        platform::host::closeSocket(m_listener);
    m_listener = -1;
}

void FrontDoor::onConnection()
{
    QString reason;
    const int socket = platform::host::acceptConnection(m_listener, reason);
    if (socket < 0 && !reason.isEmpty())
        throw platform::RuntimeError(
            platform::ErrorNumber::ListenFailed,
            QStringLiteral("Cannot take a connection on %1: %2. Start Kestavo again; if this "
                           "comes back, close the programs that connect to it.")
                .arg(m_address, reason));
    if (socket < 0)
        return;
    if (m_clients.size() >= static_cast<std::size_t>(constants::kMaxClients) && !makeRoom(socket)) {
        platform::host::closeSocket(socket);
        return;
    }
    auto* client = new Client(socket, m_link, this);
    m_clients.push_back(client);
    connect(&client->m_readable, &QSocketNotifier::activated, client,
            [this, client] { m_runTime.handle([this, client] { onReadable(*client); }); });
    connect(&client->m_writable, &QSocketNotifier::activated, client,
            [this, client] { m_runTime.handle([this, client] { flush(*client); }); });
}

bool FrontDoor::makeRoom(int newcomer)
{
    const auto nameOf = [](int socket) {
        const QString peer = platform::host::peerName(socket);
        return peer.isEmpty() ? QStringLiteral("a client") : peer;
    };
    // Strangers that connect and say nothing go first, the oldest of them,
    // so that a flood of them cannot push out the clients that talk.
    const auto quiet = std::find_if(m_clients.begin(), m_clients.end(),
                                    [](const Client* c) { return !c->m_lastHeard; });
    if (quiet != m_clients.end()) {
        const QString peer = nameOf((*quiet)->m_socket);
        drop(**quiet);
        tell(Room::NeverSpoke,
             QStringLiteral("closed %1, which never spoke, to make room for a new one").arg(peer));
        return true;
    }
    // Clients that vanish without closing (a laptop suspended, out of
    // range) would otherwise hold the door shut for good.
    Client& silent = **std::min_element(
        m_clients.begin(), m_clients.end(),
        [](const Client* a, const Client* b) { return *a->m_lastHeard < *b->m_lastHeard; });
    const auto silence = m_clock() - *silent.m_lastHeard;
    if (silence >= constants::kSilenceBeforeMakingRoom) {
        const QString peer = nameOf(silent.m_socket);
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(silence).count();
        drop(silent);
        tell(Room::Silent, QStringLiteral("closed %1, silent for %2 s, to make room for a new one")
                               .arg(peer, QString::number(seconds)));
        return true;
    }
    // A client reconnecting in a loop must not cut one that is in use.
    const QString peer = platform::host::peerName(newcomer);
    tell(Room::Newcomer,
         QStringLiteral("closed the newcomer%1: all %2 clients spoke within %3 s")
             .arg(peer.isEmpty() ? QString() : u' ' + peer, QString::number(constants::kMaxClients),
                  QString::number(constants::kSilenceBeforeMakingRoom.count())));
    return false;
}

void FrontDoor::tell(Room outcome, const QString& what)
{
    RoomNotices& notices = m_roomNotices.at(static_cast<std::size_t>(outcome));
    ++notices.count;
    const auto now = m_clock();
    // A flood of connections must not flood standard error too.
    if (notices.shown && now - *notices.shown < constants::kRoomNoticeInterval)
        return;
    if (say(QStringLiteral("%1 clients on %2: %3 (%4 so far)")
                .arg(QString::number(constants::kMaxClients), m_address, what,
                     QString::number(notices.count))))
        notices.shown = now;
}

void FrontDoor::onReadable(Client& client)
{
    QByteArray bytes;
    if (platform::host::receiveSome(client.m_socket, bytes, constants::kReceiveChunk) ==
        platform::host::StreamState::Ended) {
        // A line cut off by the client's going is no command.
        drop(client);
        return;
    }
    const std::uint64_t lines = client.m_conversation.lines();
    client.m_unsent += client.m_conversation.take(bytes);
    // Any complete line is the client speaking, even an empty one or a
    // comment; bytes without a line end are not.
    if (client.m_conversation.lines() != lines)
        client.m_lastHeard = m_clock();
    if (client.m_unsent.size() > constants::kMaxUnreadReplies) {
        drop(client);
        return;
    }
    flush(client);
    if (client.m_conversation.finished())
        drop(client);
}

void FrontDoor::flush(Client& client)
{
    if (platform::host::sendSome(client.m_socket, client.m_unsent) ==
        platform::host::StreamState::Ended) {
        drop(client);
        return;
    }
    client.m_writable.setEnabled(!client.m_unsent.isEmpty());
}

void FrontDoor::drop(Client& client)
{
    if (client.m_socket < 0)
        return;
    // Called from the client's own notifiers: deleted once they return.
    client.shut();
    m_clients.erase(std::find(m_clients.begin(), m_clients.end(), &client));
    client.deleteLater();
}

bool FrontDoor::say(const QString& text)
{
    if (platform::notice(text, m_messages))
        return true;
    ++m_messagesDropped;
    return false;
}

} // namespace kestavo::remote
