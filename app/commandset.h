// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLatin1StringView>
#include <QStringView>

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

} // namespace kestavo::app
