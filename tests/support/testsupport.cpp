// SPDX-License-Identifier: GPL-3.0-or-later
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace kestavo::test
{

QByteArray PtyPair::read(qsizetype count, std::chrono::milliseconds timeout)
{
    return QByteArray::fromStdString(m_line.read(static_cast<std::size_t>(count), timeout));
}

QByteArray PtyPair::receive(qsizetype count, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    QByteArray bytes;
    while (bytes.size() < count && Clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        bytes += read(count - bytes.size(), std::chrono::milliseconds(10));
    }
    return bytes;
}

QByteArray PtyPair::drain(std::chrono::milliseconds quiet)
{
    QByteArray bytes;
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        const QByteArray more = read(4096, quiet);
        if (more.isEmpty())
            return bytes;
        bytes += more;
    }
}

PortTable::PortTable()
{
    m_hadPrevious = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    m_previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    QDir().mkpath(directory());
}

PortTable::~PortTable()
{
    if (m_hadPrevious)
        qputenv("XDG_CONFIG_HOME", m_previous);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

QString PortTable::directory() const
{
    return m_config.path() + QStringLiteral("/kestavo/ports");
}

void PortTable::link(int portNumber, const QString& target) const
{
    const QString entry = directory() + QStringLiteral("/COM%1").arg(portNumber);
    QFile::remove(entry);
    ASSERT_TRUE(QFile::link(target, entry)) << entry.toStdString();
}

void PortTable::writeEntry(int portNumber, const QByteArray& content) const
{
    writeFileBytes(directory() + QStringLiteral("/COM%1").arg(portNumber), content);
}

FakeSystemPorts::FakeSystemPorts(QList<platform::host::SystemPort> ports)
{
    platform::host::replaceSystemPorts([ports = std::move(ports), queries = m_queries] {
        ++*queries;
        return ports;
    });
}

FakeSystemPorts::~FakeSystemPorts()
{
    platform::host::replaceSystemPorts({});
}

ScratchWorkingDirectory::ScratchWorkingDirectory() : m_previous(QDir::currentPath())
{
    if (!QDir::setCurrent(m_dir.path()))
        throw std::runtime_error("cannot enter the scratch directory");
}

ScratchWorkingDirectory::~ScratchWorkingDirectory()
{
    QDir::setCurrent(m_previous);
}

int runUntilEnd(platform::RunTime& runTime, std::chrono::milliseconds watchdog,
                const std::function<void()>& start)
{
    return runTime.run([&] {
        start();
        QTimer::singleShot(watchdog, &runTime, [&runTime] {
            ADD_FAILURE() << "the program did not end";
            runTime.end();
        });
    });
}

void assignAsStartUpDoes(platform::CommControl& comm1, std::int16_t portNumber)
{
    comm1.setCommPort(portNumber);
    comm1.setPortOpen(true);
    comm1.setRTSEnable(true);
    comm1.setInputLen(4);
    comm1.setSettings(QStringLiteral("4800,n,8,1"));
}

ChildOutcome runWithFileSizeLimit(long maxBytes, const std::function<void()>& step)
{
    int report[2];
    if (::pipe(report) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        ::close(report[0]);
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(maxBytes), static_cast<rlim_t>(maxBytes)};
        QByteArray message = "none\n";
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            message = "no limit\n";
        } else {
            try {
                step();
            } catch (const platform::RuntimeError& error) {
                message = QByteArray::number(error.code()) + '\n' + error.description().toUtf8();
            }
        }
        const bool sent = ::write(report[1], message.constData(),
                                  static_cast<size_t>(message.size())) == message.size();
        ::_exit(sent ? 0 : 1);
    }
    ::close(report[1]);
    QByteArray message;
    char buffer[512];
    ssize_t got = 0;
    while ((got = ::read(report[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0)
            message.append(buffer, got);
    }
    ::close(report[0]);
    int status = 0;
    ::waitpid(child, &status, 0);

    ChildOutcome outcome;
    outcome.ran = WIFEXITED(status) && WEXITSTATUS(status) == 0 && message != "no limit\n";
    const qsizetype lineEnd = message.indexOf('\n');
    bool isNumber = false;
    const int code = message.left(lineEnd).toInt(&isNumber);
    if (isNumber) {
        outcome.errorCode = code;
        outcome.description = QString::fromUtf8(message.mid(lineEnd + 1));
    }
    return outcome;
}

QString testedBuildDir(const QString& builtHere)
{
    const QString other = qEnvironmentVariable("KESTAVO_TEST_BUILD_DIR");
    return other.isEmpty() ? builtHere : other;
}

QString testedProgram(const QString& builtHere)
{
    const QFileInfo program(builtHere);
    return QDir(testedBuildDir(program.path())).filePath(program.fileName());
}

void startProgram(QProcess& process, const QString& program, const QStringList& arguments)
{
    QStringList emulator =
        qEnvironmentVariable("KESTAVO_TEST_EMULATOR").split(u' ', Qt::SkipEmptyParts);
    if (emulator.isEmpty()) {
        process.start(program, arguments);
        return;
    }
    const QString runner = emulator.takeFirst();
    process.start(runner, emulator + QStringList{program} + arguments);
}

QProcessEnvironment programEnvironment(const QString& display)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    if (!display.isEmpty()) {
        environment.insert(QStringLiteral("DISPLAY"), display);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }
    return environment;
}

std::optional<platform::RuntimeError> raised(const std::function<void()>& step)
{
    try {
        step();
    } catch (const platform::RuntimeError& error) {
        return error;
    }
    ADD_FAILURE() << "no run-time error was raised";
    return std::nullopt;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString();
        return {};
    }
    return file.readAll();
}

void writeFileBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray streamBytes(std::FILE* stream)
{
    std::rewind(stream);
    QByteArray bytes;
    char buffer[512];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, stream))
        bytes.append(buffer, static_cast<qsizetype>(got));
    return bytes;
}

void makeFifo(const QString& path)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0644), 0) << path.toStdString();
}

} // namespace kestavo::test
