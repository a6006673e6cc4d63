// SPDX-License-Identifier: GPL-3.0-or-later
// Test runner: a QApplication on the offscreen platform, so widget and
// dialog tests need no display.
#include <QApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fnmatch.h>

namespace
{

#ifdef KESTAVO_EMULATOR_SKIPS
// A cross build's tests run under qemu-user, which cannot run them all. The
// ones listed in KESTAVO_EMULATOR_SKIPS ("pattern reason" lines) end as
// skipped, with the reason; the return value is true when the one test
// that ctest asked for (by --gtest_filter) is one of them.
bool skipWhatTheEmulatorCannotRun()
{
    QFile list(QStringLiteral(KESTAVO_EMULATOR_SKIPS));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "cannot read %s\n", KESTAVO_EMULATOR_SKIPS);
        std::exit(1);
    }
    const std::string filter = GTEST_FLAG_GET(filter);
    std::string skipped;
    for (const QByteArray& raw : list.readAll().split('\n')) {
        const QByteArray line = raw.simplified();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype blank = line.indexOf(' ');
        const QByteArray pattern = line.left(blank);
        const QByteArray reason = blank < 0 ? QByteArray("(no reason given)") : line.mid(blank + 1);
        if (::fnmatch(pattern.constData(), filter.c_str(), 0) == 0) {
            std::printf("[  SKIPPED ] %s under qemu-user: %s\n", filter.c_str(),
                        reason.constData());
            return true;
        }
        std::printf("skipped under qemu-user: %s: %s\n", pattern.constData(), reason.constData());
        skipped += (skipped.empty() ? "" : ":") + pattern.toStdString();
    }
    if (!skipped.empty())
        GTEST_FLAG_SET(filter,
                       filter + (filter.find('-') == std::string::npos ? "-" : ":") + skipped);
    return false;
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
    if (!GTEST_FLAG_GET(list_tests) && skipWhatTheEmulatorCannotRun())
        return 0;
#endif
    return RUN_ALL_TESTS();
}
