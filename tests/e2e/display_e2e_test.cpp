// SPDX-License-Identifier: GPL-3.0-or-later
// The real program when the display (an X server or a Wayland compositor)
// is missing or goes away, and when the disk is full at the first start.
#include "support/cases.h"
#include "support/testsupport.h"
#include "xsession.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <ostream>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>

using namespace kestavo::test;
using namespace std::chrono_literals;

namespace
{

using kestavo::test::PrintTo;

constexpr auto kWindowTimeout = 15s;

// The environment Kestavo runs in, with its own runtime directory so that
// Qt has nothing to say about a missing one.
[[nodiscard]] QProcessEnvironment kestavoEnvironment(const QTemporaryDir& runtime,
                                                     const QString& display = QString())
{
    QProcessEnvironment environment = programEnvironment(display);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    return environment;
}

[[nodiscard]] QList<QByteArray> linesOf(const QByteArray& output)
{
    QList<QByteArray> lines = output.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.pop_back();
    return lines;
}

// The lock file the serial library keeps for a pseudo-terminal.
[[nodiscard]] QString lockFileFor(const QString& device)
{
    return QStringLiteral("/run/lock/LCK..") + device.mid(5).replace(u'/', u'_');
}

struct NoDisplayCase {
    const char* name;
    QStringList arguments;
    QStringList environment; // NAME=value
    const char* says;
};

class KestavoWithoutDisplay : public ::testing::TestWithParam<NoDisplayCase>
{
};

TEST_P(KestavoWithoutDisplay, SaysWhichDisplayOnOneLineAndEndsWithStatusOne)
{
    const NoDisplayCase& c = GetParam();
    QTemporaryDir runtime;
    QTemporaryDir directory;
    QProcessEnvironment environment = kestavoEnvironment(runtime);
    for (const QString& setting : c.environment)
        environment.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    QProcess kestavo;
    kestavo.setProcessEnvironment(environment);
    kestavo.setWorkingDirectory(directory.path());
    startProgram(kestavo, testedProgram(QStringLiteral(KESTAVO_BINARY)), c.arguments);
    ASSERT_TRUE(kestavo.waitForFinished(15000));

    EXPECT_EQ(kestavo.exitStatus(), QProcess::NormalExit) << "no abort";
    EXPECT_EQ(kestavo.exitCode(), 1);
    const QList<QByteArray> lines = linesOf(kestavo.readAllStandardError());
    ASSERT_EQ(lines.size(), 1) << lines.join('|').toStdString();
    EXPECT_TRUE(lines[0].startsWith("kestavo: run-time error 402: ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(c.says)) << lines[0].toStdString();
    EXPECT_TRUE(QDir(directory.path()).isEmpty()) << "nothing asked, nothing stored";
}

INSTANTIATE_TEST_SUITE_P(
    Displays, KestavoWithoutDisplay,
    ::testing::Values(
        NoDisplayCase{"DISPLAY unset", {}, {}, "DISPLAY is not set. Start Kestavo from a desktop"},
        NoDisplayCase{"nothing on DISPLAY", {}, {"DISPLAY=:4999"}, "\":4999\" (from DISPLAY)"},
        NoDisplayCase{"nothing on -display",
                      {"-display", ":4998"},
                      {"DISPLAY=:4999"},
                      "\":4998\" (from -display)"},
        NoDisplayCase{"control characters in DISPLAY",
                      {},
                      {"DISPLAY=:4999\x1b[2J"},
                      "\":4999\\x1b[2J\" (from DISPLAY)"},
        NoDisplayCase{"no compositor on WAYLAND_DISPLAY",
                      {},
                      {"QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=kestavo-none"},
                      "no compositor answers on WAYLAND_DISPLAY \"kestavo-none\""},
        NoDisplayCase{"a platform that is not there",
                      {"-platform", "nosuch"},
                      {},
                      "\"nosuch\" (from -platform)"}),
    [](const auto& test) {
        std::string name = test.param.name;
        for (char& c : name)
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(KestavoWithoutDisplay, AnswersHelpAndVersion)
{
    QTemporaryDir runtime;
    for (const char* request : {"--help", "--version"}) {
        QProcess kestavo;
        kestavo.setProcessEnvironment(kestavoEnvironment(runtime));
        startProgram(kestavo, testedProgram(QStringLiteral(KESTAVO_BINARY)),
                     {QString::fromLatin1(request)});
        ASSERT_TRUE(kestavo.waitForFinished(15000));
        EXPECT_EQ(kestavo.exitCode(), 0) << request;
        EXPECT_TRUE(kestavo.readAllStandardError().isEmpty()) << request;
        EXPECT_FALSE(kestavo.readAllStandardOutput().isEmpty()) << request;
    }
}

class KestavoOnADisplay : public ::testing::Test
{
protected:
    explicit KestavoOnADisplay(
        kestavo::support::WindowManager windowManager = kestavo::support::WindowManager::Openbox)
        : m_x(windowManager)
    {
    }

    void SetUp() override { m_table.link(99, m_pty.slavePath()); }

    void TearDown() override
    {
        m_desktop.reportIfFailed(m_kestavo);
        if (m_kestavo.state() != QProcess::NotRunning) {
            m_kestavo.kill();
            m_kestavo.waitForFinished(5000);
        }
    }

    void start(const std::function<void()>& inChild = {})
    {
        m_kestavo.setProcessEnvironment(m_environment);
        m_kestavo.setWorkingDirectory(m_dir.path());
        if (inChild)
            m_kestavo.setChildProcessModifier(inChild);
        startProgram(m_kestavo, testedProgram(QStringLiteral(KESTAVO_BINARY)), {});
        ASSERT_TRUE(m_kestavo.waitForStarted(10000));
    }

    // After a GO with 180, the display goes away: what GO sent is on the
    // line, the port is given back and one line of Kestavo's says why.
    void expectOrderlyEndOnLoss(const std::function<void()>& loseDisplay, const QString& why)
    {
        ASSERT_EQ(m_pty.read(7, 5s), QByteArray("AP1180\r"));
        ASSERT_EQ(exclusiveUse(), 1) << "the running program holds the port";
        ASSERT_TRUE(QFile::exists(lockFileFor(m_pty.slavePath())));

        loseDisplay();
        ASSERT_TRUE(m_kestavo.waitForFinished(15000));
        EXPECT_EQ(m_kestavo.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(m_kestavo.exitCode(), 1);
        EXPECT_EQ(exclusiveUse(), 0) << "the line is still marked for exclusive use";
        EXPECT_FALSE(QFile::exists(lockFileFor(m_pty.slavePath())));
        const QList<QByteArray> lines = linesOf(m_kestavo.readAllStandardError());
        ASSERT_EQ(lines.size(), 1) << lines.join('|').toStdString();
        EXPECT_TRUE(lines[0].startsWith("kestavo: run-time error 401: " + why.toUtf8()))
            << lines[0].toStdString();
        EXPECT_TRUE(lines[0].contains("Nothing was lost")) << lines[0].toStdString();
    }

    [[nodiscard]] int exclusiveUse() const
    {
        int exclusive = -1;
        EXPECT_EQ(::ioctl(m_pty.slaveFd(), TIOCGEXCL, &exclusive), 0);
        return exclusive;
    }

    XServer m_x;
    Desktop m_desktop{m_x.display()};
    PtyPair m_pty;
    PortTable m_table;
    QTemporaryDir m_dir;
    QTemporaryDir m_runtime;
    QProcessEnvironment m_environment = kestavoEnvironment(m_runtime, m_x.display());
    QProcess m_kestavo;
};

TEST_F(KestavoOnADisplay, ALostDisplayReleasesThePortAndSaysSoOnOneLine)
{
    writeFileBytes(m_dir.filePath(QStringLiteral("Tavimer.ini")), "99\r\n");
    start();
    const QString window = m_desktop.waitForWindow(QStringLiteral("Rotor"), kWindowTimeout);
    ASSERT_FALSE(window.isEmpty());
    m_desktop.typeInto(window, QStringLiteral("180"));
    m_desktop.clickAt(window, kGoCentre.x, kGoCentre.y);
    expectOrderlyEndOnLoss([this] { m_x.kill(); },
                           QStringLiteral("The display %1 went away").arg(m_x.display()));
}

// Weston's X window gets no pointer events inside openbox's frame.
class KestavoOnAWaylandDesktop : public KestavoOnADisplay
{
protected:
    KestavoOnAWaylandDesktop() : KestavoOnADisplay(kestavo::support::WindowManager::None) {}
};

// The same on a Wayland desktop, where the compositor is the display.
TEST_F(KestavoOnAWaylandDesktop, ALostCompositorReleasesThePortAndSaysSoOnOneLine)
{
    writeFileBytes(m_dir.filePath(QStringLiteral("Tavimer.ini")), "99\r\n");
    WaylandCompositor weston(m_x.display(), m_runtime.path());
    m_environment = kestavoEnvironment(m_runtime);
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    m_environment.insert(QStringLiteral("WAYLAND_DISPLAY"), weston.socket());
    start();
    using kestavo::ui::centreOf;
    // Wayland offers no DPI of its own: Qt lays out at 96.
    const QSize client = kestavo::ui::TwipScale(96, 96).toPixels(
        QSize(kestavo::constants::kClientWidthTwips, kestavo::constants::kClientHeightTwips));
    const QPoint box = weston.pointIn(client, centreOf(kestavo::constants::kText1Twips));
    // Shown once the window's middle is no longer the background; typed,
    // once the box holds more dark pixels than its cursor.
    ASSERT_TRUE(weston.waitForScreen(
        [&](const QImage& screen) {
            return screen.pixel(1, 1) != screen.pixel(weston.pointIn(client, {0.5, 0.5}));
        },
        kWindowTimeout))
        << "no window under weston";
    // A click in the box first, as a person would: the window may take its
    // keyboard focus a moment after it shows.
    weston.clickAt(box);
    m_desktop.typeInto(weston.window(), QStringLiteral("180"));
    ASSERT_TRUE(weston.waitForScreen(
        [&](const QImage& screen) {
            int dark = 0;
            for (int x = box.x() - 20; x < box.x() + 20; ++x)
                dark += qGray(screen.pixel(x, box.y())) < 128;
            return dark > 2;
        },
        kWindowTimeout))
        << "the typed heading never showed";
    weston.clickAt(weston.pointIn(client, kGoCentre));
    expectOrderlyEndOnLoss(
        [&weston] { weston.kill(); },
        QStringLiteral("The Wayland compositor on \"%1\" went away").arg(weston.socket()));
}

// A server that reset whenever its last client left would turn Kestavo away
// when it connected just after an xdotool poll, with error 402.
TEST(TestXServer, KeepsItsStateWhenItsLastClientLeaves)
{
    XServer x(kestavo::support::WindowManager::None);
    const auto xprop = [&x](const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(programEnvironment(x.display()));
        process.start(QStringLiteral("xprop"), QStringList{QStringLiteral("-root")} + arguments);
        EXPECT_TRUE(process.waitForFinished(10000));
        return process.readAllStandardOutput();
    };
    (void)xprop({"-f", "KESTAVO_PROBE", "8s", "-set", "KESTAVO_PROBE", "kept"});
    EXPECT_TRUE(xprop({"KESTAVO_PROBE"}).contains("\"kept\""));
}

TEST_F(KestavoOnADisplay, AFullDiskAtTheFirstStartStoresNothingAndShowsNoWindow)
{
    start([] {
        // Files may not grow past 2 bytes; a write past that fails (EFBIG).
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2, 2};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(120);
    });
    const QString prompt = m_desktop.waitForWindow(QStringLiteral("Comport"), kWindowTimeout);
    ASSERT_FALSE(prompt.isEmpty());
    m_desktop.typeInto(prompt, QStringLiteral("99"));
    m_desktop.pressKey(prompt, QStringLiteral("Return"));
    const QString box = m_desktop.waitForWindow(QStringLiteral("Kestavo"), kWindowTimeout);
    ASSERT_FALSE(box.isEmpty()) << "no error box";
    EXPECT_FALSE(m_desktop.hasWindow(QStringLiteral("Rotor")));
    m_desktop.pressKey(box, QStringLiteral("Return"));
    ASSERT_TRUE(m_kestavo.waitForFinished(15000));
    EXPECT_EQ(m_kestavo.exitCode(), 1);
    const QByteArray errors = m_kestavo.readAllStandardError();
    EXPECT_TRUE(errors.contains("kestavo: run-time error 203: ")) << errors.toStdString();
    EXPECT_TRUE(QDir(m_dir.path()).isEmpty()) << "a Tavimer.ini or its stand-in was left";
    EXPECT_EQ(exclusiveUse(), 0) << "the port was never opened";
}

} // namespace
