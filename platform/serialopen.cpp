// SPDX-License-Identifier: GPL-3.0-or-later
// Opening the port and setting up its line.
#include "serialcontrol.h"

#include "constants.h"
#include "conversion.h"
#include "host/line.h"
#include "host/ports.h"
#include "portfailures.h"
#include "porttable.h"
#include "runtimeerror.h"

namespace kestavo::platform
{

void SerialControl::open()
{
    const host::PortDevice mapped = deviceForPort(m_portNumber);
    m_device = mapped.device;
    if (mapped.device.isEmpty())
        throw portfailures::noDevice(m_portNumber, mapped.origin);

    // Two links to one device must lock the same port.
    const QString canonical = host::canonicalDevicePath(mapped.device);
    if (canonical.isEmpty())
        throw portfailures::missingDevice(m_portNumber, portLabel(), mapped.origin);

    m_systemPath = canonical;
    m_port.setPortName(canonical);
    m_port.setReadBufferSize(constants::kReadBufferLimit);
    if (!m_port.open(m_reading ? QIODevice::ReadWrite : QIODevice::WriteOnly))
        throw openFailure();

    try {
        applySettings(m_settings);
        applyRts();
    } catch (const RuntimeError&) {
        m_port.close();
        throw;
    }
}

RuntimeError SerialControl::openFailure() const
{
    host::OpenFailure cause = host::OpenFailure::Other;
    switch (m_port.error()) {
    case QSerialPort::DeviceNotFoundError:
        cause = host::OpenFailure::NotFound;
        break;
    case QSerialPort::PermissionError:
        cause = host::classifyPermissionFailure(m_systemPath);
        break;
    default:
        break;
    }

    return portfailures::openFailed(cause, m_portNumber, portLabel(), m_systemPath,
                                    m_port.errorString());
}

void SerialControl::applySettings(const LineSettings& settings)
{
    auto rejected = [this](const QString& what) {
        return RuntimeError(ErrorNumber::SettingsRejected,
                            QStringLiteral("%1 refused the %2: %3. The device may not support "
                                           "this line setting.")
                                .arg(portLabel(), what, visibleText(m_port.errorString())));
    };
    if (!m_port.setBaudRate(settings.baudRate))
        throw rejected(QStringLiteral("baud rate %1").arg(settings.baudRate));
    if (!m_port.setParity(settings.parity))
        throw rejected(QStringLiteral("parity"));
    if (!m_port.setDataBits(settings.dataBits))
        throw rejected(QStringLiteral("%1 data bits").arg(static_cast<int>(settings.dataBits)));
    if (!m_port.setStopBits(settings.stopBits))
        throw rejected(QStringLiteral("stop bits"));
    if (!m_port.setFlowControl(QSerialPort::NoFlowControl))
        throw rejected(QStringLiteral("flow control setting"));
}

void SerialControl::applyRts()
{
    QString reason;
    const std::optional<bool> lines = host::hasModemControlLines(m_port.handle(), reason);
    if (!lines)
        throw RuntimeError(
            ErrorNumber::RtsFailed,
            QStringLiteral("Cannot read the modem lines of %1: %2.").arg(portLabel(), reason));
    // A pseudo-terminal or similar link has no RTS line to set.
    if (!*lines)
        return;
    if (!m_port.setRequestToSend(m_rtsEnable))
        throw RuntimeError(
            ErrorNumber::RtsFailed,
            QStringLiteral("Cannot %1 RTS on %2: %3.")
                .arg(m_rtsEnable ? QStringLiteral("assert") : QStringLiteral("clear"), portLabel(),
                     visibleText(m_port.errorString())));
}

} // namespace kestavo::platform
