// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/host/files.h"
#include "platform/host/ports.h"
#include "platform/porttable.h"
#include "platform/serialcontrol.h"

#include "support/cases.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <ostream>
#include <unistd.h>

using kestavo::platform::deviceForPort;
using kestavo::platform::ErrorNumber;
using kestavo::platform::portTableNumbers;
using kestavo::platform::SerialControl;
using kestavo::platform::host::builtInPortNumber;
using kestavo::platform::host::portTableDirectory;
using namespace kestavo::test;

namespace
{

using kestavo::test::PrintTo;

struct NumberCase {
    int number;
    const char* device; // "" for none
};

void PrintTo(const NumberCase& c, std::ostream* os)
{
    *os << "port " << c.number;
}

class BuiltInNumbering : public ::testing::TestWithParam<NumberCase>
{
};

TEST_P(BuiltInNumbering, MapsNumbersToDevices)
{
    PortTable emptyTable;
    const auto mapped = deviceForPort(static_cast<std::int16_t>(GetParam().number));
    EXPECT_EQ(mapped.device, QString::fromLatin1(GetParam().device)) << GetParam().number;
}

INSTANTIATE_TEST_SUITE_P(
    Table, BuiltInNumbering,
    ::testing::Values(NumberCase{1, "/dev/ttyS0"}, NumberCase{3, "/dev/ttyS2"},
                      NumberCase{32, "/dev/ttyS31"}, NumberCase{33, "/dev/ttyUSB0"},
                      NumberCase{64, "/dev/ttyUSB31"}, NumberCase{65, "/dev/ttyACM0"},
                      NumberCase{96, "/dev/ttyACM31"}, NumberCase{97, ""}, NumberCase{0, ""},
                      NumberCase{-1, ""}, NumberCase{-32768, ""}, NumberCase{32767, ""}));

TEST(BuiltInNumbering, DeviceNamesLeadBackToTheirNumbers)
{
    PortTable emptyTable;
    for (int number = 1; number <= 96; ++number) {
        const QString device = deviceForPort(static_cast<std::int16_t>(number)).device;
        EXPECT_EQ(builtInPortNumber(device), std::optional<std::int16_t>(number))
            << device.toStdString();
    }
    for (const char* device :
         {"/dev/ttyS32", "/dev/ttyUSB032", "/dev/ttyUSB-1", "/dev/ttyUSB", "/dev/ttyUSB1x",
          "/dev/pts/3", "/dev/ttyAMA0", "ttyS0", "/dev/ttyS+1"})
        EXPECT_EQ(builtInPortNumber(QString::fromLatin1(device)), std::nullopt) << device;
}

TEST(PortTable, NumbersAreTheEntriesDeviceForPortWouldRead)
{
    PortTable table;
    table.link(42, QStringLiteral("/dev/kestavo-dangling"));
    table.writeEntry(7, "/dev/ttyS0\n");
    table.writeEntry(32767, "/dev/ttyS0\n");
    table.link(100, QStringLiteral("/dev/null"));
    // Names deviceForPort never looks up, and a directory it passes over.
    for (const char* name : {"COM007", "COM0", "COM-3", "COM32768", "COMx", "COM 9", "notes"})
        writeFileBytes(table.directory() + u'/' + QLatin1StringView(name), "/dev/ttyS0\n");
    ASSERT_TRUE(QDir(table.directory()).mkdir(QStringLiteral("COM8")));

    EXPECT_EQ(portTableNumbers(), (QList<std::int16_t>{7, 42, 100, 32767}));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(table.directory() + QStringLiteral("/none")));
    EXPECT_TRUE(portTableNumbers().isEmpty()) << "a missing table has no entries";
}

TEST(PortTable, EntriesComeBeforeTheBuiltInNumbering)
{
    PortTable table;
    table.link(3, QStringLiteral("/dev/null"));
    table.writeEntry(99, "/dev/serial/by-id/usb-rotor-if00\n");
    table.writeEntry(5, "  \n");

    EXPECT_EQ(deviceForPort(3).device, QStringLiteral("/dev/null"));
    EXPECT_TRUE(deviceForPort(3).origin.contains(QStringLiteral("COM3")));
    EXPECT_EQ(deviceForPort(99).device, QStringLiteral("/dev/serial/by-id/usb-rotor-if00"));
    EXPECT_EQ(deviceForPort(5).device, QString()) << "an empty entry names no device";
    EXPECT_TRUE(deviceForPort(5).origin.contains(QStringLiteral("empty")));
    EXPECT_EQ(deviceForPort(4).device, QStringLiteral("/dev/ttyS3"));
}

TEST(PortTable, RelativeLinksResolveFromTheTable)
{
    PortTable table;
    table.link(7, QStringLiteral("../elsewhere/device"));
    EXPECT_EQ(deviceForPort(7).device,
              QDir::cleanPath(table.directory() + QStringLiteral("/../elsewhere/device")));
}

TEST(PortTable, FallsBackToHomeConfigWithoutXdgConfigHome)
{
    PortTable table; // restores XDG_CONFIG_HOME afterwards
    for (const char* value : {"", "relative/dir"}) {
        qputenv("XDG_CONFIG_HOME", value);
        EXPECT_EQ(portTableDirectory(), QDir::homePath() + QStringLiteral("/.config/kestavo/ports"))
            << '"' << value << '"';
    }
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(portTableDirectory(), QDir::homePath() + QStringLiteral("/.config/kestavo/ports"));
}

struct RefusedEntry {
    const char* name;
    QByteArray content; // a file's content, or a link's target
    bool isLink;
    const char* shown; // what the report quotes of it
};

// Lock files the serial library leaves, except those of pseudo-terminals,
// which tests running alongside may hold.
[[nodiscard]] QStringList strayLockFiles()
{
    static const QRegularExpression pty(QStringLiteral("^LCK\\.\\.pts_[0-9]+$"));
    QStringList found;
    for (const QString& name : QDir(QStringLiteral("/run/lock")).entryList(QDir::Files)) {
        if (!pty.match(name).hasMatch())
            found << name;
    }
    return found;
}

class RefusedPortTableEntry : public ::testing::TestWithParam<RefusedEntry>
{
};

TEST_P(RefusedPortTableEntry, IsInvalidPortNumberBeforeAnythingIsOpenedOrLocked)
{
    const RefusedEntry& c = GetParam();
    PortTable table;
    if (c.isLink)
        ASSERT_EQ(::symlink(c.content.constData(),
                            QFile::encodeName(table.directory() + QStringLiteral("/COM6"))),
                  0);
    else
        table.writeEntry(6, c.content);
    const QStringList locksBefore = strayLockFiles();

    const auto mapped = deviceForPort(6);
    EXPECT_EQ(mapped.device, QString()) << c.name;
    EXPECT_TRUE(mapped.origin.contains(table.directory() + QStringLiteral("/COM6")))
        << mapped.origin.toStdString();
    EXPECT_TRUE(mapped.origin.contains(QString::fromUtf8(c.shown))) << mapped.origin.toStdString();

    SerialControl comm1;
    comm1.setCommPort(6);
    const auto error = raised([&] { comm1.setPortOpen(true); });
    ASSERT_TRUE(error) << c.name;
    EXPECT_EQ(error->number(), ErrorNumber::InvalidPortNumber)
        << error->description().toStdString();
    EXPECT_TRUE(error->description().contains(QString::fromUtf8(c.shown)));
    EXPECT_EQ(strayLockFiles(), locksBefore) << c.name << " left a lock file";
}

INSTANTIATE_TEST_SUITE_P(
    Entries, RefusedPortTableEntry,
    ::testing::Values(
        RefusedEntry{"empty file", "", false, "which is empty"},
        RefusedEntry{"blank line", " \t \r\n/dev/ttyS0\n", false, "which is empty"},
        RefusedEntry{"binary bytes", QByteArray("\x01\x02\x1b[2J\xff\xfe/dev\0x\n", 14), false,
                     "\\x01\\x02\\x1b[2J\u00ff\u00fe/dev\\x00x\", not text in the system's "
                     "encoding"},
        RefusedEntry{"NUL inside", QByteArray("/dev/tty\0S0\n", 12), false,
                     "\"/dev/tty\\x00S0\", with control characters"},
        RefusedEntry{"escape sequence", "/dev/\x1b[2JttyS0\n", false,
                     "\"/dev/\\x1b[2JttyS0\", with control characters"},
        RefusedEntry{"C1 control", "/dev/tty\xc2\x9bS0\n", false, "/dev/tty\\x9bS0"},
        RefusedEntry{"relative path", "ttyUSB0\n", false, "\"ttyUSB0\", not a path from /"},
        RefusedEntry{"longer than any path", "/" + QByteArray(5000, 'a'), false,
                     "longer than any path"},
        RefusedEntry{"link to a name with BEL", "/dev/\atty", true,
                     "\"/dev/\\x07tty\", with control characters"},
        RefusedEntry{"link to bytes that are no text", "/dev/tty\xff", true,
                     "not text in the system's encoding"}));

TEST(PortTable, AFileEntryEndingInCrLfNamesItsDevice)
{
    PortTable table;
    table.writeEntry(12, "  /dev/null\r\nsecond line is ignored\x1b\n");
    EXPECT_EQ(deviceForPort(12).device, QStringLiteral("/dev/null"));
}

} // namespace
