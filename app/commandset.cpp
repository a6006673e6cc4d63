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

int resolution(CommandSet set)
{
    return set == CommandSet::Tenths ? 1 : kTenthsPerDegree;
}

QString positionCommand(CommandSet set, int heading)
{
    const int degrees = heading / kTenthsPerDegree;
    const QString whole = QStringLiteral("%1").arg(degrees, 3, 10, QChar(u'0'));
    switch (set) {
    case CommandSet::OneStep:
        return typedCommand(whole);
    case CommandSet::TwoStep:
        return QString(constants::kCommandPrefix) + whole + QString(constants::kTwoStepEnd) +
               QString(constants::kTwoStepMove);
    case CommandSet::Tenths:
        return typedCommand(whole + u'.' + QString::number(heading % kTenthsPerDegree));
    }
    return typedCommand(whole);
}

QString typedCommand(const QString& text)
{
    return QString(constants::kCommandPrefix) + text + QChar(constants::kCommandEnd);
}

std::optional<int> plainHeading(QStringView text)
{
    if (text.isEmpty() || text.size() > constants::kHeadingDigits)
        return std::nullopt;
    int degrees = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        degrees = degrees * 10 + (c.unicode() - u'0');
    }
    if (degrees > constants::kDegreesPerTurn)
        return std::nullopt;
    return (degrees % constants::kDegreesPerTurn) * kTenthsPerDegree;
}

QLatin1StringView stopCommand(CommandSet set)
{
    return set == CommandSet::TwoStep ? constants::kTwoStepStop : constants::kStopCommand;
}

QLatin1StringView bearingQuestion(CommandSet set)
{
    return set == CommandSet::Tenths ? constants::kTenthsQuestion : constants::kBearingQuestion;
}

} // namespace kestavo::app
