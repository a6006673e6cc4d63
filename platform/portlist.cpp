// SPDX-License-Identifier: GPL-3.0-or-later
#include "portlist.h"

#include "constants.h"
#include "conversion.h"
#include "host/files.h"
#include "host/ports.h"
#include "porttable.h"

#include <QMap>
#include <QStringList>

#include <algorithm>

namespace kestavo::platform
{
namespace
{

constexpr QLatin1StringView kColumnGap{"  "};

void describe(ListedPort& port, const host::SystemPort& system)
{
    port.description = system.description;
    port.manufacturer = system.manufacturer;
    port.serialNumber = system.serialNumber;
    port.stableName = system.stableName;
}

[[nodiscard]] QString tableEntryName(const ListedPort& port)
{
    return QStringLiteral("port table entry %1%2")
        .arg(constants::kPortTablePrefix)
        .arg(port.number);
}

// Description, manufacturer and serial number, as far as they are known.
[[nodiscard]] QString systemKnowledge(const ListedPort& port)
{
    QStringList parts;
    for (const QString& part : {port.description, port.manufacturer})
        if (!part.isEmpty())
            parts << visibleText(part);
    if (!port.serialNumber.isEmpty())
        parts << QStringLiteral("serial number ") + visibleText(port.serialNumber);
    return parts.join(QStringLiteral(", "));
}

[[nodiscard]] QString whatItIs(const ListedPort& port)
{
    if (port.device.isEmpty())
        return tableEntryName(port) + QStringLiteral(", which names no device");
    if (!port.present)
        return QStringLiteral("no such device (%1)").arg(tableEntryName(port));
    const QString known = systemKnowledge(port);
    if (!port.fromTable)
        return known.isEmpty() ? QStringLiteral("serial port") : known;
    return known.isEmpty() ? tableEntryName(port)
                           : QStringLiteral("%1 (%2)").arg(known, tableEntryName(port));
}

[[nodiscard]] QString shortName(const ListedPort& port)
{
    for (const QString& name : {port.description, port.manufacturer})
        if (!name.isEmpty())
            return visibleText(name);
    return port.fromTable ? QStringLiteral("port table") : QString();
}

[[nodiscard]] QList<ListedPort> present(const QList<ListedPort>& ports)
{
    QList<ListedPort> found;
    for (const ListedPort& port : ports)
        if (port.present)
            found << port;
    return found;
}

[[nodiscard]] QString moreText(qsizetype shown, qsizetype all)
{
    return all > shown
               ? QStringLiteral("and %1 more (kestavo --list-ports shows all)").arg(all - shown)
               : QString();
}

} // namespace

QList<ListedPort> listPorts()
{
    const QList<host::SystemPort> system = host::systemPorts();
    // The system's devices by their real path, to describe table entries.
    QMap<QString, host::SystemPort> byPath;
    for (const host::SystemPort& port : system) {
        const QString path = host::canonicalDevicePath(port.device);
        byPath.insert(path.isEmpty() ? port.device : path, port);
    }

    QMap<std::int16_t, ListedPort> listed;
    for (const std::int16_t number : portTableNumbers()) {
        const host::PortDevice mapped = deviceForPort(number);
        ListedPort port;
        port.number = number;
        port.device = mapped.device;
        port.fromTable = true;
        const QString path =
            mapped.device.isEmpty() ? QString() : host::canonicalDevicePath(mapped.device);
        port.present = !path.isEmpty();
        if (const auto known = byPath.constFind(path); port.present && known != byPath.cend())
            describe(port, *known);
        listed.insert(number, port);
    }
    for (const host::SystemPort& device : system) {
        const std::optional<std::int16_t> number = host::builtInPortNumber(device.device);
        if (!number || listed.contains(*number))
            continue;
        ListedPort port;
        port.number = *number;
        port.device = device.device;
        port.present = true;
        describe(port, device);
        listed.insert(*number, port);
    }
    return listed.values();
}

QString portListingText(const QList<ListedPort>& ports)
{
    if (ports.isEmpty())
        return QStringLiteral("No serial ports found. Check that the adapter is plugged in, "
                              "that your user is in the dialout group, and the port table %1.\n")
            .arg(visibleText(host::portTableDirectory()));

    const QString numberHeading = QStringLiteral("Port");
    const QString deviceHeading = QStringLiteral("Device");
    qsizetype numberWidth = numberHeading.size();
    qsizetype deviceWidth = deviceHeading.size();
    QStringList devices;
    for (const ListedPort& port : ports) {
        devices << (port.device.isEmpty() ? QStringLiteral("-") : visibleText(port.device));
        numberWidth = std::max(numberWidth, QString::number(port.number).size());
        deviceWidth = std::max(deviceWidth, devices.constLast().size());
    }
    const QString continuation(numberWidth + deviceWidth + 2 * kColumnGap.size(), u' ');

    QString text = numberHeading.rightJustified(numberWidth) + kColumnGap +
                   deviceHeading.leftJustified(deviceWidth) + kColumnGap +
                   QStringLiteral("What it is\n");
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const ListedPort& port = ports[i];
        text += QString::number(port.number).rightJustified(numberWidth) + kColumnGap +
                devices[i].leftJustified(deviceWidth) + kColumnGap + whatItIs(port) + u'\n';
        if (!port.stableName.isEmpty())
            text += continuation + visibleText(port.stableName) + u'\n';
    }
    text += QStringLiteral("Port table: %1\n").arg(visibleText(host::portTableDirectory()));
    return text;
}

QString portChoicesText(const QList<ListedPort>& ports)
{
    const QList<ListedPort> found = present(ports);
    if (found.isEmpty())
        return QStringLiteral("No serial ports found: check that the adapter is plugged in.");
    QStringList lines{QStringLiteral("Ports found:")};
    const qsizetype shown = std::min(found.size(), constants::kPortsNamedAtMost);
    for (qsizetype i = 0; i < shown; ++i) {
        const ListedPort& port = found[i];
        QString line = QString::number(port.number) + kColumnGap + visibleText(port.device);
        if (const QString name = shortName(port); !name.isEmpty())
            line += kColumnGap + name;
        lines << line;
    }
    if (const QString more = moreText(shown, found.size()); !more.isEmpty())
        lines << more;
    return lines.join(u'\n');
}

QString portsFoundSentence(const QList<ListedPort>& ports)
{
    const QList<ListedPort> found = present(ports);
    if (found.isEmpty())
        return QStringLiteral("No serial ports were found on this machine: check that the "
                              "adapter is plugged in.");
    QStringList names;
    const qsizetype shown = std::min(found.size(), constants::kPortsNamedAtMost);
    for (qsizetype i = 0; i < shown; ++i)
        names << QStringLiteral("%1 (%2)").arg(found[i].number).arg(visibleText(found[i].device));
    if (const QString more = moreText(shown, found.size()); !more.isEmpty())
        names << more;
    return QStringLiteral("Numbers with a device here: %1.").arg(names.join(QStringLiteral(", ")));
}

} // namespace kestavo::platform
