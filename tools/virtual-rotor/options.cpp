// SPDX-License-Identifier: GPL-3.0-or-later
#include "options.h"

#include "commandparser.h"
#include "constants.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace kestavo::virtualrotor
{
namespace
{

template <typename Number> [[nodiscard]] std::optional<Number> numberFrom(std::string_view text)
{
    Number value{};
    const char* end = text.data() + text.size();
    const auto [next, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || next != end)
        return std::nullopt;
    return value;
}

} // namespace

ParsedOptions parseOptions(const std::vector<std::string_view>& arguments)
{
    using namespace constants;
    ParsedOptions parsed{};
    parsed.options.port = kDefaultPort;
    parsed.options.rate = kDefaultRate;
    parsed.options.start = kDefaultStart;
    bool formGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view name = arguments[i];
        std::optional<std::string_view> value;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != name.npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        bool* const flag = name == "--help" || name == "-h" ? &parsed.options.help
                           : name == "--mute"               ? &parsed.options.mute
                           : name == "--stray-byte"         ? &parsed.options.strayByte
                                                            : nullptr;
        if (flag && value) {
            parsed.error = std::string(name) + " takes no value";
            return parsed;
        }
        if (flag) {
            *flag = true;
            continue;
        }
        if (name != "--port" && name != "--rate" && name != "--start" && name != "--answer-delay" &&
            name != "--command-set" && name != "--answer-form" && name != "--stall-after" &&
            name != "--offset") {
            parsed.error = "unknown option \"" + std::string(arguments[i]) + "\"";
            return parsed;
        }
        if (!value) {
            if (i + 1 == arguments.size()) {
                parsed.error = std::string(name) + " needs a value";
                return parsed;
            }
            value = arguments[++i];
        }
        const std::string shown = std::string(name) + " \"" + std::string(*value) + "\"";
        if (name == "--port") {
            const auto port = numberFrom<int>(*value);
            if (!port || *port < kMinPort || *port > kMaxPort) {
                parsed.error = shown + ": the port number must be a whole number from " +
                               std::to_string(kMinPort) + " to " + std::to_string(kMaxPort);
                return parsed;
            }
            parsed.options.port = *port;
        } else if (name == "--rate") {
            const auto rate = numberFrom<double>(*value);
            if (!rate || !std::isfinite(*rate) || *rate <= 0) {
                parsed.error = shown + ": the rate must be a number of degrees per second above 0";
                return parsed;
            }
            parsed.options.rate = *rate;
        } else if (name == "--answer-delay") {
            const auto delay = numberFrom<int>(*value);
            if (!delay || *delay < 0 || *delay > kMaxAnswerDelay.count()) {
                parsed.error = shown + ": the answer delay must be whole milliseconds from 0 to " +
                               std::to_string(kMaxAnswerDelay.count());
                return parsed;
            }
            parsed.options.answerDelay = std::chrono::milliseconds(*delay);
        } else if (name == "--command-set") {
            const auto set = commandSetNamed(*value);
            if (!set) {
                parsed.error = shown + ": the command set must be " + std::string(kOneStepName) +
                               ", " + std::string(kTwoStepName) + " or " + std::string(kTenthsName);
                return parsed;
            }
            parsed.options.commandSet = *set;
        } else if (name == "--answer-form") {
            if (*value != kLeadingName && *value != kTrailingName) {
                parsed.error = shown + ": the answer form must be " + std::string(kLeadingName) +
                               " or " + std::string(kTrailingName);
                return parsed;
            }
            formGiven = true;
            parsed.options.answerForm =
                *value == kTrailingName ? AnswerForm::Trailing : AnswerForm::Leading;
        } else if (name == "--stall-after") {
            const auto stall = numberFrom<double>(*value);
            if (!stall || !(*stall >= kMinHeading && *stall <= kMaxHeading)) {
                parsed.error = shown + ": the stall heading must be from " +
                               std::to_string(kMinHeading) + " to " + std::to_string(kMaxHeading);
                return parsed;
            }
            parsed.options.stallAfter = *stall;
        } else if (name == "--offset") {
            const auto offset = numberFrom<int>(*value);
            if (!offset || *offset < kMinOffset || *offset > kMaxOffset) {
                parsed.error = shown + ": the offset must be whole degrees from " +
                               std::to_string(kMinOffset) + " to " + std::to_string(kMaxOffset);
                return parsed;
            }
            parsed.options.offset = *offset;
        } else {
            const auto start = numberFrom<double>(*value);
            if (!start || !(*start >= kMinHeading && *start <= kMaxHeading)) {
                parsed.error = shown + ": the start heading must be from " +
                               std::to_string(kMinHeading) + " to " + std::to_string(kMaxHeading);
                return parsed;
            }
            parsed.options.start = *start;
        }
    }
    // Its answer has one form only, so asking for another would be a silent lie.
    if (formGiven && parsed.options.commandSet == CommandSet::Tenths)
        parsed.error = "--answer-form is for the " + std::string(kOneStepName) + " and " +
                       std::string(kTwoStepName) + " sets; " + std::string(kTenthsName) +
                       " always answers as ddd.d;";
    return parsed;
}

std::string usage()
{
    using namespace constants;
    const std::string program(kProgramName);
    const std::string indent(program.size() + 8, ' ');
    const std::string prefix(kCommandPrefix);
    const std::string banner(kBanner);
    return "usage: " + program + " [--port N] [--rate DEGREES_PER_SECOND] [--start DEGREES]\n" +
           indent + "[--mute] [--answer-delay MS] [--stray-byte]\n" + indent +
           "[--command-set NAME] [--answer-form " + std::string(kLeadingName) + "|" +
           std::string(kTrailingName) + "]\n" + indent +
           "[--stall-after DEGREES] [--offset DEGREES]\n"
           "Stands in for the rotor controller on a pseudo-terminal that Kestavo reaches as\n"
           "port N (default " +
           std::to_string(kDefaultPort) +
           ") through its per-user port table.\n"
           "The rotor turns at --rate degrees per second (default 6) from --start (default 0).\n"
           "A command ends with CR or \";\". " +
           prefix + "DDD turns the rotor to DDD degrees; " + std::string(kQueryCommand) +
           "; asks\n"
           "for its bearing, answered as \";DDD\" with no line end; a lone \";\" stops a turn,\n"
           "and at rest makes it send \"" +
           banner +
           "\". These are the commands of the one-step set.\n"
           "  --command-set NAME  the commands it takes: " +
           std::string(kOneStepName) + " (the default) or\n      " + std::string(kTwoStepName) +
           "  " + prefix + "DDD; (three digits) sets the target without turning, " +
           std::string(kMoveCommand) +
           ";\n"
           "                turns to it, " +
           std::string(kStopCommand) + "; stops (at rest: \"" + banner + "\"), " +
           std::string(kQueryCommand) +
           "; asks, a lone\n"
           "                \";\" forgets the target, and " +
           prefix +
           "DDD with CR does nothing\n"
           "      " +
           std::string(kTenthsName) + "    " + prefix + "DDD.D with CR turns to a tenth, " +
           std::string(kTenthsQueryCommand) +
           "; asks, answered as\n"
           "                \"DDD.D;\", padded with blanks (\" 48.8;\"), and a lone \";\""
           " stops\n"
           "  --answer-form FORM  how one-step and two-step answer: " +
           std::string(kLeadingName) +
           " (\";DDD\", the\n"
           "                     default) or " +
           std::string(kTrailingName) +
           " (\"DDD;\")\n"
           "  --mute             take commands but send nothing back\n"
           "  --answer-delay MS  send every answer MS milliseconds late (0 to " +
           std::to_string(kMaxAnswerDelay.count()) +
           ")\n"
           "  --stray-byte       send the byte 0x" +
           hexBytes(std::string(1, kStrayByte)) +
           " at start, before anyone opens the line\n"
           "  --stall-after DEG  the rotor stops for good when a turn reaches DEG (0 to 360),\n"
           "                     still answering with where it is\n"
           "  --offset DEG       notes also give the antenna's bearing, the controller's\n"
           "                     heading plus DEG (" +
           std::to_string(kMinOffset) + " to " + std::to_string(kMaxOffset) +
           "); the line is unchanged\n"
           "Ends on Ctrl-C, SIGTERM, SIGHUP, a line \"q\" or the end of standard input.\n";
}

} // namespace kestavo::virtualrotor
