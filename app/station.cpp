// SPDX-License-Identifier: GPL-3.0-or-later
#include "station.h"

#include "app/heading.h"
#include "app/locator.h"
#include "platform/constants.h"

#include <cmath>

namespace kestavo::app
{
namespace
{

[[nodiscard]] std::optional<int> wholeNumber(QStringView text, int lowest, int highest)
{
    const std::optional<double> value = readNumber(text.trimmed());
    if (!value || *value != std::trunc(*value) || *value < lowest || *value > highest)
        return std::nullopt;
    return static_cast<int>(*value);
}

} // namespace

Station Station::overriddenBy(const Station& over) const
{
    Station merged = *this;
    if (over.park)
        merged.park = over.park;
    if (over.parkAfterMinutes)
        merged.parkAfterMinutes = over.parkAfterMinutes;
    if (over.offset)
        merged.offset = over.offset;
    if (over.home)
        merged.home = over.home;
    if (over.web)
        merged.web = over.web;
    return merged;
}

std::optional<double> parkValue(QStringView text)
{
    const std::optional<double> value = readNumber(text.trimmed());
    if (!value || *value < 0 || *value > constants::kDegreesPerTurn)
        return std::nullopt;
    return *value;
}

std::optional<int> offsetValue(QStringView text)
{
    return wholeNumber(text, -(constants::kDegreesPerTurn - 1), constants::kDegreesPerTurn - 1);
}

std::optional<int> parkAfterValue(QStringView text)
{
    return wholeNumber(text, 1, constants::kMaxParkAfterMinutes);
}

std::optional<QString> homeValue(QStringView text)
{
    if (!locatorCentre(text))
        return std::nullopt;
    return text.trimmed().toString().toUpper();
}

std::optional<QString> readStationItem(QStringView name, QStringView value, Station& station)
{
    const QStringView key = name.trimmed();
    const auto is = [&](QLatin1StringView item) {
        return key.compare(item, Qt::CaseInsensitive) == 0;
    };
    // A value that cannot be taken leaves the setting as it was.
    const auto take = [](auto& setting, auto taken, QString why) {
        if (!taken)
            return why;
        setting = taken;
        return QString();
    };
    if (is(constants::kParkItem))
        return take(station.park, parkValue(value),
                    QStringLiteral("a park heading is 0 to 360 degrees"));
    if (is(constants::kParkAfterItem))
        return take(station.parkAfterMinutes, parkAfterValue(value),
                    QStringLiteral("park-after is whole minutes from 1 to %1")
                        .arg(constants::kMaxParkAfterMinutes));
    if (is(constants::kOffsetItem))
        return take(station.offset, offsetValue(value),
                    QStringLiteral("an offset is whole degrees from -359 to 359"));
    if (is(constants::kHomeItem))
        return take(station.home, homeValue(value),
                    QStringLiteral("a home is a locator of 4, 6 or 8 characters, such as JO62 "
                                   "or JO62QM"));
    if (is(constants::kWebItem)) {
        ListenAddress address;
        const QString wrong = readListenAddress(value.trimmed().toString(), address);
        if (!wrong.isEmpty())
            return QStringLiteral("%1; the page's address is [ADDRESS:]PORT, as in 8080 or "
                                  "192.168.1.5:8080")
                .arg(wrong);
        station.web = address;
        return QString();
    }
    return std::nullopt;
}

} // namespace kestavo::app
