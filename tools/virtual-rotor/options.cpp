// SPDX-License-Identifier: GPL-3.0-or-later
#include "options.h"

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
    ParsedOptions parsed{Options{kDefaultPort, kDefaultRate, kDefaultStart, false}, {}};
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view name = arguments[i];
        std::optional<std::string_view> value;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != name.npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
        }
        if (name == "--help" || name == "-h") {
            parsed.options.help = true;
            continue;
        }
        if (name != "--port" && name != "--rate" && name != "--start") {
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
    return "usage: " + std::string(kProgramName) +
           " [--port N] [--rate DEGREES_PER_SECOND] [--start DEGREES]\n"
           "Stands in for the rotor controller on a pseudo-terminal that Kestavo reaches as\n"
           "port N (default " +
           std::to_string(kDefaultPort) +
           ") through its per-user port table.\n"
           "The rotor turns at --rate degrees per second (default 6) from --start (default 0).\n"
           "Ends on Ctrl-C, SIGTERM, SIGHUP, a line \"q\" or the end of standard input.\n";
}

} // namespace kestavo::virtualrotor
