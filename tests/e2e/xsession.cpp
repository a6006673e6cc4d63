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
    // openbox may lose a race for its own cache directory when several
    // servers start at once; a second start then finds it made.
    for (int attempt = 1;; ++attempt) {
        try {
            startWindowManager();
            return;
        } catch (const std::runtime_error&) {
            if (attempt == 3)
                throw;
        }
    }
}

void XServer::startWindowManager()
{
    const std::string display = m_display.toStdString();
    m_windowManager = ::fork();
    if (m_windowManager < 0)
        throw std::runtime_error("fork failed");
    if (m_windowManager == 0) {
        ::setenv("DISPLAY", display.c_str(), 1);
        ::execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // wmctrl answers once the window manager has taken over the screen.
    for (int round = 0; round < 200; ++round) {
        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), m_display);
        probe.setProcessEnvironment(environment);
        probe.start(QStringLiteral("wmctrl"), {QStringLiteral("-m")});
        if (probe.waitForFinished(5000) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0)
            return;
        if (::waitpid(m_windowManager, nullptr, WNOHANG) == m_windowManager) {
            m_windowManager = -1;
            throw std::runtime_error("openbox ended at start");
        }
        QThread::msleep(50);
    }
    throw std::runtime_error("openbox did not take over the screen");
}

XServer::~XServer()
{
    for (const pid_t pid : {m_windowManager, m_pid}) {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
}

void XServer::kill()
{
    for (pid_t* pid : {&m_pid, &m_windowManager}) {
        if (*pid > 0) {
            ::kill(*pid, SIGKILL);
            ::waitpid(*pid, nullptr, 0);
            *pid = -1;
        }
    }
}

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
