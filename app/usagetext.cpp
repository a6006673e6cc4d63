// SPDX-License-Identifier: GPL-3.0-or-later
// The help text, and where the front door listens.
#include "commandline.h"

#include "platform/constants.h"
#include "platform/host/network.h"

#include <limits>

namespace kestavo::app
{

QString usage()
{
    return QStringLiteral(
               "Usage: %1 [OPTION]...\n"
               "Turns an antenna rotor to the heading typed into its window.\n"
               "The port is asked for at the first start and kept in %2\n"
               "in the directory Kestavo is started in.\n"
               "\n"
               "Options:\n"
               "  -h, --help     print this help and exit\n"
               "  -v, --version  print the version and exit\n"
               "  --list-ports   list the port numbers that lead to a device, and exit\n"
               "\n"
               "Settings, as an option or an item after the port number in %2:\n"
               "  option              item            what it does\n"
               "  --listen [ADDRESS:]PORT             let trackers and loggers turn the rotor\n"
               "                                      over hamlib's rotator network protocol\n"
               "                                      (rotctld's), on 127.0.0.1 unless\n"
               "                                      ADDRESS names another\n"
               "  --read-back         read-back       read the controller's bearing, show it\n"
               "  --command-set NAME  one-step        the commands the controller takes, as\n"
               "                      two-step        below; one-step is the default\n"
               "                      tenths\n"
               "  --park DEG          park=DEG        where the Park button and a tracker's\n"
               "                                      K (\\park) turn the rotor; 0 unless set\n"
               "  --park-after MIN    park-after=MIN  park once after MIN minutes (1-1440)\n"
               "                                      with no command from window or tracker\n"
               "  --offset DEG        offset=DEG      the controller's scale is bearing - DEG\n"
               "                                      (-359..359); GO then needs a number\n"
               "  --home LOCATOR      home=LOCATOR    the station's locator (JO62, JO62QM);\n"
               "                                      GO then takes a locator too, as JN58,\n"
               "                                      or JN58 LP for the long path\n"
               "  --web [ADDRESS:]PORT  web=[ADDRESS:]PORT  serve a page to turn the rotor\n"
               "                                      from a browser, on 127.0.0.1 unless\n"
               "                                      ADDRESS names another; beyond this\n"
               "                                      machine it needs a password in\n"
               "                                      ~/.config/kestavo/web-password\n"
               "Items come in any order, case and blanks around them ignored, as in\n"
               "\"42,read-back,park=270,home=JO62QM\". An option is also written --park=270,\n"
               "and wins over its item. An unknown or malformed item is told in the window\n"
               "and on standard error, and left alone.\n"
               "Any option of Qt's own (-platform, -display, ...) is taken too.\n"
               "\n"
               "Command sets (--command-set NAME), by what your controller's manual lists:\n"
               "  manual lists      NAME      GO sends      Stop  --read-back asks, reads\n"
               "  AP1ddd CR         one-step  AP1 text CR   ;     AI1;  ;ddd\n"
               "  AP1ddd; and AM1;  two-step  AP1ddd; AM1;  AS1;  AI1;  ;ddd or ddd;\n"
               "  tenths: AP1ddd.d  tenths    AP1ddd.d CR   ;     BI1;  ddd.d;\n"
               "One-step, the default, sends the text as typed. Two-step and tenths need a\n"
               "number, rounded to whole degrees or to tenths and taken into 0-359; a text\n"
               "that is no heading sends nothing, and the window says so.\n"
               "The port table, the files and the error numbers: man %1\n")
        .arg(constants::kExecutableName, constants::kPortFileName);
}

QString readListenAddress(const QString& value, ListenAddress& address)
{
    QString host;
    QString port = value;
    if (value.startsWith(u'[')) {
        const qsizetype close = value.indexOf(QStringLiteral("]:"));
        if (close < 0)
            return QStringLiteral("an address in brackets must be followed by :PORT");
        host = value.mid(1, close - 1);
        port = value.mid(close + 2);
    } else if (value.count(u':') > 1) {
        return QStringLiteral("write an IPv6 address in brackets, as in [::1]:4533");
    } else if (value.contains(u':')) {
        host = value.section(u':', 0, 0);
        port = value.section(u':', 1);
    }

    bool isNumber = !port.isEmpty();
    for (const QChar c : port)
        isNumber = isNumber && c >= u'0' && c <= u'9';
    const uint number = isNumber ? port.toUInt(&isNumber) : 0;
    if (!isNumber || number < 1 || number > std::numeric_limits<std::uint16_t>::max())
        return QStringLiteral("\"%1\" is not a port from 1 to 65535").arg(port);
    address.port = static_cast<std::uint16_t>(number);

    if (host.isEmpty() && value.contains(u':'))
        return QStringLiteral("the address before the port is empty");
    if (host.isEmpty() || host.compare(constants::kLocalhostName, Qt::CaseInsensitive) == 0) {
        address.host = QString(constants::kListenDefaultHost);
        address.loopback = true;
        return {};
    }
    const std::optional<platform::host::IpAddress> ip = platform::host::ipAddress(host);
    if (!ip)
        return QStringLiteral("\"%1\" is not an IP address or localhost").arg(host);
    address.host = host;
    address.loopback = ip->loopback;
    return {};
}

QString ListenAddress::text() const
{
    return (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(port);
}

} // namespace kestavo::app
