// SPDX-License-Identifier: GPL-3.0-or-later
#include "ports.h"

#include "platform/constants.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSerialPortInfo>

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kestavo::platform::host
{
namespace
{

struct BuiltInRange {
    int first;
    QLatin1StringView prefix;
};

constexpr BuiltInRange kBuiltInRanges[] = {
    {1, constants::kOnboardDevicePrefix},
    {1 + constants::kPortsPerKind, constants::kUsbDevicePrefix},
    {1 + 2 * constants::kPortsPerKind, constants::kAcmDevicePrefix},
};

std::function<QList<SystemPort>()> g_systemPortSource;

// Device -> its link under /dev/serial/by-id, by the device's real path.
[[nodiscard]] QHash<QString, QString> stableNames()
{
    QHash<QString, QString> names;
    QDirIterator links(QString(constants::kStableDeviceDirectory), QDir::System | QDir::Files);
    while (links.hasNext()) {
        const QString link = links.next();
        const QString target = QFileInfo(link).canonicalFilePath();
        if (!target.isEmpty())
            names.insert(target, link);
    }
    return names;
}

} // namespace

std::optional<QString> builtInDevice(std::int16_t portNumber)
{
    for (const BuiltInRange& range : kBuiltInRanges) {
        const int index = portNumber - range.first;
        if (index >= 0 && index < constants::kPortsPerKind)
            return range.prefix + QString::number(index);
    }
    return std::nullopt;
}

std::optional<std::int16_t> builtInPortNumber(const QString& device)
{
    for (const BuiltInRange& range : kBuiltInRanges) {
        if (!device.startsWith(range.prefix))
            continue;
        const QString index = device.mid(range.prefix.size());
        bool isNumber = false;
        const int value = index.toInt(&isNumber);
        if (isNumber && value >= 0 && value < constants::kPortsPerKind &&
            index == QString::number(value))
            return static_cast<std::int16_t>(range.first + value);
    }
    return std::nullopt;
}

QList<SystemPort> systemPorts()
{
    if (g_systemPortSource)
        return g_systemPortSource();
    const QHash<QString, QString> stable = stableNames();
    QList<SystemPort> ports;
    // Qt Serial Port already passes over /dev/ttyS nodes with no UART behind.
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QString device = info.systemLocation();
        ports.append(SystemPort{device, info.description(), info.manufacturer(),
                                info.serialNumber(),
                                stable.value(QFileInfo(device).canonicalFilePath())});
    }
    return ports;
}

void replaceSystemPorts(std::function<QList<SystemPort>()> source)
{
    g_systemPortSource = std::move(source);
}

QString canonicalDevicePath(const QString& device)
{
    return QFileInfo(device).canonicalFilePath();
}

OpenFailure classifyPermissionFailure(const QString& device)
{
    if (::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0)
        return OpenFailure::InUse;
    switch (errno) {
    case EACCES:
    case EPERM:
    case EROFS:
        return OpenFailure::PermissionDenied;
    case ENOENT:
    case ENOTDIR:
        return OpenFailure::NotFound;
    default:
        return OpenFailure::Other;
    }
}

QString deviceGroup(const QString& device)
{
    struct stat info {
    };
    if (::stat(QFile::encodeName(device).constData(), &info) != 0)
        return QString();
    long size = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    struct group entry {
    };
    struct group* found = nullptr;
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return QString();
    return QString::fromLocal8Bit(found->gr_name);
}

} // namespace kestavo::platform::host
