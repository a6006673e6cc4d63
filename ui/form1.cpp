// SPDX-License-Identifier: GPL-3.0-or-later
#include "form1.h"

#include "app/readback.h"
#include "app/rotorlink.h"
#include "app/startup.h"
#include "platform/constants.h"
#include "platform/errorpath.h"
#include "platform/runtime.h"
#include "platform/serialcontrol.h"
#include "ui/bearingpanel.h"
#include "ui/twips.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>

#include <algorithm>
#include <limits>

namespace kestavo::ui
{
namespace
{

[[nodiscard]] QFont formFont(double points)
{
    QFont font(QStringList{QString(constants::kFontFamily)});
    // Where that family is missing, the platform's sans-serif stands in.
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

[[nodiscard]] QPushButton* makeButton(const QString& caption, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    // Enter in the text box must not press GO, nor Esc anything.
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFont(formFont(constants::kButtonFontPoints));
    // Reached with Tab, but a click leaves the focus where it was, so the
    // next heading can be typed straight after GO.
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

} // namespace

Form1::Form1(platform::RunTime& runTime, platform::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), m_runTime(runTime), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString(constants::kWindowTitle));
    // Before the children exist, so that each is made with its final font
    // and nothing is laid out a second time.
    setFont(formFont(constants::kWindowFontPoints));
    // A text box lays its text out once in the application's font before it
    // takes the window's. Made while the two are the same, it loads no font
    // that Kestavo never shows; the boxes keep the application's.
    const QFont applicationFont = QApplication::font();
    QApplication::setFont(font());
    m_text1 = new QLineEdit(this);
    QApplication::setFont(applicationFont);
    m_command1 = makeButton(QString(constants::kGoCaption), this);
    m_command2 = makeButton(QString(constants::kExitCaption), this);
    m_comm1 = new platform::SerialControl(this);
    m_link = new app::RotorLink(*m_comm1, this);

    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setMaxLength(std::numeric_limits<int>::max());
    m_text1->setAccessibleName(QStringLiteral("Target heading"));
    m_text1->setAccessibleDescription(
        QStringLiteral("Where to turn the rotor; GO sends it to the controller"));
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setAccessibleName(QStringLiteral("GO"));
    m_command1->setAccessibleDescription(QStringLiteral("Turns the rotor to the target heading"));
    m_command2->setObjectName(QStringLiteral("Command2"));
    m_command2->setAccessibleName(QStringLiteral("Exit"));
    m_command2->setAccessibleDescription(QStringLiteral("Ends Kestavo"));
    m_comm1->setObjectName(QStringLiteral("comm1"));

    setTabOrder(m_text1, m_command1);
    setTabOrder(m_command1, m_command2);
    m_text1->setFocus();
    layOut();

    connect(m_command1, &QPushButton::clicked, this,
            [this] { m_runTime.handle([this] { m_link->go(m_text1->text()); }); });
    connect(m_command2, &QPushButton::clicked, this,
            [this] { m_runTime.handle([this] { app::x(m_runTime); }); });
    // A write that fails after GO has returned still ends the program.
    connect(m_comm1, &platform::SerialControl::failed, this,
            [this](const platform::RuntimeError& error) { m_runTime.fail(error); });
    connect(m_comm1, &platform::SerialControl::lineGone, this,
            [](const QString& text) { (void)platform::notice(text); });
    connect(m_link, &app::RotorLink::failed, this,
            [this](const platform::RuntimeError& error) { m_runTime.fail(error); });
    // What GO and the clients handed over must reach the line before the
    // program ends.
    m_runTime.atEnd([this] {
        m_link->sendWaiting();
        m_comm1->drainOutput();
    });
    // Closing ends the port's exclusive use and removes its lock file, also
    // on a way out where no destructor runs.
    m_runTime.atRelease([this] {
        if (m_comm1->isOpen())
            m_comm1->setPortOpen(false);
    });
}

Form1::~Form1() = default;

void Form1::load(bool readBackAsked, std::optional<app::CommandSet> commandSet)
{
    const app::LineChoice choice = app::startUp(*m_comm1, m_dialogs, readBackAsked, commandSet);
    m_link->setCommandSet(choice.commandSet);
    if (choice.readBack)
        showReadBack();
}

void Form1::showReadBack()
{
    app::ReadBack& readBack = m_link->startReadBack();
    connect(m_comm1, &platform::SerialControl::received, this,
            [this, &readBack] { m_runTime.handle([&readBack] { readBack.received(); }); });

    m_bearing = new BearingPanel(this);
    const auto stop = [this] { m_runTime.handle([this] { (void)m_link->stop(); }); };
    connect(m_bearing, &BearingPanel::stopRequested, this, stop);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, stop);
    const auto show = [this, &readBack] {
        const std::optional<app::Position> target = m_link->target();
        m_bearing->showBearing(readBack.bearing(),
                               target ? std::optional(target->azimuth) : std::nullopt,
                               readBack.answering());
    };
    connect(m_link, &app::RotorLink::changed, m_bearing, show);
    show();
    if (QWidget* stopButton = m_bearing->findChild<QPushButton*>())
        setTabOrder(m_command2, stopButton);
    layOut();
    m_bearing->show();
}

void Form1::layOut()
{
    const TwipScale scale(logicalDpiX(), logicalDpiY());
    setFixedSize(
        scale.toPixels(QSize(constants::kClientWidthTwips, constants::kClientHeightTwips)));
    m_text1->setGeometry(scale.toPixels(constants::kText1Twips));
    m_command1->setGeometry(scale.toPixels(constants::kCommand1Twips));
    m_command2->setGeometry(scale.toPixels(constants::kCommand2Twips));
    if (!m_bearing)
        return;
    // Below the three controls, which stay where they are; the window
    // widens where the panel needs it.
    const QRect text1 = m_text1->geometry();
    const int margin = text1.left();
    const QSize client = size();
    const int width = std::max(m_bearing->sizeHint().width(), client.width() - 2 * margin);
    const int height = m_bearing->hasHeightForWidth() ? m_bearing->heightForWidth(width)
                                                      : m_bearing->sizeHint().height();
    m_bearing->setGeometry(margin, client.height(), width, height);
    setFixedSize(std::max(client.width(), width + 2 * margin), client.height() + height + margin);
}

} // namespace kestavo::ui
