#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

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

PtyPair::PtyPair()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        throw std::runtime_error("cannot create a pseudo-terminal");
    const char* name = ::ptsname(m_master);
    if (!name)
        throw std::runtime_error("cannot name the pseudo-terminal");
    m_slavePath = QString::fromLocal8Bit(name);
    // Held open so the line stays up between the program's open and close,
    // and so the test can read the line settings.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        throw std::runtime_error("cannot open the pseudo-terminal's slave side");
    termios raw{};
    ::tcgetattr(m_master, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(m_master, TCSANOW, &raw);
}

PtyPair::~PtyPair()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

QByteArray PtyPair::read(qsizetype count, std::chrono::milliseconds timeout)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    QByteArray bytes;
    while (bytes.size() < count) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        pollfd ready{m_master, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buffer[256];
        const ssize_t got = ::read(m_master, buffer, sizeof buffer);
        if (got <= 0)
            break;
        bytes.append(buffer, got);
    }
    return bytes;
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

void PtyPair::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
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

ScratchWorkingDirectory::ScratchWorkingDirectory() : m_previous(QDir::currentPath())
{
    if (!QDir::setCurrent(m_dir.path()))
        throw std::runtime_error("cannot enter the scratch directory");
}

ScratchWorkingDirectory::~ScratchWorkingDirectory()
{
    QDir::setCurrent(m_previous);
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
