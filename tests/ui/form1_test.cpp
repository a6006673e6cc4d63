// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/commandset.h"
#include "app/rotorlink.h"
#include "app/station.h"
#include "platform/errorpath.h"
#include "platform/runtime.h"
#include "platform/serialcontrol.h"
#include "ui/form1.h"

#include "support/cases.h"
#include "support/fakes.h"
#include "support/testsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <ostream>

using kestavo::platform::ErrorPath;
using kestavo::platform::RunTime;
using kestavo::ui::Form1;
using namespace kestavo::test;
using namespace std::chrono_literals;

namespace
{

constexpr int kPort = 99;

// Where the window's parts are, and under "" the window itself.
[[nodiscard]] QHash<QString, QRect> layoutOf(const QWidget& form)
{
    QHash<QString, QRect> where{{QString(), form.rect()}};
    for (const QWidget* part : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        where.insert(part->objectName(), part->geometry());
    return where;
}

// The window with its serial port on a pseudo-terminal, as a Tavimer.ini
// naming port 99 sets it up.
class FormOnPty : public ::testing::Test
{
protected:
    FormOnPty()
        : m_log(std::tmpfile()), m_errors(m_dialogs, m_log), m_runTime(m_errors),
          m_form(std::make_unique<Form1>(m_runTime, m_dialogs))
    {
        m_table.link(kPort, m_pty.slavePath());
        writeFileBytes(QStringLiteral("Tavimer.ini"), QByteArray("99\r\n"));
    }
    ~FormOnPty() override
    {
        m_form.reset();
        std::fclose(m_log);
    }

    // Load, then show, as the program starts.
    void show()
    {
        m_form->load();
        m_form->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    }

    // Runs the program: start-up, then steps from the event loop, until it
    // ends; returns its exit status.
    [[nodiscard]] int runProgram(const std::function<void()>& steps)
    {
        return runUntilEnd(m_runTime, 10s, [&] {
            m_form->load();
            m_form->show();
            QTimer::singleShot(0, m_form.get(), [this, steps] {
                EXPECT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
                steps();
            });
        });
    }

    [[nodiscard]] QLineEdit* text1() const { return m_form->findChild<QLineEdit*>("Text1"); }
    [[nodiscard]] QPushButton* go() const { return m_form->findChild<QPushButton*>("Command1"); }
    [[nodiscard]] QPushButton* x() const { return m_form->findChild<QPushButton*>("Command2"); }

    [[nodiscard]] QByteArray logged() const { return streamBytes(m_log); }

    PtyPair m_pty;
    PortTable m_table;
    ScratchWorkingDirectory m_directory;
    ScriptedDialogs m_dialogs;
    std::FILE* m_log;
    ErrorPath m_errors;
    RunTime m_runTime;
    std::unique_ptr<Form1> m_form;
};

struct GoCase {
    const char* text;
    QByteArray line;
};

void PrintTo(const GoCase& c, std::ostream* os)
{
    printText(c.text, os);
}

class GoOnPty : public FormOnPty, public ::testing::WithParamInterface<GoCase>
{
};

TEST_P(GoOnPty, AClickSendsTheTextBetweenAP1AndCR)
{
    show();
    const QString text = QString::fromLatin1(GetParam().text);
    QTest::keyClicks(text1(), text);
    QTest::mouseClick(go(), Qt::LeftButton);
    EXPECT_EQ(m_pty.receive(GetParam().line.size(), 1s).toHex(' '), GetParam().line.toHex(' '));
    EXPECT_EQ(m_pty.drain(50ms), QByteArray()) << "nothing more than one command";
    EXPECT_EQ(text1()->text(), text) << "the text stays in the box";
    EXPECT_EQ(QApplication::focusWidget(), text1()) << "and the focus with it";
}

INSTANTIATE_TEST_SUITE_P(Texts, GoOnPty,
                         ::testing::Values(GoCase{"180",
                                                  QByteArray("\x41\x50\x31\x31\x38\x30\x0D")},
                                           GoCase{"", QByteArray("\x41\x50\x31\x0D")},
                                           GoCase{"90x", QByteArray("AP190x\r")},
                                           GoCase{" 5 ", QByteArray("AP1 5 \r")}));

TEST_F(FormOnPty, TwoClicksSendTwoCommandsInOrder)
{
    show();
    QTest::keyClicks(text1(), QStringLiteral("180"));
    QTest::mouseClick(go(), Qt::LeftButton);
    QTest::mouseClick(go(), Qt::LeftButton);
    text1()->setText(QStringLiteral("90"));
    QTest::mouseClick(go(), Qt::LeftButton);
    EXPECT_EQ(m_pty.receive(19, 1s), QByteArray("AP1180\rAP1180\rAP190\r"));
}

TEST_F(FormOnPty, OnlyAClickOrSpaceOnGoSends)
{
    show();
    QTest::keyClicks(text1(), QStringLiteral("180"));
    QTest::keyClick(text1(), Qt::Key_Return);
    QTest::keyClick(text1(), Qt::Key_Enter);
    QTest::keyClick(text1(), Qt::Key_Escape);
    EXPECT_EQ(m_pty.drain(100ms), QByteArray()) << "Enter and Esc send nothing";
    EXPECT_TRUE(m_form->isVisible()) << "Esc closes nothing";

    QTest::keyClick(text1(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), go());
    QTest::keyClick(go(), Qt::Key_Space);
    EXPECT_EQ(m_pty.receive(7, 1s), QByteArray("AP1180\r"));
    EXPECT_EQ(QApplication::focusWidget(), go()) << "GO leaves the focus where it was";
    EXPECT_EQ(text1()->text(), QStringLiteral("180"));
}

TEST_F(FormOnPty, FirstShownEmptyWithTheFocusInTheTextBoxAndTabInOrder)
{
    show();
    EXPECT_EQ(m_form->windowTitle(), QStringLiteral("Rotor"));
    EXPECT_TRUE(text1()->text().isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), text1());
    QTest::keyClick(text1(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), go());
    QTest::keyClick(go(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), x());
    QTest::keyClick(x(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), text1());
    // A screen reader must tell the two buttons apart from their names.
    EXPECT_FALSE(text1()->accessibleName().isEmpty());
    EXPECT_NE(go()->accessibleName(), x()->accessibleName());
}

TEST_F(FormOnPty, ALongTargetGoesOutWhole)
{
    show();
    const QString target(40000, u'7');
    text1()->setText(target);
    ASSERT_EQ(text1()->text().size(), target.size()) << "the box has no length limit";
    QTest::mouseClick(go(), Qt::LeftButton);
    const QByteArray line = m_pty.receive(target.size() + 4, 5s);
    EXPECT_EQ(line.size(), target.size() + 4);
    EXPECT_TRUE(line.startsWith("AP17777") && line.endsWith("777\r"));
}

// X and closing by the frame, right after GO: the command still reaches the
// line, and the program ends with status 0.
class EndRightAfterGo : public FormOnPty, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(EndRightAfterGo, LosesNothingAndEndsWithStatusZero)
{
    const bool byFrame = QByteArray(GetParam()) == "frame";
    const int status = runProgram([&] {
        QTest::keyClicks(text1(), QStringLiteral("180"));
        QTest::mouseClick(go(), Qt::LeftButton);
        QTest::mouseClick(go(), Qt::LeftButton);
        if (byFrame)
            m_form->close();
        else
            QTest::mouseClick(x(), Qt::LeftButton);
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m_pty.read(14, 1s), QByteArray("AP1180\rAP1180\r"));
    EXPECT_TRUE(m_dialogs.shown.isEmpty());
    EXPECT_EQ(logged(), QByteArray());
}

INSTANTIATE_TEST_SUITE_P(Endings, EndRightAfterGo, ::testing::Values("X", "frame"));

TEST_F(FormOnPty, XBeforeAnyGoEndsWithStatusZero)
{
    const int status = runProgram([&] { QTest::mouseClick(x(), Qt::LeftButton); });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m_pty.read(1, 100ms), QByteArray());
}

TEST_F(FormOnPty, AWriteToAHungUpLineEndsThroughTheErrorPath)
{
    const int status = runProgram([&] {
        m_pty.closeMaster();
        QTest::keyClicks(text1(), QStringLiteral("180"));
        QTest::mouseClick(go(), Qt::LeftButton);
    });
    EXPECT_EQ(status, 1);
    ASSERT_EQ(m_dialogs.shown.size(), 1) << m_dialogs.shown.join('|').toStdString();
    EXPECT_TRUE(m_dialogs.shown.front().startsWith("error:Run-time error 312:"));
    EXPECT_TRUE(m_dialogs.shown.front().contains(m_pty.slavePath()));
    EXPECT_TRUE(logged().startsWith("kestavo: run-time error 312: Cannot send to port 99"))
        << logged().toStdString();
}

TEST_F(FormOnPty, AFailedStartUpNeverShowsTheWindow)
{
    writeFileBytes(QStringLiteral("Tavimer.ini"), QByteArray("97\r\n"));
    bool everShown = false;
    const int status = m_runTime.run([&] {
        m_form->load();
        m_form->show();
        everShown = true;
    });
    EXPECT_EQ(status, 1);
    EXPECT_FALSE(everShown);
    EXPECT_FALSE(m_form->isVisible());
    ASSERT_EQ(m_dialogs.shown.size(), 1);
    EXPECT_TRUE(m_dialogs.shown.front().startsWith("error:Run-time error 301:"));
}

// Why GO sent nothing (a command set that takes only headings) shows below
// all else, in words that a screen reader reads too, until the next GO;
// nothing that was there moves, and after it the window is as it was. With
// and without read-back.
class RefusalOnPty : public FormOnPty, public ::testing::WithParamInterface<bool>
{
};

TEST_P(RefusalOnPty, ShowsBelowAllElseUntilTheNextGo)
{
    m_form->load(GetParam(), kestavo::app::CommandSet::TwoStep);
    m_form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_form.get()));
    const QSize before = m_form->size();
    // Made only when first needed.
    EXPECT_EQ(m_form->findChild<QLabel*>("GoRefusal"), nullptr);
    QHash<QWidget*, QRect> where;
    for (QWidget* part : m_form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        where.insert(part, part->geometry());
    QTest::keyClicks(text1(), QStringLiteral("<b>abc"));
    // The second time it is cleared and told again.
    QLabel* refusal = nullptr;
    for (int click = 1; click <= 2; ++click) {
        QTest::mouseClick(go(), Qt::LeftButton);
        refusal = m_form->findChild<QLabel*>("GoRefusal");
        ASSERT_TRUE(refusal && refusal->isVisible()) << click;
        EXPECT_TRUE(refusal->text().contains(QStringLiteral("\"<b>abc\"")));
        EXPECT_EQ(refusal->textFormat(), Qt::PlainText) << "what was typed is no markup";
        EXPECT_EQ(QAccessible::queryAccessibleInterface(refusal)->text(QAccessible::Name),
                  refusal->text());
    }
    EXPECT_EQ(refusal->y(), before.height());
    EXPECT_TRUE(m_form->rect().contains(refusal->geometry()));
    for (const auto [part, geometry] : where.asKeyValueRange())
        EXPECT_EQ(part->geometry(), geometry) << part->objectName().toStdString();

    text1()->setText(QStringLiteral("180"));
    QTest::mouseClick(go(), Qt::LeftButton);
    EXPECT_FALSE(refusal->isVisible());
    EXPECT_TRUE(refusal->accessibleName().isEmpty());
    EXPECT_EQ(m_form->size(), before);
}

INSTANTIATE_TEST_SUITE_P(ReadBack, RefusalOnPty, ::testing::Bool());

// Park, for a station that parks: beside Stop with read-back, else under GO
// and X, which stay where they were. Tab reaches it after the button before
// it; a click sends the park heading and leaves the focus where it was.
class ParkOnPty : public FormOnPty, public ::testing::WithParamInterface<bool>
{
};

TEST_P(ParkOnPty, SendsTheParkHeading)
{
    const QHash<QString, QRect> made = layoutOf(*m_form);
    kestavo::app::Station station;
    station.park = 270;
    m_form->load(GetParam(), std::nullopt, station);
    m_form->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    auto* park = m_form->findChild<QPushButton*>("ParkButton");
    ASSERT_TRUE(park && park->isVisible());
    EXPECT_TRUE(m_form->rect().contains(QRect(park->mapTo(m_form.get(), QPoint()), park->size())));
    const QHash<QString, QRect> after = layoutOf(*m_form);
    for (const auto [name, geometry] : made.asKeyValueRange()) {
        if (!name.isEmpty()) {
            EXPECT_EQ(after.value(name), geometry) << qPrintable(name);
        }
    }
    QWidget* before = GetParam() ? m_form->findChild<QPushButton*>("StopButton") : x();
    before->setFocus();
    QTest::keyClick(before, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), park);

    text1()->setFocus();
    QTest::mouseClick(park, Qt::LeftButton);
    EXPECT_TRUE(m_pty.receive(64, 1s).contains("AP1270\r"));
    EXPECT_EQ(QApplication::focusWidget(), text1());
}

INSTANTIATE_TEST_SUITE_P(ReadBack, ParkOnPty, ::testing::Bool());

TEST_F(FormOnPty, WithoutASettingThatParksTheWindowIsAsItWasMade)
{
    const QHash<QString, QRect> made = layoutOf(*m_form);
    show();
    EXPECT_EQ(m_form->findChild<QPushButton*>("ParkButton"), nullptr);
    EXPECT_EQ(layoutOf(*m_form), made);
}

// What Tavimer.ini held that Kestavo left alone, then what the link tells,
// in the notice below all else, until the next GO.
TEST_F(FormOnPty, TellsInTheNoticeAnItemLeftAloneAndWhatTheLinkTells)
{
    writeFileBytes(QStringLiteral("Tavimer.ini"), QByteArray("99,bogus\r\n"));
    const QRect made = m_form->rect();
    show();
    auto* notice = m_form->findChild<QLabel*>("GoRefusal");
    ASSERT_TRUE(notice && notice->isVisible());
    EXPECT_TRUE(notice->text().contains(QStringLiteral("\"bogus\"")))
        << notice->text().toStdString();
    EXPECT_TRUE(m_form->rect().contains(notice->geometry()));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(notice)->text(QAccessible::Name),
              notice->text());

    emit m_form->rotorLink().told(QStringLiteral("JN58: 12°"),
                                  QStringLiteral("JN58 is 12 degrees"));
    EXPECT_EQ(notice->text(), QStringLiteral("JN58: 12°"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(notice)->text(QAccessible::Name),
              QStringLiteral("JN58 is 12 degrees"));

    QTest::mouseClick(go(), Qt::LeftButton);
    EXPECT_FALSE(notice->isVisible());
    EXPECT_EQ(m_form->rect(), made);
}

// The layout in pixels at the logical DPI this test run's screen has; CTest
// runs it at 96 dpi, 144 and 192. The text box is wider where its font needs
// it for a heading to a tenth.
TEST(Form1Layout, TwipsBecomePixelsAtTheScreensDpi)
{
    struct Layout {
        QSize client;
        QRect text1, go, x;
    };
    const Layout at96{{112, 93}, {8, 16, 49, 25}, {8, 56, 25, 25}, {40, 56, 25, 25}};
    const Layout at144{{168, 139}, {12, 24, 73, 37}, {12, 84, 37, 37}, {60, 84, 37, 37}};
    const Layout at192{{224, 186}, {16, 32, 98, 50}, {16, 112, 50, 50}, {80, 112, 50, 50}};

    const int wantedDpi = qEnvironmentVariableIntValue("KESTAVO_TEST_DPI");
    const int dpi = qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch());
    ASSERT_EQ(dpi, wantedDpi == 0 ? 96 : wantedDpi) << "the screen is not set up as asked";
    ASSERT_TRUE(dpi == 96 || dpi == 144 || dpi == 192);
    const Layout& expected = dpi == 96 ? at96 : dpi == 144 ? at144 : at192;

    ScriptedDialogs dialogs;
    ErrorPath errors(dialogs);
    RunTime runTime(errors);
    Form1 form(runTime, dialogs);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.size(), expected.client);
    auto* box = form.findChild<QLineEdit*>("Text1");
    EXPECT_EQ(box->geometry().topLeft(), expected.text1.topLeft());
    EXPECT_EQ(box->height(), expected.text1.height());
    EXPECT_GE(box->width(), expected.text1.width());
    EXPECT_EQ(form.findChild<QPushButton*>("Command1")->geometry(), expected.go);
    EXPECT_EQ(form.findChild<QPushButton*>("Command2")->geometry(), expected.x);
    EXPECT_EQ(form.findChild<QPushButton*>("Command1")->text(), QStringLiteral("GO"));
    EXPECT_EQ(form.findChild<QPushButton*>("Command2")->text(), QStringLiteral("X"));

    // The text box has the window's font, the buttons the smaller one.
    EXPECT_DOUBLE_EQ(form.findChild<QLineEdit*>("Text1")->font().pointSizeF(), 13.8);
    EXPECT_DOUBLE_EQ(form.findChild<QPushButton*>("Command1")->font().pointSizeF(), 7.8);
    EXPECT_EQ(form.findChild<QPushButton*>("Command1")->font().weight(), QFont::Normal);

    // Whole: drawn the same with the cursor at the end, where a box too
    // narrow scrolls the first digit out, as at the start. Without the
    // focus, so that no cursor is drawn.
    form.findChild<QPushButton*>("Command1")->setFocus();
    for (const char* heading : {"359.6", "188.8", "000.0"}) {
        box->setText(QString::fromLatin1(heading));
        const QImage atTheEnd = box->grab().toImage();
        box->setCursorPosition(0);
        EXPECT_EQ(box->grab().toImage(), atTheEnd) << heading;
    }
}

} // namespace
