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

inline constexpr int kMinHeading = 0;
inline constexpr int kMaxHeading = 360;
inline constexpr std::size_t kMaxHeadingDigits = 3;

// A line that grows past this without a CR is thrown away, so a sender that
// never ends its line cannot make us grow without bound.
inline constexpr std::size_t kMaxLineLength = 4096;

inline constexpr int kDefaultPort = 99;
// A full turn in one minute, like a real rotor.
inline constexpr double kDefaultRate = 6.0;
inline constexpr double kDefaultStart = 0.0;
// Kestavo's port numbers are 16-bit and start at 1.
inline constexpr int kMinPort = 1;
inline constexpr int kMaxPort = 32767;

// How often the poll loop wakes up to move the rotor and look at the line
// settings, and how often a turning rotor reports its heading.
inline constexpr std::chrono::milliseconds kTick{100};
inline constexpr std::chrono::milliseconds kProgressInterval{500};

inline constexpr std::size_t kReadChunk = 4096;

inline constexpr std::string_view kProgramName{"virtual-rotor"};

} // namespace kestavo::virtualrotor::constants
