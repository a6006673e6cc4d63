// SPDX-License-Identifier: GPL-3.0-or-later
#include "network.h"

#include "errnotext.h"
#include "platform/constants.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestavo::platform::host
{
namespace
{

// Either kind of socket address, filled in from an IP literal.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    bool loopback = false;
};

[[nodiscard]] std::optional<SocketAddress> socketAddress(const QString& text, std::uint16_t port)
{
    const QByteArray ascii = text.toLatin1();
    if (text.size() != ascii.size() || ascii.contains('\0'))
        return std::nullopt;
    SocketAddress address;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address.storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
    // Only an IPv6 literal has a colon; inet_pton tells whether it is one.
    const bool six = ascii.contains(':');
    const int family = six ? AF_INET6 : AF_INET;
    if (::inet_pton(family, ascii.constData(),
                    six ? static_cast<void*>(&v6->sin6_addr) : &v4->sin_addr) != 1)
        return std::nullopt;
    address.storage.ss_family = static_cast<sa_family_t>(family);
    (six ? v6->sin6_port : v4->sin_port) = htons(port);
    address.length = six ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    // An IPv4 address, also one mapped into IPv6, leads here when it is in
    // 127.0.0.0/8.
    const bool mapped = six && IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr);
    const auto* ipv4 =
        six ? v6->sin6_addr.s6_addr + 12 : reinterpret_cast<const unsigned char*>(&v4->sin_addr);
    address.loopback = (six && IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr)) ||
                       ((!six || mapped) && ipv4[0] == IN_LOOPBACKNET);
    return address;
}

} // namespace

std::optional<IpAddress> ipAddress(const QString& text)
{
    const std::optional<SocketAddress> address = socketAddress(text, 0);
    if (!address)
        return std::nullopt;
    return IpAddress{address->loopback};
}

int listenTcp(const QString& address, std::uint16_t port, QString& reason)
{
    const std::optional<SocketAddress> where = socketAddress(address, port);
    if (!where) {
        reason = QStringLiteral("it is not an IP address");
        return -1;
    }
    const int listener =
        ::socket(where->storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        reason = errnoReason(errno);
        return -1;
    }
    // A restart right after an ending must not wait for old connections.
    const int reuse = 1;
    if (::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
        ::bind(listener, reinterpret_cast<const sockaddr*>(&where->storage), where->length) != 0 ||
        ::listen(listener, SOMAXCONN) != 0) {
        reason = errnoReason(errno);
        closeSocket(listener);
        return -1;
    }
    return listener;
}

namespace
{

// Best effort: a connection without keepalive still works, and the door
// makes room when it is full either way.
void keepAlive(int socket)
{
    const int on = 1;
    const int idle = static_cast<int>(constants::kKeepAliveIdle.count());
    const int interval = static_cast<int>(constants::kKeepAliveInterval.count());
    const int probes = constants::kKeepAliveProbes;
    (void)::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    (void)::setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    (void)::setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    (void)::setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
}

} // namespace

int acceptConnection(int listener, QString& reason)
{
    for (;;) {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client >= 0) {
            keepAlive(client);
            return client;
        }
        if (errno == EINTR)
            continue;
        // Out of descriptors or memory, or no listening socket: ours to
        // report. Anything else is nothing waiting, or the client's own
        // network error, which accept() passes on.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM ||
            errno == EBADF || errno == EINVAL || errno == ENOTSOCK)
            reason = errnoReason(errno);
        return -1;
    }
}

StreamState receiveSome(int socket, QByteArray& into, qsizetype limit)
{
    const qsizetype start = into.size();
    into.resize(start + limit);
    for (;;) {
        const ssize_t got = ::recv(socket, into.data() + start, static_cast<size_t>(limit), 0);
        const int error = errno;
        if (got < 0 && error == EINTR)
            continue;
        into.resize(start + std::max<qsizetype>(got, 0));
        if (got > 0 || (got < 0 && error == EAGAIN))
            return StreamState::Open;
        return StreamState::Ended;
    }
}

StreamState sendSome(int socket, QByteArray& from)
{
    while (!from.isEmpty()) {
        const ssize_t sent =
            ::send(socket, from.constData(), static_cast<size_t>(from.size()), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent < 0 && errno == EAGAIN)
            return StreamState::Open;
        if (sent < 0)
            return StreamState::Ended;
        from.remove(0, sent);
    }
    return StreamState::Open;
}

QString peerName(int socket)
{
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return QString();
    char text[INET6_ADDRSTRLEN] = {};
    if (peer.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&peer);
        if (::inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text))
            return QStringLiteral("%1:%2").arg(QLatin1StringView(text)).arg(ntohs(v4->sin_port));
    } else if (peer.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&peer);
        if (::inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text))
            return QStringLiteral("[%1]:%2").arg(QLatin1StringView(text)).arg(ntohs(v6->sin6_port));
    }
    return QString();
}

void closeSocket(int socket)
{
    // Retrying after EINTR could close a descriptor another thread just got.
    [[maybe_unused]] const int closed = ::close(socket);
}

} // namespace kestavo::platform::host
