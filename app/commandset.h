// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/constants.h"

#include <QLatin1StringView>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <optional>

namespace kestavo::app
{

// The commands a controller of this family takes differ by model:
// - OneStep: "AP1" + the text + CR sets and turns; ";" stops; "AI1;" asks.
// - TwoStep: "AP1ddd;" sets, "AM1;" turns; "AS1;" stops; "AI1;" asks.
// - Tenths: "AP1ddd.d" + CR turns; ";" stops; "BI1;" asks.
enum class CommandSet { OneStep, TwoStep, Tenths };

inline constexpr CommandSet kDefaultCommandSet = CommandSet::OneStep;

// "one-step", "two-step" or "tenths", as the option and Tavimer.ini write it.
[[nodiscard]] QLatin1StringView commandSetName(CommandSet set);

// The set a name means, case and blanks around it ignored; nullopt for none.
[[nodiscard]] std::optional<CommandSet> commandSetNamed(QStringView name);

// Headings and bearings on the line are kept in tenths of a degree, 0-3599.
inline constexpr int kTenthsPerDegree = 10;
inline constexpr int kTenthsPerTurn = constants::kDegreesPerTurn * kTenthsPerDegree;
// The controller's resolution: a bearing this close counts as there.
inline constexpr int kResolutionTenths =
    static_cast<int>(constants::kBearingResolution * kTenthsPerDegree);

// A bearing in tenths taken into one turn, 0-3599.
[[nodiscard]] constexpr int intoTurn(int tenths)
{
    return (tenths % kTenthsPerTurn + kTenthsPerTurn) % kTenthsPerTurn;
}

// How far apart two bearings in tenths are, the short way round: 0-1800.
[[nodiscard]] constexpr int tenthsApart(int a, int b)
{
    const int apart = intoTurn(a - b);
    return std::min(apart, kTenthsPerTurn - apart);
}

// The finest step the set can send, in tenths.
[[nodiscard]] int resolution(CommandSet set);

// What turns the rotor to heading (tenths, a multiple of resolution(set)).
[[nodiscard]] QString positionCommand(CommandSet set, int heading);

// GO of the one-step set: the text exactly as typed.
[[nodiscard]] QString typedCommand(const QString& text);

// The heading a typed text puts on the line with the one-step set, in
// tenths: one to three plain digits up to 360; nullopt for any other text,
// which the controller may well refuse.
[[nodiscard]] std::optional<int> plainHeading(QStringView text);

[[nodiscard]] QLatin1StringView stopCommand(CommandSet set);
[[nodiscard]] QLatin1StringView bearingQuestion(CommandSet set);

} // namespace kestavo::app
