// SPDX-License-Identifier: GPL-3.0-or-later
#include "xsession.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QtEndian>

#include <gtest/gtest.h>

#include <iostream>

namespace kestavo::test
{

QByteArray Desktop::runRaw(const QString& program, const QStringList& arguments) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(10000))
        ADD_FAILURE() << program.toStdString()
                      << " did not finish: " << arguments.join(u' ').toStdString();
    return process.readAllStandardOutput();
}

QString Desktop::run(const QString& program, const QStringList& arguments) const
{
    return QString::fromLocal8Bit(runRaw(program, arguments)).trimmed();
}

QImage Desktop::grab(const QString& window) const
{
    // xwd's header: big-endian 32-bit fields (size, width, height, byte order,
    // bits per pixel, bytes per line, colours at 0, 4, 5, 7, 11, 12, 19),
    // then 12 bytes per colour and the rows.
    const QByteArray dump =
        runRaw(QStringLiteral("xwd"), {QStringLiteral("-silent"), QStringLiteral("-id"), window});
    const auto field = [&dump](int i) { return qFromBigEndian<quint32>(dump.constData() + 4 * i); };
    if (dump.size() < 100 || field(7) != 0 || field(11) != 32)
        return {};
    // In 64 bits, where no header's numbers can wrap around, also on 32-bit
    // targets.
    const qint64 rows = qint64{field(0)} + qint64{field(19)} * 12;
    if (rows + qint64{field(12)} * field(5) > dump.size())
        return {};
    return QImage(reinterpret_cast<const uchar*>(dump.constData() + rows), int(field(4)),
                  int(field(5)), int(field(12)), QImage::Format_RGB32)
        .copy();
}

void Desktop::reportIfFailed(QProcess& kestavo) const
{
    if (!::testing::Test::HasFailure() || kestavo.state() == QProcess::Starting)
        return;
    QString how;
    if (kestavo.state() == QProcess::Running)
        how = QStringLiteral("is still running (pid %1)").arg(kestavo.processId());
    else if (kestavo.error() == QProcess::FailedToStart)
        how = QStringLiteral("did not start: ") + kestavo.errorString();
    else if (kestavo.exitStatus() == QProcess::CrashExit)
        how = QStringLiteral("was ended by a signal");
    else
        how = QStringLiteral("ended with status %1").arg(kestavo.exitCode());
    const QStringList names{QStringLiteral("--name"), QStringLiteral("^(Rotor|Comport|Kestavo)$")};
    const QString all = xdotool(QStringList{QStringLiteral("search")} + names);
    const QString shown =
        xdotool(QStringList{QStringLiteral("search"), QStringLiteral("--onlyvisible")} + names);
    std::cout << "Kestavo " << how.toStdString() << ". Its windows on " << m_display.toStdString()
              << ": [" << all.simplified().toStdString() << "], of which shown: ["
              << shown.simplified().toStdString() << "]. On standard error:\n"
              << kestavo.readAllStandardError().toStdString() << std::flush;
}

QString Desktop::xdotool(const QStringList& arguments) const
{
    return run(QStringLiteral("xdotool"), arguments);
}

bool Desktop::hasWindow(const QString& title) const
{
    return !xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--name"), u'^' + title + u'$'})
                .isEmpty();
}

QString Desktop::waitForWindow(const QString& title, std::chrono::milliseconds timeout,
                               const QString& except) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const QString found = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                       QStringLiteral("--name"), u'^' + title + u'$'});
        for (const QString& window : found.split(u'\n', Qt::SkipEmptyParts)) {
            if (window != except)
                return window;
        }
        QThread::msleep(50);
    }
    return QString();
}

void Desktop::typeInto(const QString& window, const QString& text) const
{
    (void)xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    (void)xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), text});
}

void Desktop::pressKey(const QString& window, const QString& key) const
{
    (void)xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    (void)xdotool({QStringLiteral("key"), key});
}

QSize Desktop::size(const QString& window) const
{
    QSize size;
    const QString shell =
        xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
    for (const QString& line : shell.split(u'\n')) {
        if (line.startsWith(QStringLiteral("WIDTH=")))
            size.setWidth(line.mid(6).toInt());
        else if (line.startsWith(QStringLiteral("HEIGHT=")))
            size.setHeight(line.mid(7).toInt());
    }
    EXPECT_GT(size.width(), 0) << "no geometry for window " << window.toStdString();
    return size;
}

void Desktop::clickAt(const QString& window, double xFraction, double yFraction) const
{
    const QSize area = size(window);
    (void)xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                   QString::number(static_cast<int>(area.width() * xFraction)),
                   QString::number(static_cast<int>(area.height() * yFraction))});
    (void)xdotool({QStringLiteral("click"), QStringLiteral("1")});
}

void Desktop::clickTwice(const QString& window, double firstX, double secondX, double y) const
{
    const QSize area = size(window);
    const QString top = QString::number(static_cast<int>(area.height() * y));
    (void)xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                   QString::number(static_cast<int>(area.width() * firstX)), top,
                   QStringLiteral("click"), QStringLiteral("1"), QStringLiteral("mousemove"),
                   QStringLiteral("--window"), window,
                   QString::number(static_cast<int>(area.width() * secondX)), top,
                   QStringLiteral("click"), QStringLiteral("1")});
}

void Desktop::closeByFrame(const QString& window) const
{
    (void)run(QStringLiteral("wmctrl"),
              {QStringLiteral("-i"), QStringLiteral("-c"),
               QStringLiteral("0x") + QString::number(window.toULongLong(), 16)});
}

WaylandCompositor::WaylandCompositor(const QString& display, const QString& runtimeDir)
    : m_desktop(display)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    m_weston.setProcessEnvironment(environment);
    m_weston.setStandardOutputFile(QProcess::nullDevice());
    m_weston.setStandardErrorFile(QDir(runtimeDir).filePath(QStringLiteral("weston.log")));
    m_weston.start(QStringLiteral("weston"),
                   {QStringLiteral("--backend=x11-backend.so"), QStringLiteral("--no-config"),
                    QStringLiteral("--shell=kiosk-shell.so"),
                    QStringLiteral("--socket=") + m_socket,
                    QStringLiteral("--width=%1").arg(kScreen.width()),
                    QStringLiteral("--height=%1").arg(kScreen.height())});
    // It makes its X window first, then its socket.
    const QString socket = QDir(runtimeDir).filePath(m_socket);
    for (int tries = 0; tries < 200 && !QFileInfo::exists(socket); ++tries)
        QThread::msleep(50);
    m_window = m_desktop.xdotool(
        {QStringLiteral("search"), QStringLiteral("--classname"), QStringLiteral("^weston")});
    if (!QFileInfo::exists(socket) || m_window.isEmpty())
        ADD_FAILURE() << "weston did not come up (Debian package weston); see "
                      << runtimeDir.toStdString() << "/weston.log";
    // Weston hands its keyboard to its clients while its X window has the
    // focus; moving the focus there as a window maps could leave it with none.
    (void)m_desktop.xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), m_window});
}

QPoint WaylandCompositor::pointIn(QSize client, ui::Fraction where)
{
    return {(kScreen.width() - client.width()) / 2 + static_cast<int>(client.width() * where.x),
            (kScreen.height() - client.height()) / 2 + static_cast<int>(client.height() * where.y)};
}

bool WaylandCompositor::waitForScreen(const std::function<bool(const QImage&)>& shows,
                                      std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (const QImage screen = m_desktop.grab(m_window); !screen.isNull() && shows(screen))
            return true;
        QThread::msleep(50);
    }
    return false;
}

void WaylandCompositor::clickAt(QPoint point) const
{
    // Weston's x11 backend moves its pointer by X's motion relative to where
    // the last EnterNotify put it; entering its window afresh at the point
    // makes the position absolute.
    const QPoint outside(kScreen.width() + 10, kScreen.height() + 10);
    (void)m_desktop.xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"),
                             QStringLiteral("--window"), m_window, QString::number(outside.x()),
                             QString::number(outside.y()), QStringLiteral("mousemove"),
                             QStringLiteral("--sync"), QStringLiteral("--window"), m_window,
                             QString::number(point.x()), QString::number(point.y()),
                             QStringLiteral("click"), QStringLiteral("1")});
}

void WaylandCompositor::kill()
{
    m_weston.kill();
    m_weston.waitForFinished(5000);
}

} // namespace kestavo::test
