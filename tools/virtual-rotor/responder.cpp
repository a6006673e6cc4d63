// SPDX-License-Identifier: GPL-3.0-or-later
#include "responder.h"

#include "commandparser.h"
#include "constants.h"

#include <cmath>
#include <cstdio>

namespace kestavo::virtualrotor
{
namespace
{

namespace vc = constants;

[[nodiscard]] Response obey(const ReceivedLine& line, Rotor& rotor)
{
    if (line.tooLong)
        return {"not understood: no CR within " + std::to_string(vc::kMaxLineLength) +
                    " bytes (nor \"" + vc::kQueryEnd +
                    "\"), so the line is discarded up to the next one",
                {}};
    const ParsedCommand command = parseCommand(line.bytes, line.end);
    switch (command.action) {
    case Action::Turn: {
        const double from = rotor.heading();
        rotor.retarget(*command.heading);
        if (rotor.arrived())
            return {"already at " + headingText(from), {}};
        return {"turning from " + headingText(from) + " to " + headingText(rotor.target()), {}};
    }
    case Action::Query: {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%0*d", static_cast<int>(vc::kMaxHeadingDigits),
                      rotor.bearing());
        return {"asked for the bearing: " + std::string(digits),
                vc::kAnswerStart + std::string(digits)};
    }
    case Action::Stop:
        if (!rotor.arrived()) {
            rotor.stop();
            return {"stopped at " + headingText(rotor.heading()), {}};
        }
        return {"told to stop while standing at " + headingText(rotor.heading()) + ": banner \"" +
                    std::string(vc::kBanner) + "\"",
                std::string(vc::kBanner)};
    case Action::None:
        break;
    }
    return {"not understood: " + command.reason, {}};
}

} // namespace

Response respond(const ReceivedLine& line, Rotor& rotor, bool mute)
{
    Response response = obey(line, rotor);
    if (mute && !response.answer.empty()) {
        response.note += " (mute: not sent)";
        response.answer.clear();
    }
    return response;
}

std::string headingText(double heading)
{
    char text[16];
    const bool whole = std::abs(heading - std::round(heading)) < 0.05;
    std::snprintf(text, sizeof text, whole ? "%.0f" : "%.1f", heading);
    return text;
}

} // namespace kestavo::virtualrotor
