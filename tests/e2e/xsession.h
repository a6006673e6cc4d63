// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>

#include "platform/constants.h"
#include "support/xserver.h"
#include "ui/twips.h"

#include <chrono>
#include <functional>

namespace kestavo::test
{

// Where GO and X are, as fractions of the window's client area.
inline constexpr ui::Fraction kGoCentre = ui::centreOf(constants::kCommand1Twips);
inline constexpr ui::Fraction kExitCentre = ui::centreOf(constants::kCommand2Twips);

// A private Xvfb server for the lifetime of this object, by default with
// openbox as its window manager so that windows get a frame that can close
// them.
class XServer
{
public:
    explicit XServer(support::WindowManager windowManager = support::WindowManager::Openbox)
        : m_server(windowManager), m_display(QString::fromStdString(m_server.display()))
    {
    }

    [[nodiscard]] const QString& display() const { return m_display; }

    // Kills the server at once, as a crash would, and its window manager.
    void kill() { m_server.kill(); }

private:
    support::XServer m_server;
    QString m_display;
};

// Drives windows from outside the program, as a person would, with xdotool.
class Desktop
{
public:
    explicit Desktop(QString display) : m_display(std::move(display)) {}

    // The id of the visible window titled exactly title, once it appears.
    // A window named except is passed over, so that a box can be told from
    // the one of the same title before it.
    [[nodiscard]] QString waitForWindow(const QString& title, std::chrono::milliseconds timeout,
                                        const QString& except = QString()) const;
    [[nodiscard]] bool hasWindow(const QString& title) const;
    void typeInto(const QString& window, const QString& text) const;
    void pressKey(const QString& window, const QString& key) const;
    // A left click at a point given as fractions of the window's width and
    // height, so that it does not depend on the screen's DPI.
    void clickAt(const QString& window, double xFraction, double yFraction) const;
    // Two clicks in one xdotool run, as fast as a person double-taps.
    void clickTwice(const QString& window, double firstX, double secondX, double y) const;
    // Asks the window manager to close the window, as its frame's close
    // button does.
    void closeByFrame(const QString& window) const;
    // What the window shows, read with xwd; null if it cannot be read.
    [[nodiscard]] QImage grab(const QString& window) const;
    // Once the running test has failed: how Kestavo ended, or that it still
    // runs, what it wrote on standard error, and which of its windows exist
    // and which show. A program that ended (error 402, say) is then told
    // from a window that never showed.
    void reportIfFailed(QProcess& kestavo) const;
    [[nodiscard]] QString xdotool(const QStringList& arguments) const;

private:
    [[nodiscard]] QByteArray runRaw(const QString& program, const QStringList& arguments) const;
    [[nodiscard]] QString run(const QString& program, const QStringList& arguments) const;
    [[nodiscard]] QSize size(const QString& window) const;

    QString m_display;
};

// Reports on Kestavo through desktop when the test has failed, on every way
// out of the scope it is made in, before Kestavo is ended.
class ReportIfFailed
{
public:
    ReportIfFailed(const Desktop& desktop, QProcess& kestavo)
        : m_desktop(desktop), m_kestavo(kestavo)
    {
    }
    ~ReportIfFailed() { m_desktop.reportIfFailed(m_kestavo); }
    ReportIfFailed(const ReportIfFailed&) = delete;
    ReportIfFailed& operator=(const ReportIfFailed&) = delete;

private:
    const Desktop& m_desktop;
    QProcess& m_kestavo;
};

// Weston, Debian's reference Wayland compositor, on the X server's screen
// with its x11 backend, which gives it a keyboard and a pointer that xdotool
// reaches through weston's own X window. Its kiosk shell puts a fixed-size
// window in the middle of its screen, where the window's controls are found.
class WaylandCompositor
{
public:
    static constexpr QSize kScreen{640, 480};

    // Its clients need runtimeDir as XDG_RUNTIME_DIR, socket() as
    // WAYLAND_DISPLAY.
    WaylandCompositor(const QString& display, const QString& runtimeDir);
    ~WaylandCompositor() { kill(); }
    WaylandCompositor(const WaylandCompositor&) = delete;
    WaylandCompositor& operator=(const WaylandCompositor&) = delete;

    [[nodiscard]] const QString& socket() const { return m_socket; }
    [[nodiscard]] const QString& window() const { return m_window; }
    // A point of a window of this client size, in weston's X window.
    [[nodiscard]] static QPoint pointIn(QSize client, ui::Fraction where);
    // A left click at point of weston's X window, wherever weston's own
    // pointer thought it was before.
    void clickAt(QPoint point) const;
    // Whether its screen comes to show what shows() looks for within timeout.
    [[nodiscard]] bool waitForScreen(const std::function<bool(const QImage&)>& shows,
                                     std::chrono::milliseconds timeout) const;
    // Kills weston at once, as a crash would.
    void kill();

private:
    Desktop m_desktop;
    QString m_socket = QStringLiteral("kestavo-test");
    QProcess m_weston;
    QString m_window; // weston's own
};

} // namespace kestavo::test
