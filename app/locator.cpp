// SPDX-License-Identifier: GPL-3.0-or-later
#include "locator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace kestavo::app
{
namespace
{

constexpr double kEarthRadiusKm = 6371.0;
constexpr double kFullTurn = 360.0;
constexpr double kHalfTurn = 180.0;
constexpr double kRadiansPerDegree = std::numbers::pi / kHalfTurn;

// Squares are counted in units of the smallest one (an extended square):
// 1/240 degree of latitude and 1/120 degree of longitude. Every size is then
// a whole number, the same in both senses, and neighbours compare exactly.
constexpr int kUnitsPerLatitudeDegree = 240;
constexpr int kUnitsPerLongitudeDegree = 120;
// Centres fall on half units.
constexpr int kHalvesPerTurn = 2 * 360 * kUnitsPerLongitudeDegree;

// One pair of characters: the first character of its range, how many there
// are, and the size of one step in units.
struct Step {
    char16_t first;
    int count;
    int units;
};
constexpr std::array<Step, 4> kSteps{{
    {u'A', 18, 2400}, // field: 20 x 10 degrees
    {u'0', 10, 240},  // square: 2 x 1
    {u'A', 24, 10},   // subsquare: 2/24 x 1/24
    {u'0', 10, 1},    // extended square: 2/240 x 1/240
}};
constexpr qsizetype kShortestLocator = 4;
constexpr qsizetype kLongestLocator = 2 * static_cast<qsizetype>(kSteps.size());

constexpr QStringView kLongPath = u"LP";

// ASCII only: QChar::toUpper() would make a dotless 'ı' an 'I'.
[[nodiscard]] char16_t asciiUpper(QChar c)
{
    const char16_t u = c.unicode();
    return u >= u'a' && u <= u'z' ? static_cast<char16_t>(u - u'a' + u'A') : u;
}

[[nodiscard]] std::optional<int> stepIndex(QChar c, const Step& step)
{
    const int index = asciiUpper(c) - step.first;
    if (index < 0 || index >= step.count)
        return std::nullopt;
    return index;
}

// In units: the south-west corner, counted from 90 S and 180 W, and the size.
struct Square {
    int south;
    int west;
    int size;
};

[[nodiscard]] std::optional<Square> squareOf(QStringView locator)
{
    const QStringView text = locator.trimmed();
    if (text.size() < kShortestLocator || text.size() > kLongestLocator || text.size() % 2 != 0)
        return std::nullopt;
    Square square{0, 0, 0};
    for (qsizetype i = 0; i < text.size(); i += 2) {
        const Step& step = kSteps[static_cast<std::size_t>(i / 2)];
        const std::optional<int> west = stepIndex(text[i], step);
        const std::optional<int> south = stepIndex(text[i + 1], step);
        if (!west || !south)
            return std::nullopt;
        square.west += *west * step.units;
        square.south += *south * step.units;
        square.size = step.units;
    }
    return square;
}

[[nodiscard]] LatLon centreOf(const Square& square)
{
    return {(2 * square.south + square.size) / (2.0 * kUnitsPerLatitudeDegree) - kHalfTurn / 2,
            (2 * square.west + square.size) / (2.0 * kUnitsPerLongitudeDegree) - kHalfTurn};
}

[[nodiscard]] double normalised(double degrees)
{
    const double turned = std::fmod(degrees, kFullTurn);
    const double positive = turned < 0 ? turned + kFullTurn : turned;
    // -1e-15 + 360 rounds to 360.
    return positive >= kFullTurn ? 0.0 : positive;
}

[[nodiscard]] QString grouped(long value)
{
    QString digits = QString::number(value);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u',');
    return digits;
}

} // namespace

std::optional<LatLon> locatorCentre(QStringView locator)
{
    const std::optional<Square> square = squareOf(locator);
    if (!square)
        return std::nullopt;
    return centreOf(*square);
}

std::optional<LocatorTarget> locatorTarget(QStringView text)
{
    const QStringView typed = text.trimmed();
    const auto upper = [](QStringView locator) {
        QString result;
        for (const QChar c : locator)
            result.append(QChar(asciiUpper(c)));
        return result;
    };
    // The suffix is tried first, so "JN58LP" is JN58 the long way round.
    if (typed.size() > kLongPath.size()) {
        const QStringView tail = typed.last(kLongPath.size());
        const QStringView head = typed.chopped(kLongPath.size()).trimmed();
        if (asciiUpper(tail[0]) == kLongPath[0] && asciiUpper(tail[1]) == kLongPath[1] &&
            squareOf(head))
            return LocatorTarget{upper(head), true};
    }
    if (squareOf(typed))
        return LocatorTarget{upper(typed), false};
    return std::nullopt;
}

std::optional<Aim> aim(QStringView home, const LocatorTarget& target)
{
    const std::optional<Square> from = squareOf(home);
    const std::optional<Square> to = squareOf(target.locator);
    if (!from || !to)
        return std::nullopt;

    // How far apart the centres are, in half units; longitude the shorter way round.
    const int northHalves = std::abs((2 * to->south + to->size) - (2 * from->south + from->size));
    const int eastHalves =
        std::abs((2 * to->west + to->size) - (2 * from->west + from->size)) % kHalvesPerTurn;
    const bool tooClose = northHalves < 2 * to->size &&
                          std::min(eastHalves, kHalvesPerTurn - eastHalves) < 2 * to->size;

    const LatLon a = centreOf(*from);
    const LatLon b = centreOf(*to);
    const double phi1 = a.latitude * kRadiansPerDegree;
    const double phi2 = b.latitude * kRadiansPerDegree;
    const double dLambda = (b.longitude - a.longitude) * kRadiansPerDegree;

    const double bearing = std::atan2(std::sin(dLambda) * std::cos(phi2),
                                      std::cos(phi1) * std::sin(phi2) -
                                          std::sin(phi1) * std::cos(phi2) * std::cos(dLambda)) /
                           kRadiansPerDegree;

    const double sinHalfPhi = std::sin((phi2 - phi1) / 2);
    const double sinHalfLambda = std::sin(dLambda / 2);
    const double haversine =
        sinHalfPhi * sinHalfPhi + std::cos(phi1) * std::cos(phi2) * sinHalfLambda * sinHalfLambda;
    // Rounding can take antipodes a hair past 1, and asin() to NaN.
    const double shortKm =
        2 * kEarthRadiusKm * std::asin(std::sqrt(std::clamp(haversine, 0.0, 1.0)));

    if (target.longPath)
        return Aim{normalised(bearing + kHalfTurn), 2 * std::numbers::pi * kEarthRadiusKm - shortKm,
                   tooClose};
    return Aim{normalised(bearing), shortKm, tooClose};
}

AimText aimText(const LocatorTarget& target, const Aim& aim)
{
    if (aim.tooClose) {
        const QString text =
            QStringLiteral("%1 is within one square of home: no bearing").arg(target.locator);
        return {text, text};
    }
    const long degrees = std::lround(aim.bearing) % static_cast<long>(kFullTurn);
    const long km = std::lround(aim.distanceKm);
    const QString bearing = QString::number(degrees);
    const QString distance = grouped(km);
    const QString degreeWord = degrees == 1 ? QStringLiteral("degree") : QStringLiteral("degrees");
    const QString kmWord = km == 1 ? QStringLiteral("kilometre") : QStringLiteral("kilometres");
    if (target.longPath)
        return {
            QStringLiteral("%1 long path: %2\u00B0 (%3 km)").arg(target.locator, bearing, distance),
            QStringLiteral("%1, long path, is %2 %3, %4 %5")
                .arg(target.locator, bearing, degreeWord, distance, kmWord)};
    return {QStringLiteral("%1: %2\u00B0 (%3 km)").arg(target.locator, bearing, distance),
            QStringLiteral("%1 is %2 %3, %4 %5")
                .arg(target.locator, bearing, degreeWord, distance, kmWord)};
}

} // namespace kestavo::app
