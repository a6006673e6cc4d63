// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/errorpath.h"
#include "platform/runtime.h"
#include "platform/runtimeerror.h"

#include "support/cases.h"
#include "support/fakes.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>

using kestavo::platform::ErrorNumber;
using kestavo::platform::ErrorPath;
using kestavo::platform::RunTime;
using kestavo::platform::RuntimeError;
using namespace kestavo::test;
using namespace std::chrono_literals;

namespace
{

using kestavo::test::PrintTo;

class RunTimeTest : public ::testing::Test
{
protected:
    RunTimeTest() : m_log(std::tmpfile()), m_errors(m_dialogs, m_log), m_runTime(m_errors) {}
    ~RunTimeTest() override { std::fclose(m_log); }

    // Runs start, then posts each event handler to the loop in turn.
    [[nodiscard]] int runWith(const std::function<void()>& start,
                              const std::vector<std::function<void()>>& handlers)
    {
        return runUntilEnd(m_runTime, 5s, [&] {
            start();
            for (const auto& handler : handlers)
                QTimer::singleShot(0, &m_runTime, [this, handler] { m_runTime.handle(handler); });
        });
    }

    static RuntimeError error(ErrorNumber number)
    {
        return RuntimeError(number, QStringLiteral("Cannot send to port 3."));
    }

    ScriptedDialogs m_dialogs;
    std::FILE* m_log;
    ErrorPath m_errors;
    RunTime m_runTime;
    QStringList m_ran;
};

TEST_F(RunTimeTest, AFailingStartEndsWithStatusOneBeforeTheLoop)
{
    bool looped = false;
    QTimer::singleShot(0, [&] { looped = true; });
    const int status = m_runTime.run([] { throw error(ErrorNumber::PortInUse); });
    EXPECT_EQ(status, 1);
    EXPECT_EQ(m_dialogs.errorBoxes(),
              QStringList{QStringLiteral("Run-time error 304:\n\nCannot send to port 3.")});
    EXPECT_FALSE(looped);
    QCoreApplication::processEvents(); // let the stray timer go
}

TEST_F(RunTimeTest, EndingRunsTheEndStepsAndLetsNoFurtherHandlerRun)
{
    m_runTime.atEnd([this] { m_ran << "drain"; });
    const int status = runWith([] {}, {
                                          [this] { m_ran << "GO"; },
                                          [this] {
                                              m_runTime.end();
                                              m_runTime.handle([this] { m_ran << "GO after X"; });
                                          },
                                      });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m_ran, (QStringList{"GO", "drain"}));
    EXPECT_TRUE(m_dialogs.errorBoxes().isEmpty());
}

TEST_F(RunTimeTest, AFailingHandlerEndsWithStatusOneAndSkipsTheEndSteps)
{
    m_runTime.atEnd([this] { m_ran << "drain"; });
    const int status = runWith([] {}, {
                                          [] { throw error(ErrorNumber::WriteFailed); },
                                          [this] { m_ran << "GO after the failure"; },
                                      });
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(m_ran.isEmpty());
    ASSERT_EQ(m_dialogs.errorBoxes().size(), 1);
    EXPECT_TRUE(m_dialogs.errorBoxes().front().startsWith("Run-time error 312:"));
}

TEST_F(RunTimeTest, AnEndStepThatFailsTurnsTheEndIntoAFailure)
{
    m_runTime.atEnd([] { throw error(ErrorNumber::WriteFailed); });
    m_runTime.atEnd([this] { m_ran << "later step"; });
    const int status = runWith([] {}, {[this] { m_runTime.end(); }});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(m_dialogs.errorBoxes().size(), 1);
    EXPECT_TRUE(m_ran.isEmpty());
}

TEST_F(RunTimeTest, FailuresAndEndsWhileTheErrorBoxIsUpAreIgnored)
{
    m_dialogs.whileErrorShown = [this] {
        m_runTime.fail(error(ErrorNumber::PortInUse));
        m_runTime.end();
        m_runTime.handle([this] { m_ran << "handler under the box"; });
    };
    const int status =
        runWith([] {}, {[this] { m_runTime.fail(error(ErrorNumber::WriteFailed)); }});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(m_dialogs.errorBoxes().size(), 1);
    EXPECT_TRUE(m_ran.isEmpty());
}

TEST_F(RunTimeTest, AQuitFromOutsideStillRunsTheEndSteps)
{
    m_runTime.atEnd([this] { m_ran << "drain"; });
    const int status = runWith([] {}, {[] { QCoreApplication::quit(); }});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m_ran, QStringList{"drain"});
}

class RunTimeSignalTest : public RunTimeTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(RunTimeSignalTest, ASignalOnceRunningEndsLikeX)
{
    m_runTime.atEnd([this] { m_ran << "drain"; });
    const int status = runWith([] {}, {[] { ::raise(GetParam()); }});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m_ran, QStringList{"drain"});
}

INSTANTIATE_TEST_SUITE_P(Signals, RunTimeSignalTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP),
                         [](const auto& test) { return std::string(sigabbrev_np(test.param)); });

// A log-out or a stop must not wait on the box until SIGKILL.
TEST_F(RunTimeTest, ASignalUnderAnErrorBoxEndsAtOnceWithStatusOne)
{
    int box = -1;
    m_dialogs.whileErrorShown = [&box] {
        QEventLoop loop; // as a real box runs one
        QTimer::singleShot(0, &loop, [] { ::raise(SIGTERM); });
        QTimer::singleShot(3000, &loop, [&loop] { loop.exit(99); });
        box = loop.exec();
    };
    const int status =
        runWith([] {}, {[this] { m_runTime.fail(error(ErrorNumber::WriteFailed)); }});
    EXPECT_EQ(box, 1) << "the box stayed up";
    EXPECT_EQ(status, 1);
}

TEST_F(RunTimeTest, ClosingTheLastWindowEndsLikeX)
{
    QWidget window;
    m_runTime.atEnd([this] { m_ran << "drain"; });
    const int status = runWith([&] { window.show(); }, {[&] { window.close(); }});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m_ran, QStringList{"drain"});
}

// Every way out gives the port back, and before any box, so a next start
// finds it free even while the box is up.
struct WayOut {
    const char* name;
    int status;
    std::function<void(RunTime&)> leave;
};

class RunTimeWayOut : public RunTimeTest, public ::testing::WithParamInterface<WayOut>
{
};

TEST_P(RunTimeWayOut, ReleasesBeforeAnyBoxAndAfterTheEndSteps)
{
    m_dialogs.whileErrorShown = [this] { m_ran << "box"; };
    m_runTime.atEnd([this] { m_ran << "drain"; });
    m_runTime.atRelease([this] { m_ran << "release"; });
    const int status = runWith([] {}, {[this] { GetParam().leave(m_runTime); }});
    EXPECT_EQ(status, GetParam().status);
    EXPECT_TRUE(m_ran.contains(QStringLiteral("release"))) << m_ran.join(u',').toStdString();
    if (m_ran.contains(QStringLiteral("box"))) {
        EXPECT_LT(m_ran.indexOf(QStringLiteral("release")), m_ran.indexOf(QStringLiteral("box")));
    }
    if (m_ran.contains(QStringLiteral("drain"))) {
        EXPECT_LT(m_ran.indexOf(QStringLiteral("drain")), m_ran.indexOf(QStringLiteral("release")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ways, RunTimeWayOut,
    ::testing::Values(WayOut{"X", 0, [](RunTime& runTime) { runTime.end(); }},
                      WayOut{"a failing handler", 1,
                             [](RunTime& runTime) {
                                 runTime.handle([] {
                                     throw RuntimeError(ErrorNumber::WriteFailed,
                                                        QStringLiteral("gone"));
                                 });
                             }},
                      WayOut{"a failing end step", 1,
                             [](RunTime& runTime) {
                                 runTime.atEnd([] {
                                     throw RuntimeError(ErrorNumber::WriteFailed,
                                                        QStringLiteral("gone"));
                                 });
                                 runTime.end();
                             }},
                      WayOut{"a signal", 0, [](RunTime&) { ::raise(SIGTERM); }}),
    [](const auto& test) {
        std::string name = test.param.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST_F(RunTimeTest, AReleaseStepRunsEvenAfterAnotherFailed)
{
    m_runTime.atRelease([] { throw error(ErrorNumber::Internal); });
    m_runTime.atRelease([this] { m_ran << "release"; });
    const int status = runWith([] {}, {[this] { m_runTime.end(); }});
    EXPECT_EQ(status, 1) << "a release that fails is reported";
    EXPECT_EQ(m_ran, QStringList{"release"});
}

// The display went away: the end steps still run, the port is given back,
// and the one report goes to standard error only, saying what was lost.
struct LostDisplayCase {
    const char* name;
    std::function<void()> drain;
    bool failedBefore; // an error box was up already
    const char* says;
};

class RunTimeLostDisplay : public RunTimeTest, public ::testing::WithParamInterface<LostDisplayCase>
{
};

TEST_P(RunTimeLostDisplay, EndsInOrderWithOneLineAndNoBox)
{
    const LostDisplayCase& c = GetParam();
    m_runTime.atEnd([this, &c] {
        m_ran << "drain";
        c.drain();
    });
    m_runTime.atRelease([this] { m_ran << "release"; });
    int status = -1;
    if (c.failedBefore) {
        m_dialogs.whileErrorShown = [this, &status] {
            status = m_runTime.displayLost(QStringLiteral("The display :5 went away"));
        };
        (void)runWith([] {}, {[this] { m_runTime.fail(error(ErrorNumber::WriteFailed)); }});
    } else {
        status = m_runTime.displayLost(QStringLiteral("The display :5 went away"));
        EXPECT_TRUE(m_dialogs.errorBoxes().isEmpty());
    }
    EXPECT_EQ(status, 1);
    EXPECT_EQ(m_ran.count(QStringLiteral("drain")), c.failedBefore ? 0 : 1);
    EXPECT_TRUE(m_ran.endsWith(QStringLiteral("release")));
    EXPECT_EQ(m_ran.count(QStringLiteral("release")), 1);

    const QList<QByteArray> lines = kestavo::test::streamBytes(m_log).split('\n');
    const QByteArray last = lines.size() >= 2 ? lines[lines.size() - 2] : QByteArray();
    EXPECT_TRUE(last.startsWith("kestavo: run-time error 401: The display :5 went away"))
        << last.toStdString();
    EXPECT_TRUE(last.contains(c.says)) << last.toStdString();
    EXPECT_TRUE(last.contains("the port was released")) << last.toStdString();

    m_runTime.end();
    m_runTime.handle([this] { m_ran << "handler after"; });
    EXPECT_FALSE(m_ran.contains(QStringLiteral("handler after")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RunTimeLostDisplay,
    ::testing::Values(
        LostDisplayCase{"everything sent", [] {}, false, "Nothing was lost"},
        LostDisplayCase{"the drain fails",
                        [] {
                            throw RuntimeError(ErrorNumber::WriteFailed,
                                               QStringLiteral("Cannot send the last 7 bytes."));
                        },
                        false, "Not everything was sent: Cannot send the last 7 bytes."},
        LostDisplayCase{"under an error box", [] {}, true, "Kestavo was already ending"}));

} // namespace
