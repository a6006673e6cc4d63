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

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>
#include <cmath>
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

// Inside its contents a line edit keeps this much clear on either side of
// the text, and a pixel past its end for the cursor.
constexpr int kLineEditSideMargin = 2;
constexpr int kLineEditCursorRoom = 1;

// How wide the text box must be to show a heading to a tenth whole, in any
// digits, in the font it has: what its frame and margins take around the
// room for the text, as it paints itself.
[[nodiscard]] int widthForATenth(const QLineEdit& box, const QRect& geometry)
{
    const QFontMetricsF metrics(box.font(), &box);
    qreal widest = 0;
    for (char16_t digit = u'0'; digit <= u'9'; ++digit) {
        const QString heading = QString(3, QChar(digit)) + u'.' + QChar(digit);
        widest = std::max(widest, metrics.horizontalAdvance(heading));
    }
    QStyleOptionFrame frame;
    frame.initFrom(&box);
    frame.rect = QRect(QPoint(), geometry.size());
    frame.lineWidth =
        box.hasFrame() ? box.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, &box) : 0;
    frame.state |= QStyle::State_Sunken;
    const QRect contents = box.style()->subElementRect(QStyle::SE_LineEditContents, &frame, &box);
    const QMargins textMargins = box.textMargins();
    return geometry.width() - contents.width() + textMargins.left() + textMargins.right() +
           2 * kLineEditSideMargin + kLineEditCursorRoom + static_cast<int>(std::ceil(widest));
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

    connect(m_command1, &QPushButton::clicked, this, [this] {
        // Cleared first, so that the same notice once more is told once
        // more; laid out only after GO, so that the window does not shrink
        // and grow back for it.
        clearNotice();
        m_runTime.handle([this] { m_link->go(m_text1->text()); });
        layOut();
    });
    connect(m_link, &app::RotorLink::goRefused, this,
            [this](const QString& why) { showNotice(why, why); });
    connect(m_link, &app::RotorLink::told, this, &Form1::showNotice);
    connect(m_command2, &QPushButton::clicked, this,
            [this] { m_runTime.handle([this] { app::x(m_runTime); }); });
    // A write that fails after GO has returned still ends the program.
    connect(m_comm1, &platform::SerialControl::failed, this,
            [this](const platform::RuntimeError& error) { m_runTime.fail(error); });
    connect(m_comm1, &platform::SerialControl::lineGone, this,
            [](const QString& text) { (void)platform::notice(text); });
    connect(m_comm1, &platform::SerialControl::lineFree, &m_link->line(),
            &app::LineOwner::lineFree);
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

void Form1::load(bool readBackAsked, std::optional<app::CommandSet> commandSet,
                 const app::Station& station)
{
    const app::LineChoice choice =
        app::startUp(*m_comm1, m_dialogs, readBackAsked, commandSet, station);
    m_link->setCommandSet(choice.commandSet);
    m_link->setStation(choice.station);
    if (choice.readBack)
        showReadBack();
    offerPark();
    if (!choice.told.isEmpty())
        showNotice(choice.told.join(u'\n'), choice.told.join(u' '));
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
        const std::optional<int> bearing = readBack.bearing();
        const bool stalled = m_link->stalled();
        m_bearing->showBearing(bearing ? std::optional(app::wholeDegrees(*bearing)) : std::nullopt,
                               target ? std::optional(target->azimuth) : std::nullopt,
                               readBack.answering(), stalled);
        // The stall's line makes the panel taller while it shows.
        if (stalled != m_stallShown) {
            m_stallShown = stalled;
            layOut();
        }
    };
    connect(m_link, &app::RotorLink::changed, m_bearing, show);
    show();
    if (QWidget* stopButton = m_bearing->findChild<QPushButton*>(QStringLiteral("StopButton")))
        setTabOrder(m_command2, stopButton);
    layOut();
    m_bearing->show();
}

void Form1::offerPark()
{
    const app::Station& station = m_link->station();
    if (!station.park && !station.parkAfterMinutes)
        return;
    const QString description = QStringLiteral("Turns the rotor to its park heading %1\u00B0")
                                    .arg(QString::number(station.parkHeading()));
    // As GO: the notice of the last click goes, and what this one tells
    // shows after it.
    const auto park = [this] {
        clearNotice();
        m_runTime.handle([this] { m_link->park(); });
        layOut();
    };
    if (m_bearing) {
        m_bearing->offerPark(description);
        connect(m_bearing, &BearingPanel::parkRequested, this, park);
    } else {
        m_park = makeButton(QString(constants::kParkCaption), this);
        m_park->setObjectName(QStringLiteral("ParkButton"));
        m_park->setAccessibleName(QString(constants::kParkCaption));
        m_park->setAccessibleDescription(description);
        setTabOrder(m_command2, m_park);
        connect(m_park, &QPushButton::clicked, this, park);
        m_park->show();
    }
    layOut();
}

void Form1::showNotice(const QString& shown, const QString& spoken)
{
    // Made only once needed: most stations have nothing to be told, and
    // start-up pays for every widget. Its name is from when it told only
    // why GO sent nothing; what looks for it finds it by that.
    if (!m_notice) {
        m_notice = new QLabel(this);
        m_notice->setObjectName(QStringLiteral("GoRefusal"));
        // A sentence, in the small font the bearing has, not the box's large one.
        QFont sentenceFont = QApplication::font();
        sentenceFont.setResolveMask(QFont::AllPropertiesResolved);
        m_notice->setFont(sentenceFont);
        m_notice->setWordWrap(true);
        // It quotes what was typed, which must not be read as markup.
        m_notice->setTextFormat(Qt::PlainText);
    }
    m_notice->setText(shown);
    m_notice->setAccessibleName(spoken);
    layOut();
    // Nothing takes the focus to it, so a screen reader is told.
    QAccessibleEvent event(m_notice, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void Form1::clearNotice()
{
    if (m_notice) {
        m_notice->clear();
        m_notice->setAccessibleName(QString());
    }
}

void Form1::layOut()
{
    const TwipScale scale(logicalDpiX(), logicalDpiY());
    QRect text1 = scale.toPixels(constants::kText1Twips);
    text1.setWidth(std::max(text1.width(), widthForATenth(*m_text1, text1)));
    m_text1->setGeometry(text1);
    m_command1->setGeometry(scale.toPixels(constants::kCommand1Twips));
    const QRect command2 = scale.toPixels(constants::kCommand2Twips);
    m_command2->setGeometry(command2);

    // The rest goes below the three controls, which stay where they are;
    // the window widens where a part needs it, and is set once.
    const int margin = text1.left();
    QSize client =
        scale.toPixels(QSize(constants::kClientWidthTwips, constants::kClientHeightTwips));
    client.setWidth(std::max(client.width(), text1.right() + 1 + margin));
    if (m_park) {
        const QRect park = scale.toPixels(constants::kParkTwips);
        m_park->setGeometry(park);
        client.setHeight(client.height() + park.bottom() - command2.bottom());
    }
    const auto below = [&](QWidget* part, int leastWidth) {
        const int width = std::max(leastWidth, client.width() - 2 * margin);
        const int height =
            part->hasHeightForWidth() ? part->heightForWidth(width) : part->sizeHint().height();
        part->setGeometry(margin, client.height(), width, height);
        client =
            QSize(std::max(client.width(), width + 2 * margin), client.height() + height + margin);
    };
    if (m_bearing)
        below(m_bearing, m_bearing->sizeHint().width());
    const bool told = m_notice && !m_notice->text().isEmpty();
    if (told)
        below(m_notice, scale.x(constants::kRefusalWidthTwips));
    if (m_notice)
        m_notice->setVisible(told);
    setFixedSize(client);
}

} // namespace kestavo::ui
