// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "commandparser.h"
#include "linesplitter.h"
#include "rotor.h"

#include <optional>
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

// How the controller talks: the commands it takes, where the ; of its
// whole-degree answer goes, and whether it answers at all.
struct Dialect {
    CommandSet set = CommandSet::OneStep;
    AnswerForm form = AnswerForm::Leading;
    // Obeys as well but sends nothing.
    bool mute = false;
};

// Obeys lines on a rotor. It holds the target a two-step controller was
// given until it is told to go there. With an offset, its notes give the
// antenna's bearing too.
class Responder
{
public:
    explicit Responder(const Dialect& dialect, std::optional<int> offset = std::nullopt)
        : m_dialect(dialect), m_offset(offset)
    {
    }

    [[nodiscard]] Response respond(const ReceivedLine& line, Rotor& rotor);

private:
    [[nodiscard]] Response obey(const ReceivedLine& line, Rotor& rotor);
    [[nodiscard]] Response answerBearing(const Rotor& rotor) const;

    Dialect m_dialect;
    std::optional<int> m_offset;
    std::optional<double> m_setTarget;
};

// Whole degrees when the heading is one, else one decimal.
[[nodiscard]] std::string headingText(double heading);

// " (antenna B)", B being (heading + offset) mod 360; empty without an offset,
// so that the notes read as before.
[[nodiscard]] std::string antennaText(double heading, std::optional<int> offset);

} // namespace kestavo::virtualrotor
