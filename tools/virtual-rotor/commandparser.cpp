// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandparser.h"

#include "constants.h"

#include <algorithm>
#include <cstdio>

namespace kestavo::virtualrotor
{
namespace
{

[[nodiscard]] bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

[[nodiscard]] ParsedCommand refused(std::string reason)
{
    return ParsedCommand{std::nullopt, std::move(reason), Action::None};
}

} // namespace

ParsedCommand parseCommand(std::string_view line, char end)
{
    using namespace constants;
    if (end == kQueryEnd && line.empty())
        return ParsedCommand{std::nullopt, std::string(), Action::Stop};
    if (end == kQueryEnd && line == kQueryCommand)
        return ParsedCommand{std::nullopt, std::string(), Action::Query};
    if (line.empty())
        return refused("empty line");
    if (line == kQueryCommand)
        return refused(std::string(kQueryCommand) + " asks for the bearing only when " + kQueryEnd +
                       " ends it");
    if (!line.starts_with(kCommandPrefix))
        return refused("does not start with " + std::string(kCommandPrefix));
    const std::string_view digits = line.substr(kCommandPrefix.size());
    if (digits.empty())
        return refused("no heading after " + std::string(kCommandPrefix));
    if (!std::all_of(digits.begin(), digits.end(), isDigit))
        return refused("heading \"" + escapedText(digits) +
                       "\" is not whole degrees in decimal digits");
    if (digits.size() > kMaxHeadingDigits)
        return refused("heading \"" + std::string(digits) + "\" has more than " +
                       std::to_string(kMaxHeadingDigits) + " digits");
    int heading = 0;
    for (const char c : digits)
        heading = heading * 10 + (c - '0');
    if (heading > kMaxHeading)
        return refused("heading " + std::to_string(heading) + " is past " +
                       std::to_string(kMaxHeading));
    return ParsedCommand{heading, std::string(), Action::Turn};
}

std::string escapedText(std::string_view bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            text += '\\';
            text += c;
        } else if (byte == '\r') {
            text += "\\r";
        } else if (byte == '\n') {
            text += "\\n";
        } else if (byte == '\t') {
            text += "\\t";
        } else if (byte < 0x20 || byte >= 0x7f) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        } else {
            text += c;
        }
    }
    return text;
}

std::string hexBytes(std::string_view bytes)
{
    std::string text;
    for (const char c : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned char>(c));
        if (!text.empty())
            text += ' ';
        text += hex;
    }
    return text;
}

} // namespace kestavo::virtualrotor
