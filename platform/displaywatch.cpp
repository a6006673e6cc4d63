// SPDX-License-Identifier: GPL-3.0-or-later
#include "displaywatch.h"

#include "conversion.h"
#include "errorpath.h"
#include "runtimeerror.h"

#include "constants.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QThread>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace kestavo::platform
{
namespace
{

QStringList g_arguments;
std::function<int(const QString&)> g_displayLost;
QtMessageHandler g_qtHandler = nullptr;
std::atomic<bool> g_lostDisplayHandled{false};

// How long Qt's reading thread leaves the end steps to the main thread.
constexpr std::chrono::milliseconds kHandOverGrace{2000};

// How Qt's X and Wayland plugins say that the connection is gone; Wayland
// says "broke" for a closed connection and "experienced a fatal error: ..."
// for any other.
constexpr QLatin1StringView kX11Lost("The X11 connection broke");
constexpr QLatin1StringView kWaylandLost("The Wayland connection ");

// The value that follows option (as "-display :1" or "--display :1").
[[nodiscard]] QString optionValue(const QStringList& arguments, QLatin1StringView option)
{
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1StringView("-") + option ||
            argument == QLatin1StringView("--") + option)
            return arguments[i + 1];
    }
    return QString();
}

[[noreturn]] void endNow(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    // Qt is in no state to run its exit handlers: its display is gone.
    std::_Exit(status);
}

// Which display went away and how, in the terms of the display system
// that lost it: an X server or a Wayland compositor.
[[nodiscard]] QString lostDisplayDetail(const QString& text)
{
    if (text.startsWith(kWaylandLost)) {
        QString socket = qEnvironmentVariable("WAYLAND_DISPLAY");
        if (socket.isEmpty())
            socket = QStringLiteral("wayland-0"); // where Qt looks when it is unset
        QString detail =
            QStringLiteral("The Wayland compositor on \"%1\" went away").arg(visibleText(socket));
        // Anything but a closed connection comes with the system's reason.
        static const QLatin1StringView fatal("fatal error: ");
        if (const qsizetype at = text.indexOf(fatal); at >= 0)
            detail += QStringLiteral(" (Wayland connection error: %1)")
                          .arg(visibleText(text.mid(at + fatal.size())));
        return detail;
    }
    static const QRegularExpression code(QStringLiteral("error (\\d+)"));
    const QRegularExpressionMatch found = code.match(text);
    const QString display = optionValue(g_arguments, QLatin1StringView("display"));
    QString detail =
        QStringLiteral("The display %1 went away")
            .arg(visibleText(display.isEmpty() ? qEnvironmentVariable("DISPLAY") : display));
    if (found.hasMatch())
        detail += QStringLiteral(" (X11 connection error %1)").arg(found.captured(1));
    return detail;
}

[[nodiscard]] bool onMainThread()
{
    const QCoreApplication* application = QCoreApplication::instance();
    return !application || QThread::currentThread() == application->thread();
}

// Runs the end steps and ends the program, once, whichever thread Qt said it
// from and however often. Qt ends the process right after its message.
void endForLostDisplay(const QString& text)
{
    if (g_lostDisplayHandled.exchange(true)) {
        if (onMainThread())
            return;
        for (;;) // the main thread is ending the program
            std::this_thread::sleep_for(std::chrono::hours(1));
    }
    const QString detail = lostDisplayDetail(text);
    if (g_displayLost)
        endNow(g_displayLost(detail));
    const QByteArray line =
        ErrorPath::logLine(RuntimeError(ErrorNumber::DisplayLost, detail + u'.')).toLocal8Bit() +
        '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
    endNow(kExitRuntimeError);
}

void handleQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    switch (meaningOf(type, text)) {
    case QtMessageMeaning::Other:
        if (g_qtHandler)
            g_qtHandler(type, context, text);
        return;
    case QtMessageMeaning::DisplayUnreachable:
        return;
    case QtMessageMeaning::NoPlatform: {
        const RuntimeError error(ErrorNumber::NoDisplay, noDisplayDescription(g_arguments));
        const QByteArray line = ErrorPath::logLine(error).toLocal8Bit() + '\n';
        std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
        endNow(kExitRuntimeError);
    }
    case QtMessageMeaning::DisplayLost:
        if (!onMainThread()) {
            // Qt's Wayland reading thread hears of it first. The end steps
            // use the port, which belongs to the main thread: hand them
            // over, and keep this thread from returning to Qt, which would
            // end the process before they ran.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [text] { endForLostDisplay(text); },
                Qt::QueuedConnection);
            std::this_thread::sleep_for(constants::kDrainCap + kHandOverGrace);
            // The main thread never took them up: end from here after all.
        }
        endForLostDisplay(text);
        return;
    }
}

} // namespace

QtMessageMeaning meaningOf(QtMsgType type, const QString& text)
{
    if (type == QtFatalMsg &&
        text.contains(QLatin1StringView("no Qt platform plugin could be initialized")))
        return QtMessageMeaning::NoPlatform;
    if (type == QtDebugMsg)
        return QtMessageMeaning::Other;
    if (text.startsWith(kX11Lost) || text.startsWith(kWaylandLost))
        return QtMessageMeaning::DisplayLost;
    // Qt gives these as warnings or as information, depending on the step.
    if (text.startsWith(QLatin1StringView("could not connect to display")) ||
        text.startsWith(QLatin1StringView("Could not load the Qt platform plugin")) ||
        text.startsWith(QLatin1StringView("Could not find the Qt platform plugin")) ||
        // With no compositor; Qt may go on to the X display after it.
        text.startsWith(QLatin1StringView("Failed to create wl_display")))
        return QtMessageMeaning::DisplayUnreachable;
    return QtMessageMeaning::Other;
}

QString noDisplayDescription(const QStringList& arguments)
{
    QString platform = optionValue(arguments, QLatin1StringView("platform"));
    QString platformOrigin = QStringLiteral("-platform");
    if (platform.isEmpty()) {
        platform = qEnvironmentVariable("QT_QPA_PLATFORM");
        platformOrigin = QStringLiteral("QT_QPA_PLATFORM");
    }
    QString display = optionValue(arguments, QLatin1StringView("display"));
    QString displayOrigin = QStringLiteral("-display");
    if (display.isEmpty()) {
        display = qEnvironmentVariable("DISPLAY");
        displayOrigin = QStringLiteral("DISPLAY");
    }

    QString what;
    if (!platform.isEmpty() && !platform.startsWith(QLatin1StringView("xcb"))) {
        what = QStringLiteral("Cannot start on the display platform \"%1\" (from %2)")
                   .arg(visibleText(platform), platformOrigin);
        if (platform.startsWith(QLatin1StringView("wayland")))
            what += qEnvironmentVariableIsSet("WAYLAND_DISPLAY")
                        ? QStringLiteral(": no compositor answers on WAYLAND_DISPLAY \"%1\"")
                              .arg(visibleText(qEnvironmentVariable("WAYLAND_DISPLAY")))
                        : QStringLiteral(": WAYLAND_DISPLAY is not set");
        what += QStringLiteral(". Start Kestavo from a desktop session, or unset %1 to use the "
                               "X display.")
                    .arg(platformOrigin);
        return what;
    }
    if (display.isEmpty())
        what = QStringLiteral("Cannot reach a display: DISPLAY is not set");
    else
        what = QStringLiteral("Cannot reach the display \"%1\" (from %2): no X server there "
                              "accepts the connection")
                   .arg(visibleText(display), displayOrigin);
    return what + QStringLiteral(". Start Kestavo from a desktop session, or set DISPLAY to a "
                                 "running X server (such as DISPLAY=:0).");
}

void watchDisplay(const QStringList& arguments)
{
    g_arguments = arguments;
    QtMessageHandler previous = qInstallMessageHandler(handleQtMessage);
    if (previous != handleQtMessage)
        g_qtHandler = previous;
}

void onDisplayLost(std::function<int(const QString& detail)> handler)
{
    g_displayLost = std::move(handler);
}

} // namespace kestavo::platform
