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

// Read-back, played out on the line in one start without a window manager:
// the benchmark answers each bearing question at once. Standing still, it
// is asked every 5 s, so two intervals take 10 s; turning, every 0.5 s, and
// each answer moves the bearing, never near the target, so that each is a
// new figure for p to bring back.
inline constexpr std::string_view kBearingQuestion = view(constants::kBearingQuestion);
inline constexpr int kStillBearing = 90;
inline constexpr int kStillIntervals = 2;
inline constexpr int kTurnTarget = 270;
inline constexpr int kTurnStep = 3;
inline constexpr int kTurnQuestions = 25;
static_assert(kStillBearing + kTurnQuestions * kTurnStep < kTurnTarget - 1);
// The longest gap between questions, at rest, with room to spare.
inline constexpr std::chrono::milliseconds kQuestionTimeout{7000};

// A pseudo-terminal has no speed: the line's time is reckoned from the
// bytes at Kestavo's settings, a start bit, eight data bits and a stop bit.
inline constexpr int kLineBaud = 4800;
inline constexpr int kBitsPerByte = 10;
static_assert(view(constants::kLineSettings) == "4800,n,8,1");

// GO's centre as a fraction of the client area, from Kestavo's twip table.
inline constexpr ui::Fraction kGoCentre = ui::centreOf(constants::kCommand1Twips);

inline constexpr double kStartRatioAim = 1.05;
inline constexpr double kMemoryRatioAim = 1.05;
inline constexpr std::chrono::duration<double, std::milli> kOwnClickAim{1.0};

} // namespace kestavo::bench
