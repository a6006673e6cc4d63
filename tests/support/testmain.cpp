// SPDX-License-Identifier: GPL-3.0-or-later
// Test runner: a QApplication on the offscreen platform, so widget and
// dialog tests need no display.
#include <QApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fnmatch.h>
#include <string>

namespace
{

#ifdef KESTAVO_EMULATOR_SKIPS
// Whether a test's full name matches one of gtest's ':'-separated patterns.
bool matchesAny(const std::string& patterns, const std::string& name)
{
    for (std::string::size_type start = 0;;) {
        const std::string::size_type end = patterns.find(':', start);
        if (::fnmatch(patterns.substr(start, end - start).c_str(), name.c_str(), 0) == 0)
            return true;
        if (end == std::string::npos)
            return false;
        start = end + 1;
    }
}

// A cross build's tests run under qemu-user, which cannot run them all. The
// ones listed in KESTAVO_EMULATOR_SKIPS ("pattern reason" lines) are left
// out of the run, and each one the run would have had is named as skipped,
// with the reason.
void skipWhatTheEmulatorCannotRun()
{
    QFile list(QStringLiteral(KESTAVO_EMULATOR_SKIPS));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "cannot read %s\n", KESTAVO_EMULATOR_SKIPS);
        std::exit(1);
    }
    const std::string filter = GTEST_FLAG_GET(filter);
    const std::string::size_type dash = filter.find('-');
    const std::string wanted = dash == 0 ? "*" : filter.substr(0, dash);
    const std::string unwanted = dash == std::string::npos ? "" : filter.substr(dash + 1);
    const ::testing::UnitTest& tests = *::testing::UnitTest::GetInstance();
    std::string skipped;
    for (const QByteArray& raw : list.readAll().split('\n')) {
        const QByteArray line = raw.simplified();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype blank = line.indexOf(' ');
        const std::string pattern = line.left(blank).toStdString();
        const QByteArray reason = blank < 0 ? QByteArray("(no reason given)") : line.mid(blank + 1);
        for (int suite = 0; suite < tests.total_test_suite_count(); ++suite) {
            const ::testing::TestSuite& cases = *tests.GetTestSuite(suite);
            for (int i = 0; i < cases.total_test_count(); ++i) {
                const std::string name =
                    std::string(cases.name()) + '.' + cases.GetTestInfo(i)->name();
                if (matchesAny(pattern, name) && matchesAny(wanted, name) &&
                    (unwanted.empty() || !matchesAny(unwanted, name)))
                    std::printf("[  SKIPPED ] %s under qemu-user: %s\n", name.c_str(),
                                reason.constData());
            }
        }
        skipped += (skipped.empty() ? "" : ":") + pattern;
    }
    if (!skipped.empty())
        GTEST_FLAG_SET(filter, filter + (dash == std::string::npos ? "-" : ":") + skipped);
}
#endif

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
#ifdef KESTAVO_EMULATOR_SKIPS
    if (!GTEST_FLAG_GET(list_tests))
        skipWhatTheEmulatorCannotRun();
#endif
    return RUN_ALL_TESTS();
}
