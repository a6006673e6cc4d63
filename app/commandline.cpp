// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

#include "platform/constants.h"
#include "platform/conversion.h"
#include "platform/errorpath.h"
#include "platform/host/network.h"
#include "platform/portlist.h"

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
               "  --listen [ADDRESS:]PORT\n"
               "                 let trackers and loggers turn the rotor over hamlib's\n"
               "                 rotator network protocol (rotctld's), on 127.0.0.1\n"
               "                 unless ADDRESS names another\n"
               "  --read-back    ask the controller for its bearing (AI1;) and show it;\n"
               "                 %2 holding \"N,read-back\" does the same\n"
               "Any option of Qt's own (-platform, -display, ...) is taken too.\n"
               "The port table, the files and the error numbers: man %1\n")
        .arg(constants::kExecutableName, constants::kPortFileName);
}

std::optional<int> answerInformationRequest(const QStringList& arguments, std::FILE* out)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == u"--version" || argument == u"-v") {
            std::fprintf(out, "%s %s\n", constants::kProgramName.data(),
                         constants::kProgramVersion.data());
            return platform::kExitNormal;
        }
        if (argument == u"--list-ports") {
            std::fputs(platform::portListingText(platform::listPorts()).toLocal8Bit().constData(),
                       out);
            return platform::kExitNormal;
        }
        if (argument == u"--help" || argument == u"-h") {
            std::fputs(usage().toLocal8Bit().constData(), out);
            return platform::kExitNormal;
        }
    }
    return std::nullopt;
}

namespace
{

// Why value is no [ADDRESS:]PORT; empty when address is filled in.
[[nodiscard]] QString readListenAddress(const QString& value, ListenAddress& address)
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

} // namespace

QString ListenAddress::text() const
{
    return (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(port);
}

std::optional<StartOptions> startOptions(const QStringList& arguments, std::FILE* err)
{
    const QString option(constants::kListenOption);
    StartOptions options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == constants::kReadBackOption) {
            options.readBack = true;
            continue;
        }
        QString value;
        if (arguments[i] == option && i + 1 < arguments.size())
            value = arguments[++i];
        else if (arguments[i].startsWith(option + u'='))
            value = arguments[i].mid(option.size() + 1);
        else if (arguments[i] != option)
            continue;

        ListenAddress address;
        const QString wrong = readListenAddress(value, address);
        if (wrong.isEmpty()) {
            options.listen = address;
            continue;
        }
        const QString line = QStringLiteral("%1: %2 \"%3\": %4; expected [ADDRESS:]PORT, as in "
                                            "%2 4533 or %2 192.168.1.5:4533\n")
                                 .arg(constants::kExecutableName, option, value, wrong);
        std::fputs(platform::visibleText(line.chopped(1)).append(u'\n').toLocal8Bit().constData(),
                   err);
        return std::nullopt;
    }
    return options;
}

std::optional<QString> unknownOption(const QStringList& arguments)
{
    const QString listen(constants::kListenOption);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == listen) {
            ++i; // its value, whatever it looks like
            continue;
        }
        if (argument.startsWith(listen + u'=') || argument == constants::kReadBackOption)
            continue;
        if (argument.startsWith(u'-'))
            return argument;
    }
    return std::nullopt;
}

} // namespace kestavo::app
