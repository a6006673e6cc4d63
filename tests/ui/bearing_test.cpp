// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/compassdial.h"

#include <QImage>

#include <gtest/gtest.h>

#include <optional>

using kestavo::ui::CompassDial;

namespace
{

// The needle drawn clockwise from north: looked for partway out along its
// bearing and on the opposite side, where only the card's face may be.
TEST(CompassDial, TheNeedlePointsAlongTheBearing)
{
    CompassDial dial;
    dial.resize(120, 120);
    const QColor face = dial.palette().color(QPalette::Base);
    const auto pixelAt = [&](QPoint offset) {
        return dial.grab().toImage().pixelColor(QPoint(60, 60) + offset);
    };
    struct Needle {
        int bearing;
        QPoint along;
    };
    for (const auto& [bearing, along] :
         {Needle{0, {0, -15}}, Needle{90, {15, 0}}, Needle{180, {0, 15}}, Needle{270, {-15, 0}}}) {
        dial.setBearing(bearing);
        EXPECT_NE(pixelAt(along), face) << bearing;
        EXPECT_EQ(pixelAt(-along), face) << bearing;
    }
    dial.setBearing(std::nullopt);
    EXPECT_EQ(pixelAt({0, -15}), face) << "no needle without a bearing";
}

} // namespace
