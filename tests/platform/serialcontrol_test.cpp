// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/errorpath.h"
#include "platform/host/line.h"
#include "platform/runtimeerror.h"
#include "platform/senttracker.h"
#include "platform/serialcontrol.h"

#include "support/cases.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QList>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <ostream>

#include <termios.h>
#include <unistd.h>
#include <utility>
#include <vector>

using kestavo::platform::ErrorNumber;
using kestavo::platform::ErrorPath;
using kestavo::platform::SerialControl;
using kestavo::platform::host::DrainResult;
using kestavo::platform::host::replaceLineDrain;
using namespace kestavo::test;
using namespace std::chrono_literals;

namespace
{

using kestavo::test::PrintTo;

constexpr std::int16_t kPort = 99;

// The start-up assignments, in their order, on a pseudo-terminal reached
// through the port table.
class SerialOnPty : public ::testing::Test
{
protected:
    void SetUp() override { m_table.link(kPort, m_pty.slavePath()); }

    static void openAsStartUpDoes(SerialControl& control) { assignAsStartUpDoes(control, kPort); }

    [[nodiscard]] termios lineSettings() const
    {
        termios line{};
        EXPECT_EQ(::tcgetattr(m_pty.slaveFd(), &line), 0);
        return line;
    }

    // The number of the error that step raises, keeping its description.
    ErrorNumber failureOf(const std::function<void()>& step)
    {
        const auto error = raised(step);
        m_lastDescription = error ? error->description() : QString();
        return error ? error->number() : ErrorNumber::Internal;
    }

    // Collects in m_signalled what control reports after an assignment.
    void recordFailures(SerialControl& control)
    {
        QObject::connect(
            &control, &SerialControl::failed,
            [this](const kestavo::platform::RuntimeError& error) { m_signalled << error; });
    }

    PtyPair m_pty;
    PortTable m_table;
    QString m_lastDescription;
    QList<kestavo::platform::RuntimeError> m_signalled;
};

TEST_F(SerialOnPty, StartUpSetsTheLineTo4800EightNoneOne)
{
    SerialControl control;
    openAsStartUpDoes(control);
    ASSERT_TRUE(control.isOpen());
    EXPECT_EQ(control.devicePath(), m_pty.slavePath());

    const termios line = lineSettings();
    EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B4800));
    EXPECT_EQ(::cfgetispeed(&line), static_cast<speed_t>(B4800));
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & PARENB, 0u);
    EXPECT_EQ(line.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(line.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(line.c_oflag & OPOST, 0u) << "output must not be translated";
}

TEST_F(SerialOnPty, SettingsChangeAnOpenLine)
{
    SerialControl control;
    openAsStartUpDoes(control);
    // Recent Linux pseudo-terminals refuse parity and character sizes other
    // than 8, so only speed and stop bits are changed here.
    control.setSettings(QStringLiteral("9600,n,8,2"));
    const termios line = lineSettings();
    EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B9600));
    EXPECT_NE(line.c_cflag & CSTOPB, 0u);
}

TEST_F(SerialOnPty, SettingsBeforeOpenApplyAtOpen)
{
    SerialControl control;
    control.setSettings(QStringLiteral("1200,n,8,2"));
    control.setCommPort(kPort);
    control.setPortOpen(true);
    const termios line = lineSettings();
    EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B1200));
    EXPECT_NE(line.c_cflag & CSTOPB, 0u);
}

TEST_F(SerialOnPty, WrittenBytesArriveUnchanged)
{
    SerialControl control;
    openAsStartUpDoes(control);
    const QByteArray expected("AP1180\r\nAP1\r\x01\xff", 14);
    control.setOutput(QString::fromLatin1(expected));
    // QSerialPort hands buffered bytes to the device from the event loop.
    EXPECT_EQ(m_pty.receive(expected.size(), 500ms).toHex(' '), expected.toHex(' '));
}

TEST_F(SerialOnPty, DrainHandsBufferedBytesOverWithoutTheEventLoop)
{
    SerialControl control;
    openAsStartUpDoes(control);
    control.setOutput(QStringLiteral("AP1180\r"));
    control.setOutput(QStringLiteral("AP190\r"));
    control.drainOutput();
    // Read without running the event loop: only the drain can have sent them.
    EXPECT_EQ(m_pty.read(13, 500ms), QByteArray("AP1180\rAP190\r"));
    control.drainOutput(); // nothing left: returns at once
}

TEST_F(SerialOnPty, AWriteThatFailsLaterIsSignalled)
{
    SerialControl control;
    openAsStartUpDoes(control);
    recordFailures(control);
    m_pty.closeMaster();
    control.setOutput(QStringLiteral("AP1180\r")); // accepted into the buffer
    for (int round = 0; round < 50 && m_signalled.isEmpty(); ++round)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(m_signalled.size(), 1);
    EXPECT_EQ(m_signalled.front().number(), ErrorNumber::WriteFailed);
    EXPECT_TRUE(m_signalled.front().description().contains(m_pty.slavePath()))
        << m_signalled.front().description().toStdString();
}

// With reading on, a hang-up shows on the reading side at once; and a
// device that never stops talking fills no more than the port's bound.
TEST_F(SerialOnPty, ReadingSeesAHangUpOnceAndHoldsABoundedInput)
{
    SerialControl control;
    control.setReading(true);
    openAsStartUpDoes(control);
    control.setInputLen(0);
    recordFailures(control);
    const QByteArray flood(64 * 1024, 'x');
    ASSERT_GT(::write(m_pty.masterFd(), flood.constData(), flood.size()), 1024);
    for (int round = 0; round < 20; ++round)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_LE(control.input().size(), 256);

    m_pty.closeMaster();
    for (int round = 0; round < 50; ++round)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(m_signalled.size(), 1);
    EXPECT_EQ(m_signalled.front().number(), ErrorNumber::WriteFailed);
    EXPECT_TRUE(m_signalled.front().description().contains(QStringLiteral("hung up")))
        << m_signalled.front().description().toStdString();
}

TEST_F(SerialOnPty, DrainToAHungUpLineFails)
{
    SerialControl control;
    openAsStartUpDoes(control);
    recordFailures(control);
    m_pty.closeMaster();
    control.setOutput(QStringLiteral("AP1180\r"));
    EXPECT_EQ(failureOf([&] { control.drainOutput(); }), ErrorNumber::WriteFailed);
    // Thrown, so not reported twice.
    EXPECT_TRUE(m_signalled.isEmpty());
}

TEST_F(SerialOnPty, DrainGivesUpAtTheCapWhenNothingReadsTheLine)
{
    SerialControl control;
    openAsStartUpDoes(control);
    // Far more than the pseudo-terminal buffers, and nobody reads it.
    control.setOutput(QString(200000, u'7'));
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(failureOf([&] { control.drainOutput(); }), ErrorNumber::WriteFailed);
    EXPECT_GE(clock.elapsed(), 4900);
    EXPECT_LT(clock.elapsed(), 7000);
    EXPECT_TRUE(m_lastDescription.contains(QStringLiteral("within 5000 ms")))
        << m_lastDescription.toStdString();
}

// The bounded wait at the end: the bytes' time on the line plus a second,
// never more than five seconds.
TEST(SerialDrainAllowance, CoversTheLineTimePlusGraceWithinTheCap)
{
    const struct {
        const char* settings;
        qint64 bytes;
        std::chrono::milliseconds allowance;
    } cases[] = {
        {"4800,n,8,1", 0, 1000ms},
        // 7 bytes of 10 bits at 4800 baud: 14.6 ms, rounded up.
        {"4800,n,8,1", 7, 1015ms},
        {"4800,n,8,1", 480, 2000ms},
        {"4800,e,8,2", 480, 2200ms},
        {"4800,n,7,1.5", 480, 2000ms},
        {"300,n,8,1", 30, 2000ms},
        {"4800,n,8,1", 4800, 5000ms},
        {"110,n,8,1", 1000000, 5000ms},
    };
    for (const auto& c : cases) {
        SerialControl control;
        control.setSettings(QString::fromLatin1(c.settings));
        EXPECT_EQ(control.drainAllowance(c.bytes), c.allowance)
            << c.settings << " with " << c.bytes << " bytes";
    }
}

TEST_F(SerialOnPty, SecondOpenOfTheSamePortIsRefused)
{
    SerialControl first;
    openAsStartUpDoes(first);

    SerialControl second;
    EXPECT_EQ(failureOf([&] { openAsStartUpDoes(second); }), ErrorNumber::PortInUse);
    EXPECT_TRUE(m_lastDescription.contains(QStringLiteral("in use")))
        << m_lastDescription.toStdString();
    EXPECT_TRUE(first.isOpen());
    EXPECT_FALSE(second.isOpen());

    // The same device through another number and link is the same port.
    m_table.link(98, m_pty.slavePath());
    SerialControl third;
    third.setCommPort(98);
    EXPECT_EQ(failureOf([&] { third.setPortOpen(true); }), ErrorNumber::PortInUse);
}

TEST_F(SerialOnPty, PortIsFreeAgainOnceClosed)
{
    {
        SerialControl first;
        openAsStartUpDoes(first);
    }
    SerialControl second;
    openAsStartUpDoes(second);
    EXPECT_TRUE(second.isOpen());
}

struct LastBytes {
    const char* name;
    DrainResult drained;
    bool fails; // with error 312, the port closed all the same
};

class SerialClosing : public SerialOnPty, public ::testing::WithParamInterface<LastBytes>
{
};

// Closing puts the device's own settings back at once, so the line must
// have sent the last command, at 4800 baud, before that. A pseudo-terminal
// drains at once: the drain is seen through the host instead.
TEST_P(SerialClosing, WaitsForTheLastByteBeforeTheSettingsGoBack)
{
    termios line = lineSettings();
    ::cfsetspeed(&line, B9600);
    ASSERT_EQ(::tcsetattr(m_pty.slaveFd(), TCSANOW, &line), 0);
    SerialControl control;
    openAsStartUpDoes(control);
    QElapsedTimer clock;
    clock.start();
    control.setOutput(QStringLiteral("AP1180\r"));
    std::vector<std::pair<speed_t, qint64>> seen; // the line's speed, bytes not handed over
    replaceLineDrain([&](qintptr, std::chrono::milliseconds, QString& reason) {
        line = lineSettings();
        seen.emplace_back(::cfgetospeed(&line), control.outBufferCount());
        reason = QStringLiteral("Input/output error");
        return GetParam().drained;
    });
    if (GetParam().fails)
        EXPECT_EQ(failureOf([&] { control.setPortOpen(false); }), ErrorNumber::WriteFailed);
    else
        control.setPortOpen(false);
    replaceLineDrain({});
    EXPECT_EQ(seen, (std::vector<std::pair<speed_t, qint64>>{{B4800, 0}}));
    EXPECT_FALSE(control.isOpen());
    line = lineSettings();
    EXPECT_EQ(::cfgetospeed(&line), B9600);
    // A line that failed may have dropped what it held: better than garbled.
    if (GetParam().drained == DrainResult::Sent) {
        // 7 bytes of 10 bits at 4800 baud, even where the drain returned early.
        EXPECT_GE(clock.elapsed(), 15);
    }
    if (!GetParam().fails) {
        EXPECT_EQ(m_pty.read(8, 500ms), QByteArray("AP1180\r"));
    }
}

// A pseudo-terminal's queue reads empty at once, but the command has not
// had its time on the line yet: a drain that fails then may have lost it.
INSTANTIATE_TEST_SUITE_P(Drains, SerialClosing,
                         ::testing::Values(LastBytes{"sent", DrainResult::Sent, false},
                                           LastBytes{"too slow", DrainResult::TimedOut, true},
                                           LastBytes{"line gone before its time was up",
                                                     DrainResult::Failed, true}),
                         ByName{});

// An unplugged adapter answers every question with an error: only what had
// left before the hang-up is sent, however long ago it was written.
TEST_F(SerialOnPty, AHungUpLineAtTheEndFailsOnlyWhenTheLastCommandHadNotLeft)
{
    const struct {
        bool leftFirst;
        int waitAfterHangUp; // ms, the event loop running
    } cases[] = {{true, 0}, {false, 0}, {false, 1100}};
    for (const auto& c : cases) {
        PtyPair pty;
        m_table.link(kPort, pty.slavePath());
        SerialControl control;
        openAsStartUpDoes(control);
        QStringList notices;
        int free = 0;
        QObject::connect(&control, &SerialControl::lineGone,
                         [&](const QString& notice) { notices << notice; });
        QObject::connect(&control, &SerialControl::lineFree, [&] { ++free; });
        control.setOutput(QStringLiteral("AP1180\r"));
        if (c.leftFirst) {
            EXPECT_EQ(pty.read(7, 500ms), QByteArray("AP1180\r"));
            QThread::msleep(30);
            QCoreApplication::processEvents(); // the queue is looked at
        }
        pty.closeMaster();
        QTest::qWait(c.waitAfterHangUp);
        EXPECT_EQ(free, c.leftFirst ? 1 : 0);
        const auto error = ErrorPath::failureOf([&] { control.setPortOpen(false); });
        EXPECT_EQ(error.has_value(), !c.leftFirst) << c.waitAfterHangUp;
        EXPECT_EQ(notices.size(), c.leftFirst ? 1 : 0) << notices.join('|').toStdString();
        EXPECT_FALSE(control.isOpen());
    }
}

// Whether a write left, on a clock the test moves: 7 bytes take 15 ms at
// 4800 baud. "write N", "+ms", "queue N" (read), "queue failed", "no queue".
TEST(SentTracker, CountsAWriteSentOnlyOnceTheQueueSaysSoAfterItsTime)
{
    const struct {
        const char* name;
        QStringList events;
        bool sent;
    } cases[] = {
        {"empty after its time", {"write 7", "+15", "queue 0"}, true},
        {"empty before its time", {"write 7", "+14", "queue 0", "+10"}, false},
        {"a backlog", {"write 7", "write 7", "+15", "queue 0"}, false},
        {"a backlog after its time", {"write 7", "write 7", "+30", "queue 0"}, true},
        {"bytes still queued", {"write 7", "+15", "queue 3"}, false},
        {"queued bytes have gone", {"write 7", "+15", "queue 3", "+7", "queue 0"}, true},
        {"hung up", {"write 7", "+15", "queue failed", "+60000", "queue 0"}, false},
        {"no queue to ask, within the grace", {"write 7", "no queue", "+1014"}, false},
        {"no queue to ask, after the grace", {"write 7", "no queue", "+1015"}, true},
        {"nothing written", {"+1"}, true},
    };
    for (const auto& c : cases) {
        auto now = std::chrono::steady_clock::now();
        kestavo::platform::SentTracker tracker([&] { return now; });
        tracker.setByteTime(std::chrono::nanoseconds(2'083'334)); // 10 bits at 4800 baud
        for (const QString& event : c.events) {
            const QString value = event.section(u' ', -1);
            if (event.startsWith(u'+'))
                now += std::chrono::milliseconds(event.mid(1).toInt());
            else if (event.startsWith(u"write"))
                tracker.wrote(value.toInt());
            else if (event == u"queue failed")
                tracker.queueRead(std::nullopt);
            else if (event == u"no queue")
                tracker.queueUnknowable();
            else
                tracker.queueRead(value.toInt());
        }
        EXPECT_EQ(tracker.sent(), c.sent) << c.name;
        EXPECT_EQ(tracker.nextLook().has_value(), !c.sent && !c.events.contains("queue failed"))
            << c.name;
    }
}

TEST_F(SerialOnPty, AssignmentsThatNeedTheRightStateAreRefused)
{
    SerialControl control;
    EXPECT_EQ(failureOf([&] { control.setOutput(QStringLiteral("AP1\r")); }),
              ErrorNumber::PortNotOpen);
    openAsStartUpDoes(control);
    EXPECT_EQ(failureOf([&] { control.setCommPort(3); }), ErrorNumber::PortAlreadyOpen);
    EXPECT_EQ(failureOf([&] { control.setPortOpen(true); }), ErrorNumber::PortAlreadyOpen);
    EXPECT_EQ(failureOf([&] { control.setInputLen(-1); }), ErrorNumber::InvalidPropertyValue);
    EXPECT_EQ(failureOf([&] { control.setSettings(QStringLiteral("4800;n;8;1")); }),
              ErrorNumber::InvalidSettings);
    EXPECT_TRUE(m_lastDescription.contains(QStringLiteral("4800;n;8;1")));
    // A rejected assignment leaves the line as it was.
    EXPECT_EQ(::cfgetospeed(&static_cast<const termios&>(lineSettings())),
              static_cast<speed_t>(B4800));
}

struct NoDeviceCase {
    std::int16_t number;
    ErrorNumber error;
    const char* mentions;
};

void PrintTo(const NoDeviceCase& c, std::ostream* os)
{
    *os << "port " << c.number;
}

class SerialWithoutDevice : public ::testing::TestWithParam<NoDeviceCase>
{
};

TEST_P(SerialWithoutDevice, OpenFailsSayingWhy)
{
    PortTable table;
    table.link(50, QStringLiteral("/dev/kestavo-no-such-device"));
    SerialControl control;
    control.setCommPort(GetParam().number);
    const auto error = raised([&] { control.setPortOpen(true); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->number(), GetParam().error);
    const QString description = error->description();
    EXPECT_TRUE(description.contains(QStringLiteral("port %1").arg(GetParam().number)) ||
                description.contains(QStringLiteral("number %1").arg(GetParam().number)))
        << description.toStdString();
    EXPECT_TRUE(description.contains(QString::fromLatin1(GetParam().mentions)))
        << description.toStdString();
    EXPECT_FALSE(control.isOpen());
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, SerialWithoutDevice,
    ::testing::Values(NoDeviceCase{0, ErrorNumber::InvalidPortNumber, "33-64"},
                      NoDeviceCase{-5, ErrorNumber::InvalidPortNumber, "COM<n>"},
                      NoDeviceCase{97, ErrorNumber::InvalidPortNumber, "COM97"},
                      NoDeviceCase{50, ErrorNumber::DeviceNotFound, "no such device"}));

} // namespace

namespace
{

struct NamingCase {
    const char* name;
    std::int16_t number;
    ErrorNumber error;
};

class NoDeviceNamesThoseThatExist : public ::testing::TestWithParam<NamingCase>
{
};

TEST_P(NoDeviceNamesThoseThatExist, OrSaysNoneWereFound)
{
    PtyPair rotor;
    PortTable table;
    table.link(50, QStringLiteral("/dev/kestavo-no-such-device"));
    const auto failure = [&] {
        SerialControl control;
        control.setCommPort(GetParam().number);
        const auto error = raised([&] { control.setPortOpen(true); });
        EXPECT_TRUE(error && error->number() == GetParam().error);
        return error ? error->description() : QString();
    };

    {
        const FakeSystemPorts none;
        const QString description = failure();
        EXPECT_TRUE(description.contains(QStringLiteral("No serial ports were found")))
            << description.toStdString();
        EXPECT_GE(none.queries(), 1);
    }
    table.link(42, rotor.slavePath());
    const FakeSystemPorts system(
        {{QStringLiteral("/dev/ttyACM0"), QStringLiteral("Rotor box"), {}, {}, {}}});
    const QString description = failure();
    EXPECT_TRUE(description.contains(
        QStringLiteral("Numbers with a device here: 42 (%1), 65 (/dev/ttyACM0).")
            .arg(rotor.slavePath())))
        << description.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Errors, NoDeviceNamesThoseThatExist,
    ::testing::Values(NamingCase{"beyond the numbering", 97, ErrorNumber::InvalidPortNumber},
                      NamingCase{"zero", 0, ErrorNumber::InvalidPortNumber},
                      NamingCase{"missing table target", 50, ErrorNumber::DeviceNotFound}),
    [](const auto& test) {
        QString name = QString::fromLatin1(test.param.name);
        return name.replace(u' ', u'_').toStdString();
    });

} // namespace
