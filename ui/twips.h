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

} // namespace kestavo::ui
