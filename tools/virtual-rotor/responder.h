// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "linesplitter.h"
#include "rotor.h"

#include <string>

namespace kestavo::virtualrotor
{

// What the controller makes of one line: a note for the person watching,
// and the bytes it sends back, if any.
struct Response {
    std::string note;
    std::string answer;

    friend bool operator==(const Response&, const Response&) = default;
};

// Obeys line on rotor. A mute controller obeys as well but sends nothing.
[[nodiscard]] Response respond(const ReceivedLine& line, Rotor& rotor, bool mute);

// Whole degrees when the heading is one, else one decimal.
[[nodiscard]] std::string headingText(double heading);

} // namespace kestavo::virtualrotor
