// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace kestavo::app
{

// Degrees, north and east positive.
struct LatLon {
    double latitude;
    double longitude;
};

// A Maidenhead locator of 4, 6 or 8 characters (field AA-RR, square 00-99,
// subsquare AA-XX, extended square 00-99; letters in either case), blanks
// around it ignored: the centre of the square it names. nullopt for anything
// else.
[[nodiscard]] std::optional<LatLon> locatorCentre(QStringView locator);

// What a typed text asks for: a locator alone, or followed by " LP" or "LP"
// directly (either case), which asks for the long path. The locator is
// upper-cased, without blanks around it. nullopt when the text is no locator
// ("180", "JN58X").
// "JN58LP" is JN58 on the long path, not the subsquare LP of JN58.
struct LocatorTarget {
    QString locator;
    bool longPath;
};
[[nodiscard]] std::optional<LocatorTarget> locatorTarget(QStringView text);

// Where to turn from home for a target: the initial great-circle bearing
// (0 <= bearing < 360) and distance on a sphere of radius 6371 km; the long
// path turns 180 degrees further and goes round the other way.
// tooClose when the centres lie within one target square of each other, in
// latitude and in longitude, where a bearing means nothing.
struct Aim {
    double bearing;
    double distanceKm;
    bool tooClose;
};
// nullopt when either locator is malformed.
[[nodiscard]] std::optional<Aim> aim(QStringView home, const LocatorTarget& target);

// "JN58: 12° (1,034 km)", spoken "JN58 is 12 degrees, 1,034 kilometres";
// on the long path "JN58 long path: 192° (39,000 km)", spoken "JN58, long
// path, is 192 degrees, 39,000 kilometres"; too close, both "JN58 is within
// one square of home: no bearing". Whole degrees (360 shows as 0) and whole
// kilometres.
struct AimText {
    QString shown;
    QString spoken;
};
[[nodiscard]] AimText aimText(const LocatorTarget& target, const Aim& aim);

} // namespace kestavo::app
