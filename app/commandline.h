// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/commandset.h"
#include "app/listenaddress.h"
#include "app/station.h"

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
// the exit status when one of them was asked for; nullopt otherwise. Qt's own
// options (-platform NAME, -display D, ...) are left to Qt.
[[nodiscard]] std::optional<int> answerInformationRequest(const QStringList& arguments,
                                                          std::FILE* out);

// What the command line asks of a normal start.
struct StartOptions {
    std::optional<ListenAddress> listen;  // --listen [ADDRESS:]PORT
    bool readBack = false;                // --read-back
    std::optional<CommandSet> commandSet; // --command-set NAME
    Station station;                      // --park, --park-after, --offset, --home
};

// Reads the options of a normal start into options, without a display; the
// last of each option with a value counts. A command line that is wrong (an
// unknown option, a missing or wrong value, a word without a dash) is told
// on err in one line naming what, then the usage, and the exit status is
// returned; nullopt when the start can go on.
[[nodiscard]] std::optional<int> readStartOptions(const QStringList& arguments,
                                                  StartOptions& options, std::FILE* err);

} // namespace kestavo::app
