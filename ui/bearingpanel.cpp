// SPDX-License-Identifier: GPL-3.0-or-later
#include "bearingpanel.h"

#include "platform/constants.h"
#include "ui/compassdial.h"

#include <QAccessible>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace kestavo::ui
{
namespace
{

// A target in whole degrees when it is one, else to a tenth.
[[nodiscard]] QString figures(double degrees)
{
    const double tenths = std::round(degrees * 10) / 10;
    if (tenths == 0)
        return QStringLiteral("0");
    return QString::number(tenths, 'f', tenths == std::round(tenths) ? 0 : 1);
}

constexpr QStringView kBearingSentence{u"Bearing %1"};
constexpr QStringView kTurningSentence{u"Bearing %1, turning to %2"};
constexpr QLatin1StringView kWaitingSentence{"Waiting for the controller's bearing"};
constexpr QLatin1StringView kStalledText{"The rotor does not turn"};

// "1 degree", "270.5 degrees": a screen reader reads "°" as a symbol, or
// not at all.
[[nodiscard]] QString spokenDegrees(double degrees)
{
    const QString number = figures(degrees);
    return number == u"1" || number == u"-1" ? number + QStringLiteral(" degree")
                                             : number + QStringLiteral(" degrees");
}

// What the label shows, as a sentence.
[[nodiscard]] QString sentence(std::optional<int> bearing, std::optional<double> target,
                               bool answering)
{
    if (!answering)
        return QString(constants::kBearingLost);
    if (!bearing)
        return QString(kWaitingSentence);
    if (!target)
        return kBearingSentence.arg(spokenDegrees(*bearing));
    return kTurningSentence.arg(spokenDegrees(*bearing), spokenDegrees(*target));
}

[[nodiscard]] QString caption(std::optional<int> bearing, std::optional<double> target,
                              bool answering)
{
    if (!answering)
        return QString(constants::kBearingLost);
    if (!bearing)
        return QString(constants::kBearingWaiting);
    if (!target)
        return constants::kBearingCaption.arg(QString::number(*bearing));
    return constants::kBearingToTargetCaption.arg(QString::number(*bearing), figures(*target));
}

// The texts that may be widest: three digits each way, the target also
// signed and to a tenth, in every digit (they need not be equally wide),
// and the two texts without figures.
[[nodiscard]] QStringList widestCaptions()
{
    QStringList texts{caption(std::nullopt, std::nullopt, true),
                      caption(std::nullopt, std::nullopt, false)};
    for (char16_t digit = u'0'; digit <= u'9'; ++digit) {
        const QString three(3, QChar(digit));
        texts.append(constants::kBearingToTargetCaption.arg(three, u'-' + three + u'.' + digit));
    }
    return texts;
}

// As GO and X: Enter elsewhere must not press it, and a click leaves the
// focus where it was.
[[nodiscard]] QPushButton* makeButton(QLatin1StringView caption, const QString& description,
                                      QWidget* parent)
{
    auto* button = new QPushButton(QString(caption), parent);
    button->setAccessibleName(QString(caption));
    button->setAccessibleDescription(description);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

} // namespace

BearingPanel::BearingPanel(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("BearingPanel"));
    // The window's large font is for the target box; figures in it would
    // not fit under the buttons. Every part counts as set, so none is taken
    // from the window.
    QFont applicationFont = QApplication::font();
    applicationFont.setResolveMask(QFont::AllPropertiesResolved);
    setFont(applicationFont);

    m_dial = new CompassDial(this);
    m_dial->setObjectName(QStringLiteral("CompassDial"));
    m_dial->setAccessibleName(QStringLiteral("Antenna bearing dial"));

    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("BearingLabel"));
    m_label->setAlignment(Qt::AlignCenter);
    // One line, as wide as it asks to be for the widest text, so that the
    // panel keeps its size as the text changes.
    int widest = 0;
    for (const QString& text : widestCaptions()) {
        m_label->setText(text);
        widest = std::max(widest, m_label->sizeHint().width());
    }
    m_label->setMinimumWidth(widest);

    m_stop =
        makeButton(constants::kStopCaption, QStringLiteral("Stops the rotor where it is"), this);
    m_stop->setObjectName(QStringLiteral("StopButton"));

    m_column = new QVBoxLayout(this);
    m_column->addWidget(m_dial, 1);
    m_column->addWidget(m_label);
    m_column->addWidget(m_stop, 0, Qt::AlignHCenter);

    connect(m_stop, &QPushButton::clicked, this, &BearingPanel::stopRequested);
    showBearing(std::nullopt, std::nullopt, true);
}

void BearingPanel::offerPark(const QString& description)
{
    if (m_park)
        return;
    m_park = makeButton(constants::kParkCaption, description, this);
    m_park->setObjectName(QStringLiteral("ParkButton"));
    // The pair centred where Stop was alone.
    m_column->removeWidget(m_stop);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(m_stop);
    row->addWidget(m_park);
    row->addStretch();
    m_column->addLayout(row);
    setTabOrder(m_stop, m_park);
    m_park->show();
    connect(m_park, &QPushButton::clicked, this, &BearingPanel::parkRequested);
}

void BearingPanel::showBearing(std::optional<int> bearing, std::optional<double> target,
                               bool answering, bool stalled)
{
    m_dial->setBearing(answering ? bearing : std::nullopt);
    m_dial->setTarget(target);
    m_label->setText(caption(bearing, target, answering));
    // Read aloud, "°" and "→" are lost or spelt out as symbols. The panel
    // is named by the same sentence, with no description to repeat it.
    const QString spoken = sentence(bearing, target, answering);
    m_label->setAccessibleName(spoken);
    setAccessibleName(spoken);

    // Made only once needed, so that a panel whose rotor always turns is as
    // it always was.
    if (stalled && !m_stalled) {
        m_stalled = new QLabel(QString(kStalledText), this);
        m_stalled->setObjectName(QStringLiteral("StallNotice"));
        m_stalled->setAlignment(Qt::AlignCenter);
        m_stalled->setAccessibleName(QString(kStalledText));
        m_stalled->hide();
        m_column->insertWidget(m_column->indexOf(m_label) + 1, m_stalled);
    }
    if (m_stalled && m_stalled->isHidden() == stalled) {
        m_stalled->setVisible(stalled);
        m_column->invalidate();
        if (stalled) {
            // Nothing takes the focus to it, so a screen reader is told.
            QAccessibleEvent event(m_stalled, QAccessible::NameChanged);
            QAccessible::updateAccessibility(&event);
        }
    }
}

} // namespace kestavo::ui
