// SPDX-License-Identifier: GPL-3.0-or-later
// The real program's command line, with no display at all.
#include "support/testsupport.h"

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace kestavo::test;

namespace
{

struct ProgramRun {
    int status = -1;
    QString out;
    QString err;
};

// brokenPipe: standard error goes into a pipe whose reader is gone.
[[nodiscard]] ProgramRun runWithoutDisplay(const QStringList& arguments, bool brokenPipe = false)
{
    QProcess kestavo;
    int gone[2] = {-1, -1};
    if (brokenPipe) {
        EXPECT_EQ(::pipe(gone), 0);
        ::close(gone[0]);
        kestavo.setChildProcessModifier([&gone] { ::dup2(gone[1], 2); });
    }
    kestavo.setProcessEnvironment(programEnvironment());
    startProgram(kestavo, testedProgram(QStringLiteral(KESTAVO_BINARY)), arguments);
    EXPECT_TRUE(kestavo.waitForFinished(10000)) << "kestavo did not end";
    if (brokenPipe)
        ::close(gone[1]);
    ProgramRun run;
    if (kestavo.exitStatus() == QProcess::NormalExit)
        run.status = kestavo.exitCode();
    run.out = QString::fromLocal8Bit(kestavo.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(kestavo.readAllStandardError());
    return run;
}

TEST(ListPortsProgram, ShowsATableEntryWithItsDeviceWithoutADisplay)
{
    PtyPair rotor;
    PortTable table; // XDG_CONFIG_HOME for the program too
    table.link(42, rotor.slavePath());
    const ProgramRun run = runWithoutDisplay({QStringLiteral("--list-ports")});
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    const QRegularExpression line(QStringLiteral("^ *42  %1 +port table entry COM42$")
                                      .arg(QRegularExpression::escape(rotor.slavePath())),
                                  QRegularExpression::MultilineOption);
    EXPECT_TRUE(line.match(run.out).hasMatch()) << run.out.toStdString();
    EXPECT_TRUE(run.out.startsWith(QStringLiteral("Port  Device"))) << run.out.toStdString();
    EXPECT_TRUE(run.out.endsWith(QStringLiteral("Port table: %1\n").arg(table.directory())));
}

// Qt's own options go first, so those rows also show that they are taken;
// with none, no display is reached before the mistake is named.
TEST(CommandLineProgram, AnUnknownOptionEndsWithItsNameAndTheUsage)
{
    const std::pair<QStringList, QString> rows[] = {
        {{"-platform", "offscreen", "--listne", "4533"}, "--listne"},
        {{"-platform", "offscreen", "--listen", "4533", "--read-back", "-x"}, "-x"},
        {{"--bogus"}, "--bogus"},
    };
    for (const auto& [arguments, unknown] : rows) {
        const ProgramRun run = runWithoutDisplay(arguments);
        EXPECT_EQ(run.status, 2) << run.err.toStdString();
        EXPECT_TRUE(
            run.err.contains(QStringLiteral("kestavo: unknown option %1\nUsage: ").arg(unknown)))
            << run.err.toStdString();
    }
    // Told to a reader that is gone: no SIGPIPE ends it before it ends itself.
    EXPECT_EQ(runWithoutDisplay(rows[0].first, true).status, 2);
}

} // namespace
