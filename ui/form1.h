// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/commandset.h"
#include "app/station.h"

#include <QWidget>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kestavo::app
{
class RotorLink;
}

namespace kestavo::platform
{
class Dialogs;
class RunTime;
class SerialControl;
} // namespace kestavo::platform

namespace kestavo::ui
{

class BearingPanel;

// The one window, "Rotor": the target text box, GO and X, Park when the
// station parks, a notice (why GO sent nothing, what a locator became, what
// Tavimer.ini held that Kestavo left alone), and the serial port object.
// Its layout is fixed in twips and turned into pixels through the screen's
// logical DPI; a part that needs more room widens or lengthens the window.
// It routes Load and the clicks to the program's handlers and does nothing
// else.
class Form1 final : public QWidget
{
    Q_OBJECT

public:
    explicit Form1(platform::RunTime& runTime, platform::Dialogs& dialogs,
                   QWidget* parent = nullptr);
    ~Form1() override;

    // The Load event: runs the start-up sequence while the window is still
    // hidden. Throws its run-time error if start-up fails. With read-back
    // (asked for here or in Tavimer.ini) the window grows to show where the
    // rotor points. Park shows when the station parks.
    // The command set asked for on the command line overrides Tavimer.ini's.
    void load(bool readBackAsked = false, std::optional<app::CommandSet> commandSet = std::nullopt,
              const app::Station& station = {});

    // The way to the rotor that GO takes, for the network front door too.
    [[nodiscard]] app::RotorLink& rotorLink() { return *m_link; }

private:
    void layOut();
    void showReadBack();
    void offerPark();
    // Below all else, until the next GO or Park; spoken is what a screen
    // reader says for it.
    void showNotice(const QString& shown, const QString& spoken);
    void clearNotice();

    platform::RunTime& m_runTime;
    platform::Dialogs& m_dialogs;
    QLineEdit* m_text1 = nullptr;
    QPushButton* m_command1 = nullptr;
    QPushButton* m_command2 = nullptr;
    QPushButton* m_park = nullptr; // only without read-back, when the station parks
    QLabel* m_notice = nullptr;    // shown only while it has a text
    platform::SerialControl* m_comm1 = nullptr;
    app::RotorLink* m_link = nullptr;
    BearingPanel* m_bearing = nullptr; // only with read-back
    bool m_stallShown = false;
};

} // namespace kestavo::ui
