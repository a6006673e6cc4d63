// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <termios.h>

namespace kestavo::virtualrotor
{

enum class Parity { None, Even, Odd, Mark, Space };

// The framing a terminal's attributes ask for.
struct LineFraming {
    std::optional<unsigned> baud; // nullopt for a speed we have no number for
    int dataBits = 8;
    Parity parity = Parity::None;
    int stopBits = 1;

    friend bool operator==(const LineFraming&, const LineFraming&) = default;
};

[[nodiscard]] LineFraming framingOf(const termios& attributes);

// "4800 baud, 8 data bits, no parity, 1 stop bit"
[[nodiscard]] std::string describe(const LineFraming& framing);

} // namespace kestavo::virtualrotor
