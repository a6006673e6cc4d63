#include "xsession.h"

#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace kestavo::test
{

XServer::XServer()
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        throw std::runtime_error("pipe failed");
    m_pid = ::fork();
    if (m_pid < 0)
        throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        ::close(pipeFds[0]);
        const std::string fd = std::to_string(pipeFds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    // Xvfb writes the display number once it accepts connections.
    std::string number;
    char c = 0;
    while (::read(pipeFds[0], &c, 1) == 1 && c != '\n')
        number.push_back(c);
    ::close(pipeFds[0]);
    if (number.empty())
        throw std::runtime_error("Xvfb did not start");
    m_display = QStringLiteral(":") + QString::fromStdString(number);
}

XServer::~XServer()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ::waitpid(m_pid, nullptr, 0);
    }
}

QString Desktop::xdotool(const QStringList& arguments) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(10000))
        ADD_FAILURE() << "xdotool did not finish: " << arguments.join(u' ').toStdString();
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
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

void Desktop::clickAt(const QString& window, double xFraction, double yFraction) const
{
    int width = 0;
    int height = 0;
    const QString shell =
        xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
    for (const QString& line : shell.split(u'\n')) {
        if (line.startsWith(QStringLiteral("WIDTH=")))
            width = line.mid(6).toInt();
        else if (line.startsWith(QStringLiteral("HEIGHT=")))
            height = line.mid(7).toInt();
    }
    ASSERT_GT(width, 0) << "no geometry for window " << window.toStdString();
    const auto x = static_cast<int>(width * xFraction);
    const auto y = static_cast<int>(height * yFraction);
    (void)xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"),
                   QStringLiteral("--window"), window, QString::number(x), QString::number(y)});
    (void)xdotool({QStringLiteral("click"), QStringLiteral("1")});
}

} // namespace kestavo::test
