// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/constants.h"
#include "platform/portlist.h"

#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <ostream>

using kestavo::platform::ListedPort;
using kestavo::platform::listPorts;
using kestavo::platform::host::SystemPort;
using namespace kestavo::test;

namespace
{

struct Expected {
    int number;
    QString device;
    bool fromTable;
    bool present;
    QString description;
};

TEST(ListPorts, TableEntriesTakeTheirNumbersOverAndEachNumberComesOnceInOrder)
{
    PtyPair usbStandIn;
    PtyPair rotor;
    PortTable table;
    table.link(33, usbStandIn.slavePath()); // takes 33 over from /dev/ttyUSB0
    table.link(42, rotor.slavePath());
    table.link(7, QStringLiteral("/dev/kestavo-no-such-device"));
    table.writeEntry(5, "\n");
    FakeSystemPorts system({
        {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"), QStringLiteral("FTDI"),
         QStringLiteral("A1B2C3"), QStringLiteral("/dev/serial/by-id/usb-FTDI-if00")},
        {QStringLiteral("/dev/ttyACM1"), QStringLiteral("Rotor box"), {}, {}, {}},
        {QStringLiteral("/dev/ttyS0"), {}, {}, {}, {}},
        {QStringLiteral("/dev/rfcomm0"), QStringLiteral("Bluetooth"), {}, {}, {}},
        // What the system knows of a device follows it into the table.
        {rotor.slavePath(), QStringLiteral("Rotor interface"), {}, {}, {}},
    });

    const QList<ListedPort> ports = listPorts();
    const QList<Expected> expected{
        {1, QStringLiteral("/dev/ttyS0"), false, true, {}},
        {5, {}, true, false, {}},
        {7, QStringLiteral("/dev/kestavo-no-such-device"), true, false, {}},
        {33, usbStandIn.slavePath(), true, true, {}},
        {42, rotor.slavePath(), true, true, QStringLiteral("Rotor interface")},
        {66, QStringLiteral("/dev/ttyACM1"), false, true, QStringLiteral("Rotor box")},
    };
    ASSERT_EQ(ports.size(), expected.size());
    for (qsizetype i = 0; i < ports.size(); ++i) {
        SCOPED_TRACE(expected[i].number);
        EXPECT_EQ(ports[i].number, expected[i].number);
        EXPECT_EQ(ports[i].device, expected[i].device);
        EXPECT_EQ(ports[i].fromTable, expected[i].fromTable);
        EXPECT_EQ(ports[i].present, expected[i].present);
        EXPECT_EQ(ports[i].description, expected[i].description);
    }
    EXPECT_EQ(system.queries(), 1);
}

[[nodiscard]] ListedPort port(int number, const char* device, bool fromTable, bool present,
                              const char* description = "")
{
    ListedPort listed;
    listed.number = static_cast<std::int16_t>(number);
    listed.device = QString::fromUtf8(device);
    listed.fromTable = fromTable;
    listed.present = present;
    listed.description = QString::fromUtf8(description);
    return listed;
}

TEST(PortListingText, AlignsNumberDeviceAndWhatItIsAndShowsControlCharacters)
{
    PortTable table;
    ListedPort usb = port(33, "/dev/ttyUSB0", false, true, "FT232R USB UART");
    usb.manufacturer = QStringLiteral("FTDI");
    usb.serialNumber = QStringLiteral("A1\x1b[2J");
    usb.stableName = QStringLiteral("/dev/serial/by-id/usb-FTDI-if00");
    const QString text = kestavo::platform::portListingText({
        port(1, "/dev/ttyS0", false, true),
        port(5, "", true, false),
        usb,
        port(42, "/dev/pts/3", true, true),
        port(420, "/dev/gone", true, false),
    });
    const QString expected =
        QStringLiteral("Port  Device        What it is\n"
                       "   1  /dev/ttyS0    serial port\n"
                       "   5  -             port table entry COM5, which names no device\n"
                       "  33  /dev/ttyUSB0  FT232R USB UART, FTDI, serial number A1\\x1b[2J\n"
                       "                    /dev/serial/by-id/usb-FTDI-if00\n"
                       "  42  /dev/pts/3    port table entry COM42\n"
                       " 420  /dev/gone     no such device (port table entry COM420)\n"
                       "Port table: ") +
        table.directory() + u'\n';
    EXPECT_EQ(text, expected);
}

TEST(PortListingText, NothingFoundIsOneLineSayingWhatToCheck)
{
    PortTable table;
    const QString text = kestavo::platform::portListingText({});
    EXPECT_EQ(text.count(u'\n'), 1);
    EXPECT_TRUE(text.endsWith(u'\n'));
    for (const QString& check :
         {QStringLiteral("plugged in"), QStringLiteral("dialout"), table.directory()})
        EXPECT_TRUE(text.contains(check)) << text.toStdString();
}

TEST(PortChoicesAndErrors, NameOnlyNumbersWithADeviceUpToALimit)
{
    QList<ListedPort> ports{port(5, "", true, false), port(7, "/dev/gone", true, false),
                            port(33, "/dev/ttyUSB0", false, true, "FT232R\tUSB UART"),
                            port(42, "/dev/pts/3", true, true)};
    EXPECT_EQ(kestavo::platform::portChoicesText(ports),
              QStringLiteral("Ports found:\n"
                             "33  /dev/ttyUSB0  FT232R\\x09USB UART\n"
                             "42  /dev/pts/3  port table"));
    EXPECT_EQ(kestavo::platform::portsFoundSentence(ports),
              QStringLiteral("Numbers with a device here: 33 (/dev/ttyUSB0), 42 (/dev/pts/3)."));

    QList<ListedPort> many;
    const int count = static_cast<int>(kestavo::constants::kPortsNamedAtMost) + 3;
    for (int number = 1; number <= count; ++number)
        many << port(number, "/dev/ttyS", false, true);
    const QString choices = kestavo::platform::portChoicesText(many);
    EXPECT_EQ(choices.count(u'\n'), kestavo::constants::kPortsNamedAtMost + 1);
    EXPECT_TRUE(choices.endsWith(QStringLiteral("and 3 more (kestavo --list-ports shows all)")))
        << choices.toStdString();
    EXPECT_TRUE(kestavo::platform::portsFoundSentence(many).contains(QStringLiteral("and 3 more")));

    for (const QList<ListedPort>& none : {QList<ListedPort>{}, ports.mid(0, 2)}) {
        EXPECT_TRUE(kestavo::platform::portChoicesText(none).startsWith(
            QStringLiteral("No serial ports found")));
        EXPECT_TRUE(kestavo::platform::portsFoundSentence(none).startsWith(
            QStringLiteral("No serial ports were found")));
    }
}

} // namespace
