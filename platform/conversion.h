// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>

namespace kestavo::platform
{

// Text to a 16-bit signed integer: blanks around the number are ignored, a
// fraction is rounded to the nearest integer with halves to even, text that
// is not a number raises TypeMismatch, a result outside -32768..32767 raises
// Overflow. The decimal point is '.', whatever the locale; an exponent
// ("1e2") is allowed. The rounding works on the decimal digits themselves, so
// "2.5000000000000001" rounds up where a double would not.
[[nodiscard]] std::int16_t textToInt16(QStringView text);

// Text to the bytes that go on the serial line: one byte per character,
// Latin-1, and "?" for a character that has no 8-bit code. A character
// outside the Basic Multilingual Plane (an emoji, two UTF-16 units) is one
// character and becomes one "?"; so does a stray half of such a pair.
[[nodiscard]] QByteArray textToLineBytes(QStringView text);

// Text from outside the program (a file, a link target, an argument, the
// system) as it may be shown in a box or on a terminal: every control
// character (below 0x20, DEL and 0x80-0x9F) becomes \xNN, so that a hostile
// file cannot clear the screen, retitle the terminal or hide what follows.
[[nodiscard]] QString visibleText(QStringView text);

} // namespace kestavo::platform
