// SPDX-License-Identifier: GPL-3.0-or-later
// The real build/virtual-rotor, with a private port table, talked to as
// Kestavo talks to it.
#include "support/posix.h"
#include "support/testsupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include "support/cases.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace kestavo::test;
using namespace std::chrono_literals;

namespace
{

using kestavo::test::PrintTo;

const QRegularExpression
    kReadyLine(QStringLiteral(R"(^virtual rotor controller on port (\d+) \((/dev/pts/\d+)\)\n)"));

class Controller
{
public:
    explicit Controller(const QStringList& arguments)
    {
        m_process.start(QStringLiteral(VIRTUAL_ROTOR_BINARY), arguments);
        EXPECT_TRUE(m_process.waitForStarted(5000));
    }
    ~Controller()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    // Whether text has been printed within timeout.
    [[nodiscard]] bool waitFor(const QString& text, std::chrono::milliseconds timeout = 5s)
    {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + timeout;
        while (!m_output.contains(text.toUtf8())) {
            if (Clock::now() >= deadline || m_process.state() == QProcess::NotRunning)
                return false;
            m_process.waitForReadyRead(50);
            m_output += m_process.readAllStandardOutput();
        }
        return true;
    }

    // The pseudo-terminal it announced, or empty.
    [[nodiscard]] QString slavePath()
    {
        if (!waitFor(QStringLiteral(")\n")))
            return QString();
        const auto match = kReadyLine.match(QString::fromUtf8(m_output));
        return match.hasMatch() ? match.captured(2) : QString();
    }

    // The exit status once it has ended by itself.
    [[nodiscard]] int finish()
    {
        EXPECT_TRUE(m_process.waitForFinished(5000)) << "the controller did not end";
        m_output += m_process.readAllStandardOutput();
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    [[nodiscard]] QProcess& process() { return m_process; }
    [[nodiscard]] const QByteArray& output() const { return m_output; }

private:
    QProcess m_process;
    QByteArray m_output;
};

// Opens the port as Kestavo does: write-only unless told, then sets its line up.
class Sender
{
public:
    explicit Sender(const QString& path, speed_t speed, bool twoStopBits = false,
                    int access = O_WRONLY)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), access | O_NOCTTY | O_CLOEXEC);
        EXPECT_GE(m_fd, 0) << path.toStdString();
        termios line{};
        EXPECT_EQ(::tcgetattr(m_fd, &line), 0);
        ::cfmakeraw(&line);
        ::cfsetspeed(&line, speed);
        if (twoStopBits)
            line.c_cflag |= CSTOPB;
        EXPECT_EQ(::tcsetattr(m_fd, TCSANOW, &line), 0);
    }
    ~Sender()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;

    void send(const QByteArray& bytes) const
    {
        EXPECT_EQ(::write(m_fd, bytes.constData(), static_cast<size_t>(bytes.size())),
                  bytes.size());
    }

    // Up to count bytes, as many as arrive within timeout.
    [[nodiscard]] QByteArray receive(qsizetype count, std::chrono::milliseconds timeout) const
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        QByteArray bytes;
        char byte = 0;
        while (bytes.size() < count && kestavo::support::waitReadable(m_fd, deadline) != 0 &&
               ::read(m_fd, &byte, 1) == 1)
            bytes += byte;
        return bytes;
    }

private:
    int m_fd = -1;
};

[[nodiscard]] bool present(const QString& path)
{
    return QFileInfo(path).isSymLink() || QFileInfo::exists(path);
}

class VirtualRotor : public ::testing::Test
{
protected:
    [[nodiscard]] QString entry(int port) const
    {
        return m_table.directory() + QStringLiteral("/COM") + QString::number(port);
    }

    PortTable m_table;
};

TEST_F(VirtualRotor, ServesOneKestavoRunAfterAnotherAndLeavesAtTheEndOfInput)
{
    Controller controller({QStringLiteral("--rate"), QStringLiteral("100000")});
    const QString pts = controller.slavePath();
    ASSERT_FALSE(pts.isEmpty()) << controller.output().toStdString();
    EXPECT_EQ(QFileInfo(entry(99)).symLinkTarget(), pts);
    {
        const Sender first(entry(99), B4800);
        first.send("AP1180\r");
        EXPECT_TRUE(controller.waitFor(
            QStringLiteral("line settings: 4800 baud, 8 data bits, no parity, 1 stop bit\n"
                           "command \"AP1180\" 41 50 31 31 38 30 0D\n"
                           "turning from 0 to 180\n")))
            << controller.output().toStdString();
        EXPECT_TRUE(controller.waitFor(QStringLiteral("arrived at 180\n")));
    }
    {
        const Sender second(entry(99), B4800, true);
        second.send("AP1 90\rAP190\r");
        EXPECT_TRUE(controller.waitFor(
            QStringLiteral("line settings: 4800 baud, 8 data bits, no parity, 2 stop bits\n"
                           "command \"AP1 90\" 41 50 31 20 39 30 0D\n"
                           "not understood: heading \" 90\" is not whole degrees")))
            << controller.output().toStdString();
        EXPECT_TRUE(controller.waitFor(QStringLiteral("turning from 180 to 90\narrived at 90\n")))
            << controller.output().toStdString();
    }
    controller.process().closeWriteChannel();
    EXPECT_EQ(controller.finish(), 0);
    EXPECT_FALSE(present(entry(99)));
}

struct Ending {
    const char* name;
    int signal; // 0: a line "q" on standard input
};

class Ends : public VirtualRotor, public ::testing::WithParamInterface<Ending>
{
};

TEST_P(Ends, CleanlyAndRemovesItsLink)
{
    Controller controller({QStringLiteral("--port"), QStringLiteral("42")});
    ASSERT_FALSE(controller.slavePath().isEmpty()) << controller.output().toStdString();
    ASSERT_TRUE(present(entry(42)));
    if (GetParam().signal != 0)
        ASSERT_EQ(::kill(static_cast<pid_t>(controller.process().processId()), GetParam().signal),
                  0);
    else
        controller.process().write("hello\nq\n");
    EXPECT_EQ(controller.finish(), 0);
    EXPECT_FALSE(present(entry(42)));
}

INSTANTIATE_TEST_SUITE_P(Ways, Ends,
                         ::testing::Values(Ending{"SIGTERM", SIGTERM}, Ending{"SIGINT", SIGINT},
                                           Ending{"SIGHUP", SIGHUP}, Ending{"q", 0}));

TEST_F(VirtualRotor, RefusesAPortAnotherControllerHolds)
{
    Controller first({});
    const QString pts = first.slavePath();
    ASSERT_FALSE(pts.isEmpty());
    Controller second({});
    EXPECT_EQ(second.finish(), 1);
    const QByteArray why = second.process().readAllStandardError();
    EXPECT_TRUE(why.contains("already points at " + pts.toUtf8())) << why.toStdString();
    EXPECT_TRUE(why.contains("--port")) << why.toStdString();
    EXPECT_EQ(QFileInfo(entry(99)).symLinkTarget(), pts);
}

TEST_F(VirtualRotor, RefusesAnEntryTheUserWrote)
{
    m_table.writeEntry(99, "/dev/ttyUSB0\n");
    Controller controller({});
    EXPECT_EQ(controller.finish(), 1);
    EXPECT_TRUE(controller.process().readAllStandardError().contains("is not a link"));
    EXPECT_EQ(fileBytes(entry(99)), "/dev/ttyUSB0\n");
}

TEST_F(VirtualRotor, TakesOverTheLinkOfAControllerThatWasKilled)
{
    m_table.link(99, m_table.directory() + QStringLiteral("/gone"));
    Controller controller({});
    const QString pts = controller.slavePath();
    ASSERT_FALSE(pts.isEmpty()) << controller.output().toStdString();
    EXPECT_EQ(QFileInfo(entry(99)).symLinkTarget(), pts);
    ASSERT_EQ(::kill(static_cast<pid_t>(controller.process().processId()), SIGTERM), 0);
    EXPECT_EQ(controller.finish(), 0);
    EXPECT_FALSE(present(entry(99)));
}

TEST_F(VirtualRotor, SendsItsStrayByteFirstAndAnswersLate)
{
    Controller controller({QStringLiteral("--stray-byte"), QStringLiteral("--answer-delay=300"),
                           QStringLiteral("--start=42")});
    ASSERT_FALSE(controller.slavePath().isEmpty()) << controller.output().toStdString();
    const Sender sender(entry(99), B4800, false, O_RDWR);
    EXPECT_EQ(sender.receive(1, 5s), QByteArray("\xFF"));
    const auto asked = std::chrono::steady_clock::now();
    sender.send("AI1;");
    EXPECT_EQ(sender.receive(4, 5s), QByteArray(";042"));
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 300ms);
    EXPECT_TRUE(
        controller.waitFor(QStringLiteral("asked for the bearing: 042; answering in 300 ms")))
        << controller.output().toStdString();
}

TEST_F(VirtualRotor, ReportsAnEndlessLineAndGoesOn)
{
    Controller controller({QStringLiteral("--rate"), QStringLiteral("100000")});
    ASSERT_FALSE(controller.slavePath().isEmpty());
    const Sender sender(entry(99), B4800);
    sender.send(QByteArray(5000, 'A'));
    EXPECT_TRUE(controller.waitFor(QStringLiteral("not understood: no CR within 4096 bytes")));
    sender.send("more\rAP1360\r");
    EXPECT_TRUE(controller.waitFor(QStringLiteral("command \"AP1360\"")))
        << controller.output().toStdString();
    EXPECT_FALSE(controller.output().contains("more")) << "the rest of the long line was kept";
}

} // namespace
