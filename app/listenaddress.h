// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

namespace kestavo::app
{

// Where the network front door or the web page listens.
struct ListenAddress {
    QString host; // an IP address
    std::uint16_t port = 0;
    bool loopback = true; // only this machine can reach it

    // "127.0.0.1:4533", "[::1]:4533"
    [[nodiscard]] QString text() const;
};

// Why value is no [ADDRESS:]PORT; empty when address is filled in.
[[nodiscard]] QString readListenAddress(const QString& value, ListenAddress& address);

} // namespace kestavo::app
