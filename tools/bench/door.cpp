// SPDX-License-Identifier: GPL-3.0-or-later
#include "door.h"

#include "failure.h"

#include "support/posix.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kestavo::bench
{
namespace
{

[[nodiscard]] sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

} // namespace

std::uint16_t freePort()
{
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    const bool found = probe >= 0 &&
                       ::bind(probe, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                       ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (probe >= 0)
        ::close(probe);
    if (!found)
        throw systemFailure("Cannot find a free loopback port for --listen", "");
    return ntohs(address.sin_port);
}

DoorClient::DoorClient(std::uint16_t port)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = loopback(port);
    if (m_fd < 0 ||
        ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const Failure failure =
            systemFailure("Cannot connect to the front door on port " + std::to_string(port), "");
        if (m_fd >= 0)
            ::close(m_fd);
        throw failure;
    }
}

DoorClient::~DoorClient()
{
    ::close(m_fd);
}

void DoorClient::send(std::string_view request)
{
    if (::send(m_fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size()))
        throw systemFailure("Cannot send \"" + std::string(request.substr(0, request.find('\n'))) +
                                "\" to the front door",
                            "");
}

std::string DoorClient::readLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::size_t end = m_received.find('\n');
        if (end != std::string::npos) {
            std::string line = m_received.substr(0, end);
            m_received.erase(0, end + 1);
            return line;
        }
        if ((support::waitReadable(m_fd, deadline) & (POLLIN | POLLHUP | POLLERR)) == 0)
            throw Failure("The front door gave no whole line within " +
                          std::to_string(timeout.count()) + " ms");
        char buffer[256];
        const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (got < 0)
            throw systemFailure("Cannot read from the front door", "");
        if (got == 0)
            throw Failure("The front door closed the connection");
        m_received.append(buffer, static_cast<std::size_t>(got));
    }
}

} // namespace kestavo::bench
