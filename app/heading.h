// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace kestavo::app
{

// A number as a client or the text box writes it: decimal, '.' or ',' as the
// decimal point, an optional exponent; nothing else, no blanks. nullopt when
// the text is no finite number.
[[nodiscard]] std::optional<double> readNumber(QStringView text);

// The heading a target turns the rotor to: rounded to whole degrees with
// halves to even and taken into 0-359 (359.6 -> 0, -10 -> 350, 450 -> 90).
// nullopt outside -180..450.
[[nodiscard]] std::optional<int> headingOf(double target);

// The same for a target as text, as GO sends it: "90" reads as a heading,
// "90x" does not.
[[nodiscard]] std::optional<int> headingOf(QStringView text);

// Three digits, as the controller takes them: 5 -> "005".
[[nodiscard]] QString headingText(int heading);

} // namespace kestavo::app
