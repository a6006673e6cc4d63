#include "platform/errorpath.h"
#include "platform/runtime.h"
#include "platform/runtimeerror.h"

#include "support/fakes.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>

using kestavo::platform::ErrorNumber;
using kestavo::platform::ErrorPath;
using kestavo::platform::RunTime;
using kestavo::platform::RuntimeError;
using namespace kestavo::test;
using namespace std::chrono_literals;

namespace
{

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

TEST_F(RunTimeTest, ClosingTheLastWindowEndsLikeX)
{
    QWidget window;
    m_runTime.atEnd([this] { m_ran << "drain"; });
    const int status = runWith([&] { window.show(); }, {[&] { window.close(); }});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(m_ran, QStringList{"drain"});
}

} // namespace
