// SPDX-License-Identifier: GPL-3.0-or-later
#include "heading.h"

#include "app/commandset.h"
#include "platform/constants.h"
#include "platform/conversion.h"

#include <charconv>
#include <cmath>
#include <string>

namespace kestavo::app
{

std::optional<double> readNumber(QStringView text)
{
    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar c : text) {
        // from_chars would take "inf", "nan" and a leading '-' only; a '+'
        // or anything beyond ASCII is no number either.
        const bool allowed = (c >= u'0' && c <= u'9') || c == u'.' || c == u',' || c == u'-' ||
                             c == u'e' || c == u'E' || (c == u'+' && !ascii.empty());
        if (!allowed)
            return std::nullopt;
        // gpredict writes numbers in the user's locale ("174,46").
        ascii.push_back(c == u',' ? '.' : static_cast<char>(c.unicode()));
    }
    double value = 0;
    const char* end = ascii.data() + ascii.size();
    const auto [stop, error] = std::from_chars(ascii.data(), end, value);
    if (ascii.empty() || error != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<Heading> headingOf(QStringView text)
{
    const std::optional<double> target = readNumber(text);
    if (!target || !(*target >= constants::kLowestTarget && *target <= constants::kHighestTarget))
        return std::nullopt;
    // Within that range the whole degrees fit the conversion's 16 bits.
    QString decimal = text.toString();
    decimal.replace(u',', u'.');
    const int degrees = platform::textToInt16(decimal);
    return Heading{*target, intoTurn(degrees * kTenthsPerDegree) / kTenthsPerDegree,
                   intoTurn(static_cast<int>(std::nearbyint(*target * kTenthsPerDegree)))};
}

} // namespace kestavo::app
