// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/commandset.h"
#include "app/station.h"

#include <QStringList>

#include <optional>

namespace kestavo::platform
{
class CommControl;
class Dialogs;
} // namespace kestavo::platform

namespace kestavo::app
{

// The start-up sequence, run once before the window is first shown: settles
// the port number from Tavimer.ini in the working directory, or asks for it
// and stores the reply there, then opens and sets up that port on comm1.
// Every failure is thrown as a platform::RuntimeError for the error path.
// Read-back, asked for on the command line or by an item after the port
// number in Tavimer.ini ("3,read-back"), opens the port for reading too.
// The command set comes from the command line, else from an item there
// ("3,two-step"), else it is the default.
// The station's settings come from items there too ("3,park=270"); each
// one given on the command line wins. An item that is unknown or malformed
// is left alone, and told on standard error and in told, for the window.
struct LineChoice {
    bool readBack = false;
    CommandSet commandSet = kDefaultCommandSet;
    Station station;
    QStringList told;
};
LineChoice startUp(platform::CommControl& comm1, platform::Dialogs& dialogs,
                   bool readBackAsked = false,
                   std::optional<CommandSet> commandSetAsked = std::nullopt,
                   const Station& stationAsked = {});

} // namespace kestavo::app
