// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace kestavo::ui
{

class CompassDial;

// Where the antenna points, as the controller reports it: the dial, the
// same in figures (and as a sentence for a screen reader), a line when the
// rotor does not turn, Stop, and Park when offered. It only shows what it
// is given; asking the controller is someone else's job.
class BearingPanel final : public QWidget
{
    Q_OBJECT

public:
    explicit BearingPanel(QWidget* parent = nullptr);

    // Park beside Stop, after it in the tab order; description is its
    // accessible description. Once.
    void offerPark(const QString& description);

public slots:
    // The bearing last read (none yet), the target as the client gave it
    // (none when there is nothing to turn to), and whether the controller
    // still answers. Once it stops answering, the last bearing is no longer
    // shown: the rotor may have moved since. While stalled, a line says that
    // the rotor does not turn; the panel is taller for it.
    void showBearing(std::optional<int> bearing, std::optional<double> target, bool answering,
                     bool stalled = false);

signals:
    void stopRequested();
    void parkRequested();

private:
    QVBoxLayout* m_column = nullptr;
    CompassDial* m_dial = nullptr;
    QLabel* m_label = nullptr;
    QLabel* m_stalled = nullptr; // made only when the rotor first stalls
    QPushButton* m_stop = nullptr;
    QPushButton* m_park = nullptr; // only when offered
};

} // namespace kestavo::ui
