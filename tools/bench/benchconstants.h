// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/constants.h"
#include "ui/twips.h"

#include <chrono>
#include <string_view>

// Every count, wait and aim of the benchmark in one place.
namespace kestavo::bench
{

[[nodiscard]] constexpr std::string_view view(QLatin1StringView text)
{
    return {text.data(), static_cast<std::size_t>(text.size())};
}

inline constexpr std::string_view kKestavoProgram = "kestavo";
inline constexpr std::string_view kBareProgram = "kestavo-bench-bare";
inline constexpr std::string_view kWindowName = view(constants::kWindowTitle);

// Rounds per X set-up, each one start of either program, after one start of
// each that is not counted: the first start after a build reads the binaries
// and libraries from disk. Pairing the two starts of a round cancels slow
// drifts of the machine; 72 rounds of both X set-ups take about a minute.
inline constexpr int kDefaultRuns = 72;
inline constexpr int kDefaultClicksPerRun = 3;
// Memory needs a pause for start-up to settle, and the clicks their own
// time: both are taken in one round of so many, which keeps a whole run of
// both X set-ups under two minutes.
inline constexpr int kMemoryEvery = 4;
inline constexpr int kClickEvery = 4;

// Port 99 in Tavimer.ini, mapped through the private port table.
inline constexpr int kPortNumber = 99;
inline constexpr std::string_view kPortFileContent = "99\r\n";
inline constexpr std::string_view kTarget = "180";

inline constexpr std::string_view kScreen = "1024x768x24";

inline constexpr std::chrono::milliseconds kMapTimeout{10000};
// Memory is read once start-up's own allocations have settled.
inline constexpr std::chrono::milliseconds kSettle{300};
// Time for the program to take the focus, the typed text and the pointer
// before anything is measured on them.
inline constexpr std::chrono::milliseconds kInputSettle{100};
inline constexpr std::chrono::milliseconds kClickGap{50};
inline constexpr std::chrono::milliseconds kByteTimeout{2000};
// Kestavo may give queued bytes up to 5 s to drain when it ends.
inline constexpr std::chrono::milliseconds kEndTimeout{8000};

// GO's centre as a fraction of the client area, from Kestavo's twip table.
inline constexpr ui::Fraction kGoCentre = ui::centreOf(constants::kCommand1Twips);

inline constexpr double kStartRatioAim = 1.05;
inline constexpr double kMemoryRatioAim = 1.05;
inline constexpr std::chrono::duration<double, std::milli> kOwnClickAim{1.0};

} // namespace kestavo::bench
