// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/bearingpanel.h"
#include "ui/compassdial.h"

#include "support/cases.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>
#include <string>

using kestavo::test::ByName;
using kestavo::ui::BearingPanel;
using kestavo::ui::CompassDial;

namespace
{

using kestavo::test::PrintTo;

struct TextCase {
    const char* name;
    std::optional<int> bearing;
    std::optional<double> target;
    bool answering;
    std::string text;
};

class BearingText : public ::testing::TestWithParam<TextCase>
{
};

// Each case follows a bearing with a target, so that what it drops shows.
TEST_P(BearingText, TheLabelAndTheScreenReaderReadTheSame)
{
    QWidget window;
    window.setFont(QFont(QStringLiteral("Sans"), 30));
    auto* panel = new BearingPanel(&window);
    panel->showBearing(182, 270.0, true);
    panel->showBearing(GetParam().bearing, GetParam().target, GetParam().answering);
    const auto* label = panel->findChild<QLabel*>();
    EXPECT_EQ(label->text().toStdString(), GetParam().text);
    EXPECT_EQ(label->accessibleName().toStdString(), GetParam().text);
    EXPECT_EQ(panel->accessibleDescription().toStdString(), GetParam().text);
    EXPECT_DOUBLE_EQ(label->font().pointSizeF(), QApplication::font().pointSizeF())
        << "not the window's";
}

// The panel is sized once, as it is made; every text then fits one line of
// it, at every DPI the tests run at.
TEST_P(BearingText, FitsOneLineOfThePanelAsItWasMade)
{
    BearingPanel panel;
    const QSize made = panel.sizeHint();
    panel.resize(made);
    panel.showBearing(GetParam().bearing, GetParam().target, GetParam().answering);
    panel.layout()->activate();
    const auto* label = panel.findChild<QLabel*>();
    EXPECT_FALSE(label->wordWrap());
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->contentsRect().width());
    EXPECT_EQ(panel.sizeHint(), made) << "the window would have to change for it";
}

INSTANTIATE_TEST_SUITE_P(
    States, BearingText,
    ::testing::Values(
        TextCase{"to a target", 182, 270.0, true, "Bearing 182° → 270°"},
        TextCase{"to a fractional target", 0, 359.6, true, "Bearing 0° → 359.6°"},
        TextCase{"to north", 359, 0.0, true, "Bearing 359° → 0°"},
        TextCase{"to a target past north", 10, -20.5, true, "Bearing 10° → -20.5°"},
        TextCase{"three digits each way", 120, 120.0, true, "Bearing 120° → 120°"},
        TextCase{"three digits to a tenth", 359, 359.6, true, "Bearing 359° → 359.6°"},
        TextCase{"the widest target", 188, -179.5, true, "Bearing 188° → -179.5°"},
        TextCase{"without a target", 0, std::nullopt, true, "Bearing 0°"},
        TextCase{"before the first answer", std::nullopt, 90.0, true,
                 "Bearing: waiting for the controller"},
        TextCase{"no longer answering", 182, 270.0, false, "No bearing from the controller"}),
    ByName());

TEST(BearingPanel, StopAsksToStop)
{
    BearingPanel panel;
    QSignalSpy stops(&panel, &BearingPanel::stopRequested);
    QTest::mouseClick(panel.findChild<QPushButton*>(QStringLiteral("StopButton")), Qt::LeftButton);
    EXPECT_EQ(stops.count(), 1);
}

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
