// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/bearingpanel.h"
#include "ui/compassdial.h"

#include "support/cases.h"

#include <QAccessible>
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
    std::string spoken;
};

class BearingText : public ::testing::TestWithParam<TextCase>
{
};

// Each case follows a bearing with a target, so that what it drops shows.
// A screen reader reads the label, and the panel, as the same sentence, and
// nothing after it.
TEST_P(BearingText, TheScreenReaderReadsTheLabelAsASentence)
{
    QWidget window;
    window.setFont(QFont(QStringLiteral("Sans"), 30));
    auto* panel = new BearingPanel(&window);
    panel->showBearing(182, 270.0, true);
    panel->showBearing(GetParam().bearing, GetParam().target, GetParam().answering);
    auto* label = panel->findChild<QLabel*>();
    EXPECT_EQ(label->text().toStdString(), GetParam().text);
    for (QWidget* part : {static_cast<QWidget*>(panel), static_cast<QWidget*>(label)}) {
        QAccessibleInterface* read = QAccessible::queryAccessibleInterface(part);
        EXPECT_EQ(read->text(QAccessible::Name).toStdString(), GetParam().spoken);
        EXPECT_EQ(read->text(QAccessible::Description).toStdString(), "");
    }
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
        TextCase{"to a target", 182, 270.0, true, "Bearing 182° → 270°",
                 "Bearing 182 degrees, turning to 270 degrees"},
        TextCase{"to a fractional target", 0, 359.6, true, "Bearing 0° → 359.6°",
                 "Bearing 0 degrees, turning to 359.6 degrees"},
        TextCase{"to north", 359, 0.0, true, "Bearing 359° → 0°",
                 "Bearing 359 degrees, turning to 0 degrees"},
        TextCase{"to a target past north", 10, -20.5, true, "Bearing 10° → -20.5°",
                 "Bearing 10 degrees, turning to -20.5 degrees"},
        TextCase{"three digits each way", 120, 120.0, true, "Bearing 120° → 120°",
                 "Bearing 120 degrees, turning to 120 degrees"},
        TextCase{"three digits to a tenth", 359, 359.6, true, "Bearing 359° → 359.6°",
                 "Bearing 359 degrees, turning to 359.6 degrees"},
        TextCase{"the widest target", 188, -179.5, true, "Bearing 188° → -179.5°",
                 "Bearing 188 degrees, turning to -179.5 degrees"},
        TextCase{"without a target", 0, std::nullopt, true, "Bearing 0°", "Bearing 0 degrees"},
        TextCase{"before the first answer", std::nullopt, 90.0, true,
                 "Bearing: waiting for the controller", "Waiting for the controller's bearing"},
        TextCase{"no longer answering", 182, 270.0, false, "No bearing from the controller",
                 "No bearing from the controller"},
        TextCase{"to a target with a tenth", 250, 270.5, true, "Bearing 250° → 270.5°",
                 "Bearing 250 degrees, turning to 270.5 degrees"},
        TextCase{"to a target rounded to whole degrees", 250, 270.04, true, "Bearing 250° → 270°",
                 "Bearing 250 degrees, turning to 270 degrees"},
        TextCase{"one degree each way", 1, 0.96, true, "Bearing 1° → 1°",
                 "Bearing 1 degree, turning to 1 degree"}),
    ByName());

TEST(BearingPanel, StopAsksToStop)
{
    BearingPanel panel;
    QSignalSpy stops(&panel, &BearingPanel::stopRequested);
    QTest::mouseClick(panel.findChild<QPushButton*>(QStringLiteral("StopButton")), Qt::LeftButton);
    EXPECT_EQ(stops.count(), 1);
}

// A rotor that does not turn is told in a line of its own, which takes no
// room before it is needed nor once it is past.
TEST(BearingPanel, TellsARotorThatDoesNotTurnOnlyWhileItDoesNot)
{
    BearingPanel panel;
    const QSize made = panel.sizeHint();
    panel.showBearing(182, 270.0, true, true);
    const auto* line = panel.findChild<QLabel*>(QStringLiteral("StallNotice"));
    ASSERT_NE(line, nullptr);
    EXPECT_FALSE(line->isHidden());
    EXPECT_EQ(line->text(), QStringLiteral("The rotor does not turn"));
    EXPECT_EQ(line->accessibleName(), line->text());
    EXPECT_GT(panel.sizeHint().height(), made.height()) << "it needs a line of room";
    panel.showBearing(182, 270.0, true, false);
    EXPECT_TRUE(line->isHidden());
    EXPECT_EQ(panel.sizeHint(), made);
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
