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

[[nodiscard]] Response turn(double target, Rotor& rotor, std::optional<int> offset)
{
    const double from = rotor.heading();
    rotor.retarget(target);
    if (rotor.arrived())
        return {"already at " + headingText(from) + antennaText(from, offset), {}};
    return {"turning from " + headingText(from) + " to " + headingText(rotor.target()) +
                antennaText(rotor.target(), offset),
            {}};
}

} // namespace

Response Responder::obey(const ReceivedLine& line, Rotor& rotor)
{
    if (line.tooLong)
        return {"not understood: no CR within " + std::to_string(vc::kMaxLineLength) +
                    " bytes (nor \"" + vc::kQueryEnd +
                    "\"), so the line is discarded up to the next one",
                {}};
    const std::string move = std::string(vc::kMoveCommand) + vc::kQueryEnd;
    const ParsedCommand command = parseCommand(line.bytes, line.end, m_dialect.set);
    switch (command.action) {
    case Action::Turn:
        return turn(*command.heading, rotor, m_offset);
    case Action::SetTarget:
        m_setTarget = command.heading;
        return {"target set to " + headingText(*m_setTarget) + antennaText(*m_setTarget, m_offset) +
                    ", not turning until " + move,
                {}};
    case Action::Move:
        if (!m_setTarget)
            return {"not understood: " + move + " with no target set", {}};
        return turn(*m_setTarget, rotor, m_offset);
    case Action::Forget: {
        const std::string what =
            m_setTarget ? "forgot the set target " + headingText(*m_setTarget) : "no target set";
        m_setTarget.reset();
        return {what + "; a lone \"" + vc::kQueryEnd + "\" does not stop this controller", {}};
    }
    case Action::Query:
        return answerBearing(rotor);
    case Action::Stop:
        if (!rotor.arrived()) {
            rotor.stop();
            return {"stopped at " + headingText(rotor.heading()) +
                        antennaText(rotor.heading(), m_offset),
                    {}};
        }
        return {"told to stop while standing at " + headingText(rotor.heading()) +
                    antennaText(rotor.heading(), m_offset) + ": banner \"" +
                    std::string(vc::kBanner) + "\"",
                std::string(vc::kBanner)};
    case Action::None:
        break;
    }
    return {"not understood: " + command.reason, {}};
}

Response Responder::answerBearing(const Rotor& rotor) const
{
    char text[16];
    if (m_dialect.set == CommandSet::Tenths) {
        std::snprintf(text, sizeof text, "%*.1f", vc::kTenthsAnswerWidth,
                      rotor.bearingTenths() / static_cast<double>(vc::kTenthsPerDegree));
        const std::string shown(text);
        return {"asked for the bearing: " + shown.substr(shown.find_first_not_of(' ')) +
                    antennaText(rotor.bearingTenths() / static_cast<double>(vc::kTenthsPerDegree),
                                m_offset),
                shown + vc::kAnswerStart};
    }
    std::snprintf(text, sizeof text, "%0*d", static_cast<int>(vc::kMaxHeadingDigits),
                  rotor.bearing());
    const std::string digits(text);
    return {"asked for the bearing: " + digits + antennaText(rotor.bearing(), m_offset),
            m_dialect.form == AnswerForm::Trailing ? digits + vc::kAnswerStart
                                                   : vc::kAnswerStart + digits};
}

Response Responder::respond(const ReceivedLine& line, Rotor& rotor)
{
    Response response = obey(line, rotor);
    if (m_dialect.mute && !response.answer.empty()) {
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

std::string antennaText(double heading, std::optional<int> offset)
{
    if (!offset)
        return {};
    const double full = vc::kMaxHeading;
    double antenna = std::fmod(heading + *offset, full);
    if (antenna < 0)
        antenna += full;
    // Rounded to the tenth shown first, so that 359.96 reads 0, not 360.
    antenna = std::round(antenna * vc::kTenthsPerDegree) / vc::kTenthsPerDegree;
    if (antenna >= full)
        antenna -= full;
    return " (antenna " + headingText(antenna) + ")";
}

} // namespace kestavo::virtualrotor
