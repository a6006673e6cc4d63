// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

namespace kestavo::ui
{

class CompassDial;

// Where the antenna points, as the controller reports it: the dial, the
// same in figures, and Stop. It only shows what it is given; asking the
// controller is someone else's job.
class BearingPanel final : public QWidget
{
    Q_OBJECT

public:
    explicit BearingPanel(QWidget* parent = nullptr);

public slots:
    // The bearing last read (none yet), the target as the client gave it
    // (none when there is nothing to turn to), and whether the controller
    // still answers. Once it stops answering, the last bearing is no longer
    // shown: the rotor may have moved since.
    void showBearing(std::optional<int> bearing, std::optional<double> target, bool answering);

signals:
    void stopRequested();

private:
    CompassDial* m_dial = nullptr;
    QLabel* m_label = nullptr;
    QPushButton* m_stop = nullptr;
};

} // namespace kestavo::ui
