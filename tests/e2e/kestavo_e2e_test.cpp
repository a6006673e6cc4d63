// SPDX-License-Identifier: GPL-3.0-or-later
// The real program in a real X server, driven from outside as a person would.
#include "support/cases.h"
#include "support/testsupport.h"
#include "xsession.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

using namespace kestavo::test;
using namespace std::chrono_literals;

namespace
{

using kestavo::test::PrintTo;

const QString kPrompt = QStringLiteral("Comport");
const QString kBox = QStringLiteral("Kestavo");
const QString kWindow = QStringLiteral("Rotor");
constexpr auto kWindowTimeout = 15s;

class KestavoUnderX : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_table.link(99, m_pty.slavePath());
        setLineSpeed(B9600);
    }

    void TearDown() override
    {
        for (auto& process : m_processes) {
            m_desktop.reportIfFailed(*process);
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
        }
    }

    QProcess& start(const QString& directory, const QStringList& arguments = {})
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(programEnvironment(m_x.display()));
        if (m_childSetUp)
            process->setChildProcessModifier(m_childSetUp);
        process->setWorkingDirectory(directory);
        startProgram(*process, testedProgram(QStringLiteral(KESTAVO_BINARY)), arguments);
        EXPECT_TRUE(process->waitForStarted(10000));
        m_processes.push_back(std::move(process));
        return *m_processes.back();
    }

    // The exit status, once the program has ended.
    [[nodiscard]] int finish(QProcess& process)
    {
        EXPECT_TRUE(process.waitForFinished(15000)) << "Kestavo did not end";
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        return process.exitCode();
    }

    void setLineSpeed(speed_t speed) const
    {
        termios line{};
        ASSERT_EQ(::tcgetattr(m_pty.slaveFd(), &line), 0);
        ::cfsetspeed(&line, speed);
        ASSERT_EQ(::tcsetattr(m_pty.slaveFd(), TCSANOW, &line), 0);
    }

    // Whether the line reaches 4800 baud, 8 bits, no parity, 1 stop bit.
    [[nodiscard]] bool waitForLineSetUp() const
    {
        for (int round = 0; round < 300; ++round) {
            termios line{};
            if (::tcgetattr(m_pty.slaveFd(), &line) == 0 && ::cfgetospeed(&line) == B4800 &&
                (line.c_cflag & CSIZE) == CS8 && !(line.c_cflag & (PARENB | CSTOPB)))
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    // Answers the prompt: text typed, then Enter; or Escape when text is empty.
    void answerPrompt(const QString& text)
    {
        const QString prompt = m_desktop.waitForWindow(kPrompt, kWindowTimeout);
        ASSERT_FALSE(prompt.isEmpty()) << "no prompt";
        if (text.isEmpty()) {
            m_desktop.pressKey(prompt, QStringLiteral("Escape"));
            return;
        }
        m_desktop.typeInto(prompt, text);
        m_desktop.pressKey(prompt, QStringLiteral("Return"));
    }

    // Confirms the next box titled "Kestavo"; returns its window id.
    QString confirmBox(const QString& previous = QString())
    {
        const QString box = m_desktop.waitForWindow(kBox, kWindowTimeout, previous);
        EXPECT_FALSE(box.isEmpty()) << "no message box";
        if (!box.isEmpty())
            m_desktop.pressKey(box, QStringLiteral("Return"));
        return box;
    }

    // Starts Kestavo on the stored port and waits for its window and line.
    std::pair<QProcess*, QString> startOnStoredPort(const QStringList& arguments = {})
    {
        writeFileBytes(m_dir.filePath(QStringLiteral("Tavimer.ini")), "99\r\n");
        QProcess& kestavo = start(m_dir.path(), arguments);
        const QString window = m_desktop.waitForWindow(kWindow, kWindowTimeout);
        EXPECT_FALSE(window.isEmpty()) << "no window Rotor";
        EXPECT_TRUE(waitForLineSetUp());
        return {&kestavo, window};
    }

    XServer m_x;
    Desktop m_desktop{m_x.display()};
    PtyPair m_pty;
    PortTable m_table;
    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_processes;
    std::function<void()> m_childSetUp; // run in the child before Kestavo starts
};

TEST_F(KestavoUnderX, FirstStartStoresTheReplyAndTheNextAsksNothing)
{
    QProcess& first = start(m_dir.path());
    answerPrompt(QStringLiteral("99"));
    ASSERT_TRUE(waitForLineSetUp());
    EXPECT_EQ(fileBytes(m_dir.filePath(QStringLiteral("Tavimer.ini"))), QByteArray("99\r\n"));
    EXPECT_FALSE(m_desktop.waitForWindow(kWindow, kWindowTimeout).isEmpty());
    EXPECT_EQ(first.state(), QProcess::Running) << "Kestavo waits with the port open";
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));

    setLineSpeed(B9600);
    QProcess& second = start(m_dir.path());
    ASSERT_TRUE(waitForLineSetUp());
    EXPECT_FALSE(m_desktop.hasWindow(kPrompt));
    EXPECT_EQ(second.state(), QProcess::Running);
}

TEST_F(KestavoUnderX, CancelWarnsThenEndsWithInvalidPortNumber)
{
    QProcess& kestavo = start(m_dir.path());
    answerPrompt(QString());
    const QString warning = confirmBox();
    confirmBox(warning);
    EXPECT_EQ(finish(kestavo), 1);
    EXPECT_TRUE(kestavo.readAllStandardError().contains("kestavo: run-time error 301: "));
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("Tavimer.ini"))));
}

TEST_F(KestavoUnderX, ReplyThatIsNoNumberEndsWithoutStoringIt)
{
    QProcess& kestavo = start(m_dir.path());
    answerPrompt(QStringLiteral("abc"));
    confirmBox();
    EXPECT_EQ(finish(kestavo), 1);
    EXPECT_TRUE(kestavo.readAllStandardError().contains("kestavo: run-time error 13: "));
    EXPECT_TRUE(QDir(m_dir.path()).isEmpty());
}

TEST_F(KestavoUnderX, SecondInstanceOnTheSamePortFailsAndTheFirstKeepsRunning)
{
    QTemporaryDir other;
    writeFileBytes(m_dir.filePath(QStringLiteral("Tavimer.ini")), "99\r\n");
    writeFileBytes(other.filePath(QStringLiteral("Tavimer.ini")), "99\r\n");
    QProcess& first = start(m_dir.path());
    ASSERT_TRUE(waitForLineSetUp());

    QProcess& second = start(other.path());
    confirmBox();
    EXPECT_EQ(finish(second), 1);
    EXPECT_TRUE(second.readAllStandardError().contains("kestavo: run-time error 304: "));
    QThread::msleep(200);
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(KestavoUnderX, APersonTypes180ClicksGoThenX)
{
    auto [kestavo, window] = startOnStoredPort();
    ASSERT_FALSE(window.isEmpty());

    // The text box has the focus when the window first shows.
    m_desktop.typeInto(window, QStringLiteral("180"));
    m_desktop.clickAt(window, kGoCentre.x, kGoCentre.y);
    EXPECT_EQ(m_pty.read(7, 5s), QByteArray("AP1180\r"));
    EXPECT_EQ(m_pty.read(1, 1s), QByteArray()) << "asked something without read-back";

    m_desktop.clickAt(window, kExitCentre.x, kGoCentre.y);
    EXPECT_EQ(finish(*kestavo), 0);
    EXPECT_EQ(m_pty.read(1, 200ms), QByteArray()) << "X sends nothing";
}

TEST_F(KestavoUnderX, EachGoSendsTheTextWhileEnterSendsNothing)
{
    auto [kestavo, window] = startOnStoredPort();
    ASSERT_FALSE(window.isEmpty());

    m_desktop.typeInto(window, QStringLiteral("90"));
    m_desktop.clickAt(window, kGoCentre.x, kGoCentre.y);
    EXPECT_EQ(m_pty.read(6, 5s), QByteArray("AP190\r"));
    m_desktop.clickAt(window, kGoCentre.x, kGoCentre.y);
    EXPECT_EQ(m_pty.read(6, 5s), QByteArray("AP190\r")) << "the second GO sends again";

    m_desktop.pressKey(window, QStringLiteral("Return"));
    EXPECT_EQ(m_pty.read(1, 300ms), QByteArray()) << "Enter is no GO";

    // A click on GO left the focus in the text box: the next heading is
    // typed straight away, then GO is reached with Tab and pressed by Space.
    m_desktop.pressKey(window, QStringLiteral("ctrl+a"));
    m_desktop.typeInto(window, QStringLiteral("270"));
    m_desktop.pressKey(window, QStringLiteral("Tab"));
    m_desktop.pressKey(window, QStringLiteral("space"));
    EXPECT_EQ(m_pty.read(7, 5s), QByteArray("AP1270\r"));

    kestavo->terminate();
    EXPECT_TRUE(kestavo->waitForFinished(10000));
}

TEST_F(KestavoUnderX, XRightAfterGoLosesNothing)
{
    auto [kestavo, window] = startOnStoredPort();
    ASSERT_FALSE(window.isEmpty());

    m_desktop.typeInto(window, QStringLiteral("180"));
    m_desktop.clickTwice(window, kGoCentre.x, kExitCentre.x, kGoCentre.y);
    EXPECT_EQ(finish(*kestavo), 0);
    EXPECT_EQ(m_pty.read(8, 1s), QByteArray("AP1180\r"));
}

TEST_F(KestavoUnderX, ClosingByTheFrameRightAfterGoLosesNothing)
{
    auto [kestavo, window] = startOnStoredPort();
    ASSERT_FALSE(window.isEmpty());

    m_desktop.typeInto(window, QStringLiteral("45"));
    m_desktop.clickAt(window, kGoCentre.x, kGoCentre.y);
    m_desktop.closeByFrame(window);
    EXPECT_EQ(finish(*kestavo), 0);
    EXPECT_EQ(m_pty.read(7, 1s), QByteArray("AP145\r"));
}

TEST_F(KestavoUnderX, SigtermRightAfterGoEndsLikeXAndLosesNothing)
{
    auto [kestavo, window] = startOnStoredPort();
    ASSERT_FALSE(window.isEmpty());

    m_desktop.typeInto(window, QStringLiteral("300"));
    m_desktop.clickAt(window, kGoCentre.x, kGoCentre.y);
    // A signal is no X event, and may overtake the click on its way in: the
    // line tells, without taking the bytes, when GO has been handled.
    int queued = 0;
    for (int round = 0; round < 500 && queued < 7; ++round, QThread::msleep(10))
        ASSERT_EQ(::ioctl(m_pty.masterFd(), FIONREAD, &queued), 0);
    kestavo->terminate();
    EXPECT_EQ(finish(*kestavo), 0);
    EXPECT_EQ(m_pty.read(8, 1s), QByteArray("AP1300\r"));
}

TEST_F(KestavoUnderX, LineWhoseOtherSideWentAwayEndsThroughTheErrorBox)
{
    auto [kestavo, window] = startOnStoredPort();
    ASSERT_FALSE(window.isEmpty());

    m_pty.closeMaster();
    m_desktop.typeInto(window, QStringLiteral("180"));
    m_desktop.clickAt(window, kGoCentre.x, kGoCentre.y);
    confirmBox();
    EXPECT_EQ(finish(*kestavo), 1);
    EXPECT_TRUE(kestavo->readAllStandardError().contains(
        "kestavo: run-time error 312: Cannot send to port 99"));
}

// An adapter unplugged after GO's command had left: nothing was lost, so
// the end is no failure.
TEST_F(KestavoUnderX, AnUnplugAfterTheCommandLeftEndsWithoutAnError)
{
    auto [kestavo, window] = startOnStoredPort();
    ASSERT_FALSE(window.isEmpty());
    m_desktop.typeInto(window, QStringLiteral("180"));
    m_desktop.clickAt(window, kGoCentre.x, kGoCentre.y);
    EXPECT_EQ(m_pty.read(7, 5s), QByteArray("AP1180\r"));
    QThread::msleep(100);
    m_pty.closeMaster();
    kestavo->terminate();
    EXPECT_EQ(finish(*kestavo), 0);
    EXPECT_TRUE(kestavo->readAllStandardError().contains("had gone when Kestavo ended"));
    EXPECT_FALSE(m_desktop.hasWindow(kBox));
}

// A loopback TCP socket on a port the system picks; it holds the port
// until closed.
[[nodiscard]] std::pair<int, QString> takeLoopbackPort()
{
    const int taken = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(taken, reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(::listen(taken, 1), 0);
    EXPECT_EQ(::getsockname(taken, reinterpret_cast<sockaddr*>(&address), &length), 0);
    return {taken, QString::number(ntohs(address.sin_port))};
}

// Hamlib's own client, as trackers and loggers reach the rotor: its exit
// status and what it printed.
std::pair<int, QByteArray> rotctlOn(const QString& port, const QStringList& command)
{
    QProcess client;
    client.start(QStringLiteral("rotctl"),
                 QStringList{"-m", "2", "-r", "127.0.0.1:" + port} + command);
    EXPECT_TRUE(client.waitForFinished(10000));
    return {client.exitCode(), client.readAllStandardOutput()};
}

TEST_F(KestavoUnderX, RotctlSetsAndReadsTheHeadingThroughTheFrontDoor)
{
    const auto [taken, port] = takeLoopbackPort();
    ASSERT_EQ(::close(taken), 0);
    auto [kestavo, window] = startOnStoredPort({QStringLiteral("--listen"), port});
    ASSERT_FALSE(window.isEmpty());
    const auto rotctl = [&port](const QStringList& command) { return rotctlOn(port, command); };

    EXPECT_EQ(rotctl({"set_pos", "180", "0"}).first, 0);
    EXPECT_EQ(m_pty.read(7, 5s), QByteArray("AP1180\r"));
    const auto [status, position] = rotctl({"get_pos"});
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(position.startsWith("180.")) << position.toStdString();
    // Trackers send an elevation; hamlib's client checks it against the range.
    EXPECT_EQ(rotctl({"set_pos", "100", "10"}).first, 0);
    EXPECT_EQ(m_pty.read(7, 5s), QByteArray("AP1100\r"));
    EXPECT_NE(rotctl({"set_pos", "400", "0"}).first, 0) << "outside the range it was told";
    EXPECT_EQ(m_pty.read(1, 300ms), QByteArray());

    kestavo->terminate();
    EXPECT_EQ(finish(*kestavo), 0);
}

TEST_F(KestavoUnderX, AnAddressInUseEndsThroughTheErrorBoxAndReleasesThePort)
{
    const auto [taken, port] = takeLoopbackPort();
    writeFileBytes(m_dir.filePath(QStringLiteral("Tavimer.ini")), "99\r\n");
    QProcess& kestavo = start(m_dir.path(), {QStringLiteral("--listen"), port});
    confirmBox();
    EXPECT_EQ(finish(kestavo), 1);
    EXPECT_TRUE(kestavo.readAllStandardError().contains(
        "kestavo: run-time error 501: Cannot listen on 127.0.0.1:" + port.toUtf8() +
        ": Address already in use."));
    EXPECT_FALSE(m_desktop.hasWindow(kWindow));
    EXPECT_EQ(::close(taken), 0);
    setLineSpeed(B9600);
    QProcess& again = start(m_dir.path());
    EXPECT_TRUE(waitForLineSetUp()) << "the port was released";
    // X, not SIGTERM: until its event loop runs, a signal ends Kestavo at once.
    const QString window = m_desktop.waitForWindow(kWindow, kWindowTimeout);
    ASSERT_FALSE(window.isEmpty());
    m_desktop.clickAt(window, kExitCentre.x, kExitCentre.y);
    EXPECT_EQ(finish(again), 0);
}

// Connections that never say a word fill the door, as a stranger's flood
// would; a tracker that comes next is served.
TEST_F(KestavoUnderX, StrangersMakeRoomForATracker)
{
    const auto [taken, port] = takeLoopbackPort();
    ASSERT_EQ(::close(taken), 0);
    auto [kestavo, window] = startOnStoredPort({QStringLiteral("--listen"), port});
    ASSERT_FALSE(window.isEmpty());
    std::vector<int> silent;
    for (int i = 0; i < 16; ++i) {
        silent.push_back(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port.toUShort());
        ASSERT_EQ(::connect(silent.back(), reinterpret_cast<sockaddr*>(&address), sizeof address),
                  0);
    }
    EXPECT_EQ(rotctlOn(port, {"set_pos", "180", "0"}).first, 0);
    EXPECT_EQ(m_pty.read(7, 5s), QByteArray("AP1180\r"));
    for (const int socket : silent)
        ::close(socket);
    kestavo->terminate();
    EXPECT_EQ(finish(*kestavo), 0);
    const QByteArray told = kestavo->readAllStandardError();
    EXPECT_TRUE(told.contains("16 clients on 127.0.0.1:" + port.toUtf8() + ": closed 127.0.0.1:"));
    EXPECT_TRUE(told.contains(", which never spoke, to make room for a new one (1 so far)"));
}

// nohup: a hang-up that was ignored when Kestavo started stays ignored.
TEST_F(KestavoUnderX, UnderNohupAHangUpLeavesItRunning)
{
    m_childSetUp = [] { ::signal(SIGHUP, SIG_IGN); };
    auto [kestavo, window] = startOnStoredPort();
    ASSERT_FALSE(window.isEmpty());
    // GO's command on the line: the event loop runs, the signals are set.
    m_desktop.typeInto(window, QStringLiteral("90"));
    m_desktop.clickAt(window, kGoCentre.x, kGoCentre.y);
    EXPECT_EQ(m_pty.read(6, 5s), QByteArray("AP190\r"));
    ASSERT_EQ(::kill(static_cast<pid_t>(kestavo->processId()), SIGHUP), 0);
    EXPECT_FALSE(kestavo->waitForFinished(1000)) << "the hang-up ended it";
    m_desktop.clickAt(window, kExitCentre.x, kExitCentre.y);
    EXPECT_EQ(finish(*kestavo), 0);
}

// Against the virtual rotor controller, which answers AI1; with its live
// bearing; Kestavo's port 98 is the controller's own line.
class KestavoReadsBack : public KestavoUnderX
{
protected:
    // Starts the controller, then Kestavo with read-back from Tavimer.ini
    // and the door on m_port; returns the window.
    QString startBoth(const QStringList& rotorOptions, const QByteArray& items = "read-back",
                      const QStringList& options = {})
    {
        m_rotor.setProcessEnvironment(programEnvironment());
        m_rotor.start(QStringLiteral(VIRTUAL_ROTOR_BINARY),
                      QStringList{"--port", "98", "--rate", "30"} + rotorOptions);
        EXPECT_TRUE(m_rotor.waitForReadyRead(5000)) << "no virtual rotor";
        const auto [taken, port] = takeLoopbackPort();
        EXPECT_EQ(::close(taken), 0);
        m_port = port;
        writeFileBytes(m_dir.filePath(QStringLiteral("Tavimer.ini")), "98," + items + "\r\n");
        m_kestavo = &start(m_dir.path(), QStringList{QStringLiteral("--listen"), port} + options);
        return m_desktop.waitForWindow(kWindow, kWindowTimeout);
    }

    // The window is larger with read-back, so GO is reached with Tab, not
    // clicked where it stands in the smaller one.
    void goByKeys(const QString& window, const QString& heading)
    {
        m_desktop.typeInto(window, heading);
        m_desktop.pressKey(window, QStringLiteral("Tab"));
        m_desktop.pressKey(window, QStringLiteral("space"));
    }

    // The door's p, in degrees.
    [[nodiscard]] double bearing() const
    {
        const auto [status, position] = rotctlOn(m_port, {"get_pos"});
        EXPECT_EQ(status, 0);
        return position.split('\n').front().toDouble();
    }

    void TearDown() override
    {
        KestavoUnderX::TearDown();
        m_rotor.terminate();
        m_rotor.waitForFinished(5000);
    }

    QProcess m_rotor;
    QProcess* m_kestavo = nullptr;
    QString m_port;
};

TEST_F(KestavoReadsBack, GoTurnsTheRotorAndTheBearingFollowsItThere)
{
    const QString window = startBoth({});
    ASSERT_FALSE(window.isEmpty());
    goByKeys(window, QStringLiteral("90"));
    QList<double> seen;
    for (int round = 0; round < 40 && (seen.isEmpty() || seen.back() != 90); ++round) {
        QThread::msleep(250);
        seen << bearing();
    }
    EXPECT_EQ(seen.back(), 90);
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](double b) { return b > 0 && b < 90; }))
        << "never seen on its way";
    m_kestavo->terminate();
    EXPECT_EQ(finish(*m_kestavo), 0);
}

TEST_F(KestavoReadsBack, EscStopsATurnWhereTheRotorIs)
{
    const QString window = startBoth({});
    ASSERT_FALSE(window.isEmpty());
    goByKeys(window, QStringLiteral("180"));
    QThread::msleep(2000);
    m_desktop.pressKey(window, QStringLiteral("Escape"));
    QThread::msleep(1500);
    const double stopped = bearing();
    QThread::msleep(1500);
    EXPECT_GT(stopped, 0);
    EXPECT_LT(stopped, 180);
    EXPECT_EQ(bearing(), stopped);
    m_kestavo->terminate();
    EXPECT_EQ(finish(*m_kestavo), 0);
}

// Everything works as without read-back; the window and stderr say so once,
// and a tracker is told that no bearing comes rather than given the target.
TEST_F(KestavoReadsBack, AMuteControllerIsToldOnceAndStillTurns)
{
    const QString window = startBoth({QStringLiteral("--mute")});
    ASSERT_FALSE(window.isEmpty());
    EXPECT_EQ(rotctlOn(m_port, {"set_pos", "45.5", "0"}).first, 0);
    // Three questions of 1.5 s each, half a second apart.
    QThread::msleep(6500);
    EXPECT_NE(rotctlOn(m_port, {"get_pos"}).first, 0);
    m_kestavo->terminate();
    EXPECT_EQ(finish(*m_kestavo), 0);
    EXPECT_EQ(m_kestavo->readAllStandardError().count("no bearing comes from the controller"), 1);
    m_rotor.terminate();
    EXPECT_TRUE(m_rotor.waitForFinished(5000));
    EXPECT_TRUE(m_rotor.readAllStandardOutput().contains("turning from 0 to 46"));
}

struct SetRun {
    const char* name;
    QStringList rotorOptions;
    QByteArray items;    // in Tavimer.ini
    QStringList options; // Kestavo's
    const char* go;
    double arrives;
};

class CommandSetRuns : public KestavoReadsBack, public ::testing::WithParamInterface<SetRun>
{
};

// GO, the door's target, Esc and the door's stop, each in the set's own
// form, and the bearing read back in its answers; the controller refuses
// whatever is not of its set, and says so.
TEST_P(CommandSetRuns, TurnAndStopTheRotorInItsOwnCommands)
{
    const SetRun& c = GetParam();
    const QString window = startBoth(c.rotorOptions, c.items, c.options);
    ASSERT_FALSE(window.isEmpty());
    goByKeys(window, QString::fromLatin1(c.go));
    double at = 0;
    for (int round = 0; round < 40 && at != c.arrives; ++round) {
        QThread::msleep(250);
        at = bearing();
    }
    EXPECT_EQ(at, c.arrives);
    for (const QString& stop : {QStringLiteral("Esc"), QStringLiteral("S")}) {
        EXPECT_EQ(rotctlOn(m_port, {"set_pos", "300", "0"}).first, 0);
        QThread::msleep(1500);
        if (stop == u"Esc") {
            m_desktop.pressKey(window, QStringLiteral("Escape"));
        } else {
            EXPECT_EQ(rotctlOn(m_port, {"stop"}).first, 0);
        }
        QThread::msleep(1500);
        const double stopped = bearing();
        QThread::msleep(1000);
        EXPECT_EQ(bearing(), stopped) << stop.toStdString();
        EXPECT_LT(stopped, 300) << stop.toStdString();
    }
    m_kestavo->terminate();
    EXPECT_EQ(finish(*m_kestavo), 0);
    m_rotor.terminate();
    EXPECT_TRUE(m_rotor.waitForFinished(5000));
    const QByteArray said = m_rotor.readAllStandardOutput();
    EXPECT_FALSE(said.contains("not understood")) << said.toStdString();
    EXPECT_EQ(said.count("stopped at"), 2) << said.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Sets, CommandSetRuns,
    ::testing::Values(
        SetRun{"one-step answering ddd;", {"--answer-form", "trailing"}, "read-back", {}, "90", 90},
        SetRun{"two-step from the file",
               {"--command-set", "two-step"},
               "two-step, read-back",
               {},
               "90.4",
               90.4},
        SetRun{"two-step answering ddd;",
               {"--command-set", "two-step", "--answer-form", "trailing"},
               "read-back",
               {"--command-set", "two-step"},
               "90",
               90},
        SetRun{"tenths", {"--command-set", "tenths"}, "TENTHS,read-back", {}, "90.5", 90.5}),
    ByName{});

// A controller whose scale is centred on south: the window's GO and the
// door's p speak the antenna's bearing, the line the controller's scale;
// K parks, at the antenna's park heading.
TEST_F(KestavoReadsBack, AnOffsetAndParkSpeakTheAntennasBearing)
{
    const QString window = startBoth({QStringLiteral("--offset"), QStringLiteral("180")},
                                     "read-back,offset=180,park=200");
    ASSERT_FALSE(window.isEmpty());
    goByKeys(window, QStringLiteral("270"));
    double at = 0;
    for (int round = 0; round < 40 && at != 270; ++round) {
        QThread::msleep(250);
        at = bearing();
    }
    EXPECT_EQ(at, 270);
    EXPECT_EQ(rotctlOn(m_port, {"park"}).first, 0);
    for (int round = 0; round < 40 && at != 200; ++round) {
        QThread::msleep(250);
        at = bearing();
    }
    EXPECT_EQ(at, 200);
    m_kestavo->terminate();
    EXPECT_EQ(finish(*m_kestavo), 0);
    m_rotor.terminate();
    EXPECT_TRUE(m_rotor.waitForFinished(5000));
    const QByteArray said = m_rotor.readAllStandardOutput();
    EXPECT_TRUE(said.contains("turning from 0 to 90")) << said.toStdString();
    EXPECT_TRUE(said.contains("turning from 90 to 20")) << said.toStdString();
}

// A rotor that stops on its way is told once on standard error, and a
// tracker still reads where it stands.
TEST_F(KestavoReadsBack, ARotorThatDoesNotTurnIsTold)
{
    const QString window = startBoth({QStringLiteral("--stall-after"), QStringLiteral("30")});
    ASSERT_FALSE(window.isEmpty());
    goByKeys(window, QStringLiteral("90"));
    QThread::msleep(16000);
    EXPECT_EQ(bearing(), 30);
    m_kestavo->terminate();
    EXPECT_EQ(finish(*m_kestavo), 0);
    EXPECT_EQ(m_kestavo->readAllStandardError().count("the rotor does not turn"), 1);
}

} // namespace
