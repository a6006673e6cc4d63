// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandset.h"

#include "platform/constants.h"

#include <array>
#include <utility>

namespace kestavo::app
{
namespace
{

constexpr std::array<std::pair<CommandSet, QLatin1StringView>, 3> kNames{{
    {CommandSet::OneStep, constants::kOneStepName},
    {CommandSet::TwoStep, constants::kTwoStepName},
    {CommandSet::Tenths, constants::kTenthsName},
}};

} // namespace

QLatin1StringView commandSetName(CommandSet set)
{
    for (const auto& [named, name] : kNames) {
        if (named == set)
            return name;
    }
    return constants::kOneStepName;
}

std::optional<CommandSet> commandSetNamed(QStringView name)
{
    const QStringView trimmed = name.trimmed();
    for (const auto& [set, setName] : kNames) {
        if (trimmed.compare(setName, Qt::CaseInsensitive) == 0)
            return set;
    }
    return std::nullopt;
}

} // namespace kestavo::app
