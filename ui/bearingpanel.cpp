// SPDX-License-Identifier: GPL-3.0-or-later
#include "bearingpanel.h"

#include "platform/constants.h"
#include "ui/compassdial.h"

#include <QApplication>
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
    setAccessibleName(QStringLiteral("Antenna bearing"));

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

    m_stop = new QPushButton(QString(constants::kStopCaption), this);
    m_stop->setObjectName(QStringLiteral("StopButton"));
    m_stop->setAccessibleName(QString(constants::kStopCaption));
    m_stop->setAccessibleDescription(QStringLiteral("Stops the rotor where it is"));
    // As GO and X: Enter elsewhere must not press it, and a click leaves the
    // focus where it was.
    m_stop->setAutoDefault(false);
    m_stop->setDefault(false);
    m_stop->setFocusPolicy(Qt::TabFocus);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_dial, 1);
    layout->addWidget(m_label);
    layout->addWidget(m_stop, 0, Qt::AlignHCenter);

    connect(m_stop, &QPushButton::clicked, this, &BearingPanel::stopRequested);
    showBearing(std::nullopt, std::nullopt, true);
}

void BearingPanel::showBearing(std::optional<int> bearing, std::optional<double> target,
                               bool answering)
{
    m_dial->setBearing(answering ? bearing : std::nullopt);
    m_dial->setTarget(target);
    const QString text = caption(bearing, target, answering);
    m_label->setText(text);
    m_label->setAccessibleName(text);
    setAccessibleDescription(text);
}

} // namespace kestavo::ui
