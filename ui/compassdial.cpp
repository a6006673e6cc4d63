// SPDX-License-Identifier: GPL-3.0-or-later
#include "compassdial.h"

#include "platform/constants.h"
#include "ui/twips.h"

#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>

namespace kestavo::ui
{
namespace
{

// The card fills this much of the widget; the target's mark sits in the
// ring outside its rim, clear of the needle and the letters.
constexpr double kCardOfWidget = 0.86;
constexpr double kTargetHalfAngle = 8.0;
// Proportions of the card's radius. The letters stand in for the cardinal
// ticks and the needle stops short of them, so that neither hides the other.
constexpr double kTickFrom = 0.86;
constexpr double kLabelRadius = 0.76;
constexpr double kLabelHeight = 0.24;
constexpr double kNeedleLength = 0.60;
constexpr double kNeedleHalfWidth = 0.08;
constexpr double kNeedleTail = 0.16;
constexpr double kHubRadius = 0.04;

[[nodiscard]] std::optional<double> onTheCard(std::optional<double> degrees)
{
    if (!degrees || !std::isfinite(*degrees))
        return std::nullopt;
    const double turned = std::fmod(*degrees, constants::kDegreesPerTurn);
    return turned < 0 ? turned + constants::kDegreesPerTurn : turned;
}

// The point at a bearing and a distance from the centre: x to the east, y
// to the south, as the screen runs.
[[nodiscard]] QPointF along(double degrees, double distance)
{
    const double radians = qDegreesToRadians(degrees);
    return {distance * std::sin(radians), -distance * std::cos(radians)};
}

[[nodiscard]] QColor between(const QColor& a, const QColor& b)
{
    return QColor::fromRgbF((a.redF() + b.redF()) / 2, (a.greenF() + b.greenF()) / 2,
                            (a.blueF() + b.blueF()) / 2);
}

} // namespace

CompassDial::CompassDial(QWidget* parent) : QWidget(parent)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void CompassDial::setBearing(std::optional<double> degrees)
{
    const std::optional<double> bearing = onTheCard(degrees);
    if (bearing == m_bearing)
        return;
    m_bearing = bearing;
    update();
}

void CompassDial::setTarget(std::optional<double> degrees)
{
    const std::optional<double> target = onTheCard(degrees);
    if (target == m_target)
        return;
    m_target = target;
    update();
}

QSize CompassDial::sizeHint() const
{
    const TwipScale scale(logicalDpiX(), logicalDpiY());
    return scale.toPixels(QSize(constants::kDialSideTwips, constants::kDialSideTwips));
}

QSize CompassDial::minimumSizeHint() const
{
    const TwipScale scale(logicalDpiX(), logicalDpiY());
    return scale.toPixels(
        QSize(constants::kDialSmallestSideTwips, constants::kDialSmallestSideTwips));
}

void CompassDial::paintEvent(QPaintEvent*)
{
    const QPalette& colours = palette();
    const QColor text = colours.color(QPalette::Text);
    const QColor face = colours.color(QPalette::Base);
    // The rim and the ticks a step back from the needle, which is the point.
    const QColor scale = between(text, face);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(QRectF(rect()).center());
    const double outer = std::min(width(), height()) / 2.0 - 1.0;
    if (outer <= 0)
        return;
    const double radius = outer * kCardOfWidget;
    const double line = std::max(1.0, radius / 40);

    painter.setPen(QPen(scale, line));
    painter.setBrush(face);
    painter.drawEllipse(QPointF(), radius, radius);

    for (int degrees = 0; degrees < constants::kDegreesPerTurn;
         degrees += constants::kDialTickStepDegrees) {
        if (degrees % 90 != 0)
            painter.drawLine(along(degrees, radius * kTickFrom), along(degrees, radius));
    }

    QFont labelFont = font();
    labelFont.setPixelSize(std::max(1, static_cast<int>(std::lround(radius * kLabelHeight))));
    labelFont.setWeight(QFont::DemiBold);
    painter.setFont(labelFont);
    painter.setPen(text);
    const std::array<QChar, 4> labels{u'N', u'E', u'S', u'W'};
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const QPointF centre = along(90.0 * static_cast<double>(i), radius * kLabelRadius);
        const double box = radius * kLabelHeight * 2;
        painter.drawText(QRectF(centre.x() - box / 2, centre.y() - box / 2, box, box),
                         Qt::AlignCenter, QString(labels[i]));
    }

    if (m_target) {
        QPainterPath mark;
        mark.moveTo(along(*m_target, radius));
        mark.lineTo(along(*m_target - kTargetHalfAngle, outer));
        mark.lineTo(along(*m_target + kTargetHalfAngle, outer));
        mark.closeSubpath();
        painter.fillPath(mark, colours.color(QPalette::Highlight));
    }

    if (m_bearing) {
        QPainterPath needle;
        needle.moveTo(along(*m_bearing, radius * kNeedleLength));
        needle.lineTo(along(*m_bearing + 90, radius * kNeedleHalfWidth));
        needle.lineTo(along(*m_bearing + 180, radius * kNeedleTail));
        needle.lineTo(along(*m_bearing - 90, radius * kNeedleHalfWidth));
        needle.closeSubpath();
        painter.fillPath(needle, text);
        painter.setPen(Qt::NoPen);
        painter.setBrush(face);
        painter.drawEllipse(QPointF(), radius * kHubRadius, radius * kHubRadius);
    }
}

} // namespace kestavo::ui
