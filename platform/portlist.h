// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <cstdint>

namespace kestavo::platform
{

// A port number that leads somewhere, and what is known of its device.
struct ListedPort {
    std::int16_t number = 0;
    QString device;         // as the number maps it; empty for an entry that names none
    bool fromTable = false; // mapped by the port table rather than the built-in numbering
    bool present = false;   // the device exists
    QString description;
    QString manufacturer;
    QString serialNumber;
    QString stableName; // its link under /dev/serial/by-id, or empty
};

// Every number the user can type that leads to a device: each port table
// entry as the table maps it (present or not), then each built-in number
// whose device the system reports, unless the table takes that number over.
// In ascending order, each number once. Asks the system for its serial
// devices, which takes milliseconds: only for choosing a port.
[[nodiscard]] QList<ListedPort> listPorts();

// For `kestavo --list-ports`: an aligned table (number, device, what it is)
// and the port table's place, or one line saying nothing was found and what
// to check. Ends with a newline. Text from outside is made visible.
[[nodiscard]] QString portListingText(const QList<ListedPort>& ports);

// For the prompt: one short line per number that has a device
// ("33  /dev/ttyUSB0  FT232R USB UART"), or a line saying none were found.
[[nodiscard]] QString portChoicesText(const QList<ListedPort>& ports);

// For an error about a number without a device: one sentence naming the
// numbers that have one, or saying that none were found and what to check.
[[nodiscard]] QString portsFoundSentence(const QList<ListedPort>& ports);

} // namespace kestavo::platform
