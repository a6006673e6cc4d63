// SPDX-License-Identifier: GPL-3.0-or-later
#include "xsession.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <QtEndian>

#include <gtest/gtest.h>

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

std::optional<quint32> Desktop::pixelAt(const QString& window, QPoint point) const
{
    // An xwd dump: a header of big-endian 32-bit fields, a colour map of
    // 12-byte entries, then the rows.
    const QByteArray dump =
        runRaw(QStringLiteral("xwd"), {QStringLiteral("-silent"), QStringLiteral("-id"), window});
    const auto field = [&dump](int index) {
        return qFromBigEndian<quint32>(dump.constData() + 4 * index);
    };
    constexpr int kHeaderFields = 25;
    if (dump.size() < 4 * kHeaderFields || field(11) != 32 || point.x() < 0 || point.y() < 0 ||
        quint32(point.x()) >= field(4) || quint32(point.y()) >= field(5))
        return std::nullopt;
    const qsizetype at = qsizetype(field(0)) + qsizetype(field(19)) * 12 +
                         qsizetype(point.y()) * field(12) + qsizetype(point.x()) * 4;
    if (at + 4 > dump.size())
        return std::nullopt;
    const char* pixel = dump.constData() + at;
    return field(7) == 0 ? qFromLittleEndian<quint32>(pixel) : qFromBigEndian<quint32>(pixel);
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
    clickAtPoint(window, {static_cast<int>(area.width() * xFraction),
                          static_cast<int>(area.height() * yFraction)});
}

void Desktop::clickAtPoint(const QString& window, QPoint point) const
{
    (void)xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                   QString::number(point.x()), QString::number(point.y())});
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
    : m_desktop(display), m_socket(QStringLiteral("kestavo-test"))
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    m_weston.setProcessEnvironment(environment);
    m_weston.setStandardOutputFile(QProcess::nullDevice());
    m_weston.setStandardErrorFile(QDir(runtimeDir).filePath(QStringLiteral("weston.log")));
    m_weston.start(QStringLiteral("weston"),
                   {QStringLiteral("--backend=x11-backend.so"),
                    QStringLiteral("--shell=kiosk-shell.so"), QStringLiteral("--no-config"),
                    QStringLiteral("--idle-time=0"), QStringLiteral("--socket=") + m_socket,
                    QStringLiteral("--width=%1").arg(kScreen.width()),
                    QStringLiteral("--height=%1").arg(kScreen.height())});
    if (!m_weston.waitForStarted(10000)) {
        ADD_FAILURE() << "Cannot start weston: install it (Debian package weston)";
        return;
    }
    const QFileInfo socket(QDir(runtimeDir).filePath(m_socket));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_window.isEmpty() && std::chrono::steady_clock::now() < deadline) {
        QThread::msleep(50);
        if (QFileInfo::exists(socket.filePath()))
            m_window = m_desktop
                           .xdotool({QStringLiteral("search"), QStringLiteral("--classname"),
                                     QStringLiteral("^weston")})
                           .section(u'\n', 0, 0);
    }
    if (m_window.isEmpty())
        ADD_FAILURE() << "weston came up with no socket or no window; see "
                      << runtimeDir.toStdString() << "/weston.log";
}

WaylandCompositor::~WaylandCompositor()
{
    m_weston.terminate();
    if (!m_weston.waitForFinished(5000))
        kill();
}

QPoint WaylandCompositor::originOf(QSize client)
{
    return {(kScreen.width() - client.width()) / 2, (kScreen.height() - client.height()) / 2};
}

bool WaylandCompositor::waitForWindow(QSize client, std::chrono::milliseconds timeout) const
{
    // Shown once the middle of the screen is no longer the background.
    const QPoint middle = originOf(client) + QPoint(client.width() / 2, client.height() / 2);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::optional<quint32> background = m_desktop.pixelAt(m_window, {1, 1});
        if (background && background != m_desktop.pixelAt(m_window, middle))
            return true;
        QThread::msleep(50);
    }
    return false;
}

void WaylandCompositor::type(const QString& text) const
{
    m_desktop.typeInto(m_window, text);
}

void WaylandCompositor::clickAt(QSize client, ui::Fraction where) const
{
    const QPoint point = originOf(client) + QPoint(static_cast<int>(client.width() * where.x),
                                                   static_cast<int>(client.height() * where.y));
    m_desktop.clickAtPoint(m_window, point);
}

void WaylandCompositor::kill()
{
    m_weston.kill();
    m_weston.waitForFinished(5000);
}

} // namespace kestavo::test
