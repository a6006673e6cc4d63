// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/listenaddress.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace kestavo::app
{

// What a station sets up once, from the command line or Tavimer.ini; a
// setting not given is nullopt, and Kestavo behaves as without it.
struct Station {
    std::optional<double> park;          // the antenna's bearing to park at
    std::optional<int> parkAfterMinutes; // park once after this long idle
    std::optional<int> offset;           // the controller's scale is bearing - offset
    std::optional<QString> home;         // the station's locator, upper case
    std::optional<ListenAddress> web;    // where the web page listens

    // Each setting given in over replaces this one's.
    [[nodiscard]] Station overriddenBy(const Station& over) const;
    // The park heading: 0 unless set.
    [[nodiscard]] double parkHeading() const { return park.value_or(0.0); }
};

// The values as the option and the item write them; nullopt when malformed.
// A park heading is a number from 0 to 360, an offset whole degrees from
// -359 to 359, park-after whole minutes from 1 to 1440, a home a locator of
// 4, 6 or 8 characters.
[[nodiscard]] std::optional<double> parkValue(QStringView text);
[[nodiscard]] std::optional<int> offsetValue(QStringView text);
[[nodiscard]] std::optional<int> parkAfterValue(QStringView text);
[[nodiscard]] std::optional<QString> homeValue(QStringView text);

// Reads "name=value" for one of the settings into station. Returns
// nullopt when name is none of them; else an empty string when the value
// was taken, or why it was not, in words for the user.
[[nodiscard]] std::optional<QString> readStationItem(QStringView name, QStringView value,
                                                     Station& station);

} // namespace kestavo::app
