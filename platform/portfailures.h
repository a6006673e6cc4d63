// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "host/ports.h"
#include "runtimeerror.h"

#include <QString>

#include <cstdint>

// What the user is told when a port number cannot be opened, kept apart
// from the port handling so that it reads in one screen. label names the port
// as "port 3 (/dev/ttyS2)".
namespace kestavo::platform::portfailures
{

// 301: the number leads to no device; origin says what mapped it, if
// anything did.
[[nodiscard]] RuntimeError noDevice(std::int16_t portNumber, const QString& origin);

// 302 before anything is opened: the device the number leads to is missing.
[[nodiscard]] RuntimeError missingDevice(std::int16_t portNumber, const QString& label,
                                         const QString& origin);

// 302 to 305 after the open itself failed, by its cause. systemPath is the
// device with its links resolved; reason is the serial library's own words.
[[nodiscard]] RuntimeError openFailed(host::OpenFailure cause, std::int16_t portNumber,
                                      const QString& label, const QString& systemPath,
                                      const QString& reason);

} // namespace kestavo::platform::portfailures
