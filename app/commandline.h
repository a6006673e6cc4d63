// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <optional>

namespace kestavo::app
{

// The help text: what Kestavo is and its options.
[[nodiscard]] QString usage();

// Answers --version, --help and --list-ports on out before any display is needed. Returns
// the exit status when one of them was asked for; nullopt otherwise, and every
// other argument is left to Qt (-platform, -display, ...).
[[nodiscard]] std::optional<int> answerInformationRequest(const QStringList& arguments,
                                                          std::FILE* out);

// Where the network front door listens.
struct ListenAddress {
    QString host; // an IP address
    std::uint16_t port = 0;
    bool loopback = true; // only this machine can reach it

    // "127.0.0.1:4533", "[::1]:4533"
    [[nodiscard]] QString text() const;
};

// What the command line asks of a normal start.
struct StartOptions {
    std::optional<ListenAddress> listen; // --listen [ADDRESS:]PORT
    bool readBack = false;               // --read-back
};

// Reads the options of a normal start; the last --listen counts. A value
// that is wrong is told on err in one line, and nullopt returned.
[[nodiscard]] std::optional<StartOptions> startOptions(const QStringList& arguments,
                                                       std::FILE* err);

// The first option of Kestavo's own command line that it does not know,
// once Qt has taken its own from it (-platform, -display, ...).
[[nodiscard]] std::optional<QString> unknownOption(const QStringList& arguments);

} // namespace kestavo::app
