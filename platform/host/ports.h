// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// The host's serial ports: its own numbering, the devices it reports and
// who may open them.
namespace kestavo::platform::host
{

// Where a port number leads.
struct PortDevice {
    QString device; // the path to open; empty when the number has no device
    QString origin; // how the number was mapped, for error reports
};

// The host's own numbering: 1-32 -> /dev/ttyS0-31, 33-64 ->
// /dev/ttyUSB0-31, 65-96 -> /dev/ttyACM0-31. Any other number has no device.
[[nodiscard]] std::optional<QString> builtInDevice(std::int16_t portNumber);

// The built-in number of a device ("/dev/ttyUSB0" -> 33), or nullopt when
// the built-in numbering does not reach it.
[[nodiscard]] std::optional<std::int16_t> builtInPortNumber(const QString& device);

// A serial device that the system reports, with what it knows of it.
struct SystemPort {
    QString device; // "/dev/ttyUSB0"
    QString description;
    QString manufacturer;
    QString serialNumber;
    QString stableName; // its link under /dev/serial/by-id, or empty
};

// The serial devices with hardware behind them; device nodes without a UART
// (most /dev/ttyS*) are left out. Slow compared with a start-up: ask only
// when the user needs to choose a port.
[[nodiscard]] QList<SystemPort> systemPorts();

// Tests hand in the devices systemPorts() reports instead of the machine's
// own; an empty function goes back to the machine's.
void replaceSystemPorts(std::function<QList<SystemPort>()> source);

// The path under which a device is opened and locked, so that two links to
// the same device count as the same port. Empty when the device is missing.
[[nodiscard]] QString canonicalDevicePath(const QString& device);

// Why opening a device failed, told apart as far as the host can.
enum class OpenFailure { NotFound, PermissionDenied, InUse, Other };

// Called after an open failed that the serial library reports as a
// permission problem, which on Linux covers both "not allowed" and "locked
// by another program".
[[nodiscard]] OpenFailure classifyPermissionFailure(const QString& device);

// The name of the group that owns a device ("dialout"), or empty.
[[nodiscard]] QString deviceGroup(const QString& device);

} // namespace kestavo::platform::host
