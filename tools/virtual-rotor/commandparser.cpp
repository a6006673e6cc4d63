// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandparser.h"

#include "constants.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <span>

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

[[nodiscard]] ParsedCommand understood(Action action, std::optional<double> heading = {})
{
    return ParsedCommand{heading, std::string(), action};
}

// A command that is a word alone, taken only with ; after it.
struct Word {
    std::string_view text;
    Action action;
    std::string_view meaning;
};

constexpr Word kOneStepWords[] = {
    {constants::kQueryCommand, Action::Query, "asks for the bearing"}};
constexpr Word kTwoStepWords[] = {
    {constants::kQueryCommand, Action::Query, "asks for the bearing"},
    {constants::kMoveCommand, Action::Move, "turns to the set target"},
    {constants::kStopCommand, Action::Stop, "stops the rotor"}};
constexpr Word kTenthsWords[] = {
    {constants::kTenthsQueryCommand, Action::Query, "asks for the bearing"}};
// So that a word of another set is told apart from noise.
constexpr std::string_view kAllWords[] = {constants::kQueryCommand, constants::kMoveCommand,
                                          constants::kStopCommand, constants::kTenthsQueryCommand};

[[nodiscard]] std::span<const Word> wordsOf(CommandSet set)
{
    switch (set) {
    case CommandSet::TwoStep:
        return kTwoStepWords;
    case CommandSet::Tenths:
        return kTenthsWords;
    case CommandSet::OneStep:
        break;
    }
    return kOneStepWords;
}

[[nodiscard]] ParsedCommand wholeDegrees(std::string_view digits, bool exactlyThree)
{
    using namespace constants;
    if (!std::all_of(digits.begin(), digits.end(), isDigit))
        return refused("heading \"" + escapedText(digits) +
                       "\" is not whole degrees in decimal digits");
    if (digits.size() > kMaxHeadingDigits)
        return refused("heading \"" + std::string(digits) + "\" has more than " +
                       std::to_string(kMaxHeadingDigits) + " digits");
    if (exactlyThree && digits.size() != kMaxHeadingDigits)
        return refused("heading \"" + std::string(digits) + "\" is not exactly " +
                       std::to_string(kMaxHeadingDigits) + " digits");
    int heading = 0;
    for (const char c : digits)
        heading = heading * 10 + (c - '0');
    if (heading > kMaxHeading)
        return refused("heading " + std::to_string(heading) + " is past " +
                       std::to_string(kMaxHeading));
    return understood(Action::Turn, heading);
}

[[nodiscard]] ParsedCommand tenths(std::string_view text)
{
    using namespace constants;
    const auto digitOrPoint = [](std::size_t i, char c) {
        return i == kMaxHeadingDigits ? c == kTenthsPoint : isDigit(c);
    };
    bool shaped = text.size() == kTenthsHeadingLength;
    for (std::size_t i = 0; shaped && i < text.size(); ++i)
        shaped = digitOrPoint(i, text[i]);
    if (!shaped && !text.empty() && std::all_of(text.begin(), text.end(), isDigit))
        return refused("heading \"" + std::string(text) + "\" has no tenth (ddd.d)");
    if (!shaped)
        return refused("heading \"" + escapedText(text) + "\" is not ddd.d");
    int count = 0;
    for (const char c : text) {
        if (c != kTenthsPoint)
            count = count * 10 + (c - '0');
    }
    if (count > kMaxHeading * kTenthsPerDegree)
        return refused("heading " + std::string(text) + " is past " + std::to_string(kMaxHeading));
    return understood(Action::Turn, count / static_cast<double>(kTenthsPerDegree));
}

} // namespace

std::string_view commandSetName(CommandSet set)
{
    switch (set) {
    case CommandSet::TwoStep:
        return constants::kTwoStepName;
    case CommandSet::Tenths:
        return constants::kTenthsName;
    case CommandSet::OneStep:
        break;
    }
    return constants::kOneStepName;
}

std::optional<CommandSet> commandSetNamed(std::string_view name)
{
    for (const CommandSet set : {CommandSet::OneStep, CommandSet::TwoStep, CommandSet::Tenths}) {
        if (name == commandSetName(set))
            return set;
    }
    return std::nullopt;
}

ParsedCommand parseCommand(std::string_view line, char end, CommandSet set)
{
    using namespace constants;
    const bool semicolon = end == kQueryEnd;
    // The two-step controller takes a lone ; as "forget the target", not as a stop.
    if (semicolon && line.empty())
        return understood(set == CommandSet::TwoStep ? Action::Forget : Action::Stop);
    for (const Word& word : wordsOf(set)) {
        if (line != word.text)
            continue;
        if (semicolon)
            return understood(word.action);
        return refused(std::string(word.text) + " " + std::string(word.meaning) + " only when " +
                       kQueryEnd + " ends it");
    }
    if (std::ranges::find(kAllWords, line) != std::end(kAllWords))
        return refused(std::string(line) + " is not a command of the " +
                       std::string(commandSetName(set)) + " set");
    if (line.empty())
        return refused("empty line");
    if (!line.starts_with(kCommandPrefix))
        return refused("does not start with " + std::string(kCommandPrefix));
    const std::string_view heading = line.substr(kCommandPrefix.size());
    if (heading.empty())
        return refused("no heading after " + std::string(kCommandPrefix));
    switch (set) {
    case CommandSet::OneStep:
        return wholeDegrees(heading, false);
    case CommandSet::TwoStep: {
        if (!semicolon)
            return refused(std::string(kCommandPrefix) + "ddd sets the target only when " +
                           kQueryEnd + " ends it; after CR it does nothing");
        ParsedCommand parsed = wholeDegrees(heading, true);
        if (parsed.action == Action::Turn)
            parsed.action = Action::SetTarget;
        return parsed;
    }
    case CommandSet::Tenths:
        if (semicolon)
            return refused(std::string(kCommandPrefix) +
                           "ddd.d turns the rotor only when CR ends it");
        return tenths(heading);
    }
    return refused("no such command set");
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
