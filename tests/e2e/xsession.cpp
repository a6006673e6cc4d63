// SPDX-License-Identifier: GPL-3.0-or-later
#include "xsession.h"

#include <QThread>

#include <gtest/gtest.h>

namespace kestavo::test
{

QString Desktop::run(const QString& program, const QStringList& arguments) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(10000))
        ADD_FAILURE() << program.toStdString()
                      << " did not finish: " << arguments.join(u' ').toStdString();
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
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
    const auto x = static_cast<int>(area.width() * xFraction);
    const auto y = static_cast<int>(area.height() * yFraction);
    (void)xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                   QString::number(x), QString::number(y)});
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

} // namespace kestavo::test
