// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestavo::bench
{

// A loopback port that was free a moment ago, for --listen.
[[nodiscard]] std::uint16_t freePort();

// One connection to Kestavo's front door on a loopback port, as a tracker
// makes it. Throws Failure when the door cannot be reached or answers
// nothing in time.
class DoorClient
{
public:
    explicit DoorClient(std::uint16_t port);
    ~DoorClient();
    DoorClient(const DoorClient&) = delete;
    DoorClient& operator=(const DoorClient&) = delete;

    // All of request, or throws.
    void send(std::string_view request);
    // The next reply line, without its '\n'.
    [[nodiscard]] std::string readLine(std::chrono::milliseconds timeout);

private:
    int m_fd = -1;
    std::string m_received;
};

} // namespace kestavo::bench
