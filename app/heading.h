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

// A target as text, read as readNumber() reads it: its value, and the
// heading it turns the rotor to, rounded to whole degrees on its decimal
// digits, halves to even, as the port file's number is ("4.5" -> 4,
// "4.5000000000000001" -> 5), and taken into 0-359 (359.6 -> 0, -10 -> 350,
// 450 -> 90). nullopt when the text is no number or outside -180..450;
// "90x" is none.
// tenths is the same rounded to a tenth instead, in tenths (0-3599).
struct Heading {
    double target;
    int degrees;
    int tenths;
};
[[nodiscard]] std::optional<Heading> headingOf(QStringView text);

} // namespace kestavo::app
