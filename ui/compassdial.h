// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <optional>

namespace kestavo::ui
{

// A compass card, north up, with a needle for where the antenna points and
// a mark on the rim for where it is to go. Degrees run clockwise from north;
// any value is taken into 0-360. Without a bearing there is no needle, so a
// stale or guessed heading is never drawn as if it were read. Colours come
// from the palette, so the card follows a dark theme.
class CompassDial final : public QWidget
{
    Q_OBJECT

public:
    explicit CompassDial(QWidget* parent = nullptr);

    void setBearing(std::optional<double> degrees);
    void setTarget(std::optional<double> degrees);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;
    [[nodiscard]] bool hasHeightForWidth() const override { return true; }
    [[nodiscard]] int heightForWidth(int width) const override { return width; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<double> m_bearing;
    std::optional<double> m_target;
};

} // namespace kestavo::ui
