// SPDX-License-Identifier: GPL-3.0-or-later
#include "portfailures.h"

#include "conversion.h"
#include "host/files.h"
#include "portlist.h"

namespace kestavo::platform::portfailures
{
namespace
{

// For a number without a device: which numbers have one, and how numbers
// map to devices. Listing takes time, so only a failing start pays for it.
[[nodiscard]] QString numberingAdvice(std::int16_t portNumber)
{
    return QStringLiteral("%1 Ports 1-32 are /dev/ttyS0-31, 33-64 are USB serial adapters "
                          "(/dev/ttyUSB0-31) and 65-96 are /dev/ttyACM0-31; any number can be "
                          "pointed at another device with a link named COM%2 in %3.")
        .arg(portsFoundSentence(listPorts()),
             portNumber >= 1 ? QString::number(portNumber) : QStringLiteral("<n>"),
             visibleText(host::portTableDirectory()));
}

} // namespace

RuntimeError noDevice(std::int16_t portNumber, const QString& origin)
{
    const QString why = origin.isEmpty() ? QStringLiteral("it has no serial device")
                                         : QStringLiteral("its device is named by %1").arg(origin);
    return RuntimeError(ErrorNumber::InvalidPortNumber,
                        QStringLiteral("Invalid port number %1: %2. %3")
                            .arg(portNumber)
                            .arg(why, numberingAdvice(portNumber)));
}

RuntimeError missingDevice(std::int16_t portNumber, const QString& label, const QString& origin)
{
    return RuntimeError(ErrorNumber::DeviceNotFound,
                        QStringLiteral("Cannot open %1: no such device (number mapped by %2). "
                                       "Check that the adapter is plugged in. %3")
                            .arg(label, origin, numberingAdvice(portNumber)));
}

RuntimeError openFailed(host::OpenFailure cause, std::int16_t portNumber, const QString& label,
                        const QString& systemPath, const QString& reason)
{
    switch (cause) {
    case host::OpenFailure::NotFound:
        return RuntimeError(ErrorNumber::DeviceNotFound,
                            QStringLiteral("Cannot open %1: no such device. Check that the "
                                           "adapter is plugged in. %2")
                                .arg(label, numberingAdvice(portNumber)));
    case host::OpenFailure::PermissionDenied: {
        QString group = host::deviceGroup(systemPath);
        if (group.isEmpty())
            group = QStringLiteral("dialout");
        return RuntimeError(ErrorNumber::PermissionDenied,
                            QStringLiteral("Cannot open %1: permission denied. Your user must "
                                           "be in the group that owns the device (%2): run "
                                           "\"sudo usermod -aG %2 $USER\", then log out and in "
                                           "again.")
                                .arg(label, visibleText(group)));
    }
    case host::OpenFailure::InUse:
        return RuntimeError(ErrorNumber::PortInUse,
                            QStringLiteral("Cannot open %1: the port is already in use. "
                                           "Either another program has it open, perhaps "
                                           "another Kestavo: close that program. Or a program "
                                           "that was killed left it marked for exclusive use: "
                                           "unplug and replug the USB serial adapter, or "
                                           "restart whatever provides the pseudo-terminal "
                                           "(such as the rotor controller). Then start Kestavo "
                                           "again.")
                                .arg(label));
    case host::OpenFailure::Other:
        break;
    }
    return RuntimeError(ErrorNumber::PortOpenFailed,
                        QStringLiteral("Cannot open %1: %2. Check the device and its cable, "
                                       "then start Kestavo again.")
                            .arg(label, visibleText(reason)));
}

} // namespace kestavo::platform::portfailures
