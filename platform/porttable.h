// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "host/files.h"
#include "host/ports.h"

#include <QList>

#include <cstdint>

// The per-user port table: COM<n> entries in host::portTableDirectory(),
// each a link to a device or a file whose first line names it. It comes
// before the host's own numbering, so any number can lead to any device.
namespace kestavo::platform
{

// Turns a port number into a device: a COM<n> entry in the port table first,
// then the host's built-in numbering. An entry that cannot name a device
// (empty, control characters, not a path) is refused here, with why in the
// origin, before anything is opened or locked.
[[nodiscard]] host::PortDevice deviceForPort(std::int16_t portNumber);

// The numbers of the port table's COM<n> entries (links or files, n from 1
// to 32767 written without leading zeros), in ascending order.
[[nodiscard]] QList<std::int16_t> portTableNumbers();

} // namespace kestavo::platform
