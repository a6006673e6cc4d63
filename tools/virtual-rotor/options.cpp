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
        if (name != "--port" && name != "--rate" && name != "--start" && name != "--answer-delay") {
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
    return parsed;
}

std::string usage()
{
    using namespace constants;
    const std::string program(kProgramName);
    return "usage: " + program + " [--port N] [--rate DEGREES_PER_SECOND] [--start DEGREES]\n" +
           std::string(program.size() + 8, ' ') + "[--mute] [--answer-delay MS] [--stray-byte]\n" +
           "Stands in for the rotor controller on a pseudo-terminal that Kestavo reaches as\n"
           "port N (default " +
           std::to_string(kDefaultPort) +
           ") through its per-user port table.\n"
           "The rotor turns at --rate degrees per second (default 6) from --start (default 0).\n"
           "A command ends with CR or \";\". " +
           std::string(kCommandPrefix) + "DDD turns the rotor to DDD degrees; " +
           std::string(kQueryCommand) +
           "; asks\n"
           "for its bearing, answered as \";DDD\" with no line end; a lone \";\" stops a turn,\n"
           "and at rest makes it send \"" +
           std::string(kBanner) +
           "\".\n"
           "  --mute             take commands but send nothing back\n"
           "  --answer-delay MS  send every answer MS milliseconds late (0 to " +
           std::to_string(kMaxAnswerDelay.count()) +
           ")\n"
           "  --stray-byte       send the byte 0x" +
           hexBytes(std::string(1, kStrayByte)) +
           " at start, before anyone opens the line\n"
           "Ends on Ctrl-C, SIGTERM, SIGHUP, a line \"q\" or the end of standard input.\n";
}

} // namespace kestavo::virtualrotor
