// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/constants.h"

#include <QRect>
#include <QSize>

#include <cmath>

namespace kestavo::ui
{

// Twips to pixels at a given logical DPI, rounded to the nearest pixel.
class TwipScale
{
public:
    explicit TwipScale(int dpiX, int dpiY) : m_dpiX(dpiX), m_dpiY(dpiY) {}

    [[nodiscard]] int x(int twips) const { return convert(twips, m_dpiX); }
    [[nodiscard]] int y(int twips) const { return convert(twips, m_dpiY); }
    [[nodiscard]] QSize toPixels(QSize twips) const
    {
        return {x(twips.width()), y(twips.height())};
    }
    [[nodiscard]] QRect toPixels(const constants::TwipRect& twips) const
    {
        return {x(twips.left), y(twips.top), x(twips.width), y(twips.height)};
    }

private:
    [[nodiscard]] static int convert(int twips, int dpi)
    {
        return static_cast<int>(
            std::lround(static_cast<double>(twips) * dpi / constants::kTwipsPerInch));
    }

    int m_dpiX;
    int m_dpiY;
};

// Where a control's centre lies as a fraction of the window's client area:
// the same at every DPI, so that a click from outside the program can be
// aimed without knowing the screen.
struct Fraction {
    double x;
    double y;
};

[[nodiscard]] constexpr Fraction centreOf(const constants::TwipRect& twips)
{
    return {(twips.left + twips.width / 2.0) / constants::kClientWidthTwips,
            (twips.top + twips.height / 2.0) / constants::kClientHeightTwips};
}

} // namespace kestavo::ui
