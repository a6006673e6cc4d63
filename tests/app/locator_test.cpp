// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/locator.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

constexpr double kAnyBearing = -1;
constexpr double kNoAim = -1;

// From home, what a typed text turns to. Bearings and distances were worked
// out apart from this code, from the square centres, the distance by the
// spherical law of cosines.
TEST(Locator, AimsAtWhatIsTyped)
{
    const struct {
        QString home;
        QString typed;
        QString locator; // empty: the text is no locator
        bool longPath = false;
        double bearing = kAnyBearing;
        double km = kNoAim;
        bool tooClose = false;
        QString shown = {};
        QString spoken = {};
    } cases[] = {
        {"JN58", "FN31", "FN31", false, 297.056, 6311.420, false, "FN31: 297° (6,311 km)",
         "FN31 is 297 degrees, 6,311 kilometres"},
        {"JN58", "fn31 lp", "FN31", true, 117.056, 33718.753, false,
         "FN31 long path: 117° (33,719 km)", "FN31, long path, is 117 degrees, 33,719 kilometres"},
        {"JN58", "PM95", "PM95", false, 40.162, 9351.428},
        {"JN58", "QF56", "QF56", false, 78.126, 16322.130},
        {" io91 ", "JN58", "JN58", false, 106.575, 918.945},
        {"JN58", "KP20", "KP20", false, 28.559, 1604.477},
        {"RE78", "BL11", "BL11", false, 28.077, 7576.249},  // over the antimeridian
        {"RR73", "JN58", "JN58", false, 345.721, 5312.401}, // from the northern edge
        {"JN58TD", "  fn31pr  ", "FN31PR", false, 297.660, 6335.781},
        {"JN58", "AE51", "AE51", false, kAnyBearing, 20015.087}, // the antipode
        {"JN58TD12", "JN58TD13", "JN58TD13", false, 0.0, 0.463},
        {"JN58", "JN59", "JN59", false, 0.0, 111.195}, // next square: not too close
        {"JN58", "JN58", "JN58", false, kAnyBearing, 0.0, true,
         "JN58 is within one square of home: no bearing",
         "JN58 is within one square of home: no bearing"},
        {"JN58TD", "JN58", "JN58", false, 310.671, 60.715, true},
        {"RR99XA", "AR09", "AR09", false, 1.087, 53.300, true}, // across the antimeridian
        {"JN58", "JN58 LP", "JN58", true, kAnyBearing, 40030.174, true},
        {"JN58", "jn58lp", "JN58", true, kAnyBearing, 40030.174, true},
        {"JN58", "JN58TDlp", "JN58TD", true, 310.204, 39969.459},
        {"JN5", "FN31", "FN31"},
        {"SN58", "FN31", "FN31"},
    };
    const QString none[] = {"",       "180",  "JN58X",      "JN5",          "JN",
                            "SN58",   "JNA8", "JN58YA",     "JN58TD1A",     "J N58",
                            "JN58 L", "LP",   "JN58TD1234", "JN58TD1234 LP"};
    for (const QString& text : none)
        EXPECT_FALSE(kestavo::app::locatorTarget(text)) << text.toStdString();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.home.toStdString() + " -> " + c.typed.toStdString());
        const auto target = kestavo::app::locatorTarget(c.typed);
        ASSERT_TRUE(target);
        EXPECT_EQ(target->locator, c.locator);
        EXPECT_EQ(target->longPath, c.longPath);
        const auto aim = kestavo::app::aim(c.home, *target);
        ASSERT_EQ(aim.has_value(), c.km != kNoAim);
        if (!aim)
            continue;
        EXPECT_TRUE(aim->bearing >= 0 && aim->bearing < 360) << aim->bearing;
        if (c.bearing != kAnyBearing) {
            EXPECT_LE(std::abs(std::remainder(aim->bearing - c.bearing, 360.0)), 0.5);
        }
        EXPECT_NEAR(aim->distanceKm, c.km, c.km * 0.01 + 1e-9);
        EXPECT_EQ(aim->tooClose, c.tooClose);
        if (!c.shown.isEmpty()) {
            const auto text = kestavo::app::aimText(*target, *aim);
            EXPECT_EQ(text.shown, c.shown);
            EXPECT_EQ(text.spoken, c.spoken);
        }
    }
}

} // namespace
