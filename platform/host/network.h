// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// TCP on the host: addresses, listening, accepting, sending and receiving.
namespace kestavo::platform::host
{

// An IP address as written on the command line: "192.168.1.5", "::1".
struct IpAddress {
    bool loopback = false; // only this machine can reach it
};
// What text is as an IP address, or nullopt when it is none.
[[nodiscard]] std::optional<IpAddress> ipAddress(const QString& text);

// A listening TCP socket on address (an IP literal) and port, non-blocking
// and closed on exec; -1 with the cause, in words, in reason on failure.
[[nodiscard]] int listenTcp(const QString& address, std::uint16_t port, QString& reason);

// The next waiting connection, non-blocking, closed on exec and probed
// with TCP keepalive, so that a peer that vanished is noticed. -1 when
// none waits or the client left before it was taken (reason empty), or on
// a failure of the listening socket itself (reason set).
[[nodiscard]] int acceptConnection(int listener, QString& reason);

// The way a connection stands after a transfer.
enum class StreamState { Open, Ended };

// Appends to into what has arrived on socket, at most limit bytes. Ended
// when the client closed its side or the connection failed.
[[nodiscard]] StreamState receiveSome(int socket, QByteArray& into, qsizetype limit);

// Sends as much of from as the socket takes now, and removes that from it;
// never raises SIGPIPE. Ended when the connection failed.
[[nodiscard]] StreamState sendSome(int socket, QByteArray& from);

// Who is at the other end of a connection, as "address:port"; empty when
// the host cannot tell.
[[nodiscard]] QString peerName(int socket);

// Closes a socket. On Linux the descriptor is gone even when close()
// reports an error, and nothing of a socket's is left to lose then.
void closeSocket(int socket);

} // namespace kestavo::platform::host
