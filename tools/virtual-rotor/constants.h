// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/constants.h"

#include <chrono>
#include <cstddef>
#include <string_view>

// Every fixed value of the virtual rotor controller.
namespace kestavo::virtualrotor::constants
{

// The command as Kestavo sends it; taken from Kestavo's own constants so the
// two cannot drift apart.
inline constexpr std::string_view kCommandPrefix{
    kestavo::constants::kCommandPrefix.data(),
    static_cast<std::size_t>(kestavo::constants::kCommandPrefix.size())};
inline constexpr char kCommandEnd = static_cast<char>(kestavo::constants::kCommandEnd);

// The other end a command can have: it closes the bearing query, and alone
// it is the stop command. Some controllers take it after a position too.
inline constexpr char kQueryEnd = ';';
inline constexpr std::string_view kQueryCommand{"AI1"};
// The two-step set's own commands: go to the target set before, and stop.
inline constexpr std::string_view kMoveCommand{"AM1"};
inline constexpr std::string_view kStopCommand{"AS1"};
// The tenths set asks for its finer bearing with another word.
inline constexpr std::string_view kTenthsQueryCommand{"BI1"};

inline constexpr std::string_view kOneStepName{"one-step"};
inline constexpr std::string_view kTwoStepName{"two-step"};
inline constexpr std::string_view kTenthsName{"tenths"};
inline constexpr std::string_view kLeadingName{"leading"};
inline constexpr std::string_view kTrailingName{"trailing"};

// The bearing goes back as this, then three digits, and no line end; with
// --answer-form trailing the same character comes after the digits, as it
// does after the tenths answer.
inline constexpr char kAnswerStart = ';';
// What it sends of its own accord when told to stop while standing still.
inline constexpr std::string_view kBanner{"VR1.0"};
// With --stray-byte, the one byte it sends before anything else, like the
// noise of a controller that is switched on.
inline constexpr char kStrayByte = '\xFF';

inline constexpr int kMinHeading = 0;
inline constexpr int kMaxHeading = 360;
// --offset turns the controller's scale by less than a full turn either way.
inline constexpr int kMinOffset = -359;
inline constexpr int kMaxOffset = 359;
inline constexpr std::size_t kMaxHeadingDigits = 3;
// A tenths heading is ddd.d, a tenths bearing goes back as five characters,
// blank-padded on the left, then the answer end.
inline constexpr char kTenthsPoint = '.';
inline constexpr std::size_t kTenthsHeadingLength = kMaxHeadingDigits + 2;
inline constexpr int kTenthsAnswerWidth = 5;
inline constexpr int kTenthsPerDegree = 10;

// A line that grows past this without an end is thrown away, so a sender that
// never ends its line cannot make us grow without bound.
inline constexpr std::size_t kMaxLineLength = 4096;

inline constexpr int kDefaultPort = 99;
// A full turn in one minute, like a real rotor.
inline constexpr double kDefaultRate = 6.0;
inline constexpr double kDefaultStart = 0.0;
// Kestavo's port numbers are 16-bit and start at 1.
inline constexpr int kMinPort = 1;
inline constexpr int kMaxPort = 32767;
inline constexpr std::chrono::milliseconds kMaxAnswerDelay{60000};

// How often the poll loop wakes up to move the rotor and look at the line
// settings, and how often a turning rotor reports its heading.
inline constexpr std::chrono::milliseconds kTick{100};
inline constexpr std::chrono::milliseconds kProgressInterval{500};

inline constexpr std::size_t kReadChunk = 4096;

inline constexpr std::string_view kProgramName{"virtual-rotor"};

} // namespace kestavo::virtualrotor::constants
