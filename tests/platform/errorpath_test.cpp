// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/errorpath.h"
#include "platform/runtimeerror.h"

#include "support/fakes.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

using kestavo::platform::ErrorNumber;
using kestavo::platform::ErrorPath;
using kestavo::platform::RuntimeError;
using kestavo::test::ScriptedDialogs;

namespace
{

struct Outcome {
    int status;
    QByteArray log;
    QStringList boxes;
};

// What a step's failure, if any, makes the error path do.
[[nodiscard]] Outcome runThrough(const std::function<void()>& step)
{
    ScriptedDialogs dialogs;
    std::FILE* stream = std::tmpfile();
    EXPECT_NE(stream, nullptr);
    ErrorPath path(dialogs, stream);
    const std::optional<RuntimeError> failure = ErrorPath::failureOf(step);
    const int status = failure ? path.report(*failure) : 0;
    Outcome outcome{status, kestavo::test::streamBytes(stream), dialogs.shown};
    std::fclose(stream);
    return outcome;
}

TEST(ErrorPath, ReportsARunTimeErrorInTheBoxAndOnOneLineThenFails)
{
    const Outcome outcome = runThrough([] {
        throw RuntimeError(ErrorNumber::PortInUse,
                           QStringLiteral("Cannot open port 3.\nClose it."));
    });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.log,
              QByteArray("kestavo: run-time error 304: Cannot open port 3. Close it.\n"));
    EXPECT_EQ(outcome.boxes, QStringList{QStringLiteral(
                                 "error:Run-time error 304:\n\nCannot open port 3.\nClose it.")});
}

TEST(ErrorPath, AStepThatThrowsNothingIsNoFailure)
{
    const Outcome outcome = runThrough([] {});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_TRUE(outcome.log.isEmpty());
    EXPECT_TRUE(outcome.boxes.isEmpty());
}

TEST(ErrorPath, AnyOtherExceptionIsReportedAsInternal)
{
    const Outcome outcome = runThrough([] { throw std::runtime_error("boom"); });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.log.startsWith("kestavo: run-time error 999: Internal error: boom"));
    ASSERT_EQ(outcome.boxes.size(), 1);
}

} // namespace
