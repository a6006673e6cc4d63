#include "serialcontrol.h"

#include "constants.h"
#include "host.h"
#include "runtimeerror.h"

namespace kestavo::platform
{
namespace
{

[[nodiscard]] QString numberingAdvice(std::int16_t portNumber)
{
    return QStringLiteral("Ports 1-32 are /dev/ttyS0-31, 33-64 are USB serial adapters "
                          "(/dev/ttyUSB0-31) and 65-96 are /dev/ttyACM0-31; any number can be "
                          "pointed at another device with a link named COM%1 in %2.")
        .arg(portNumber >= 1 ? QString::number(portNumber) : QStringLiteral("<n>"),
             host::portTableDirectory());
}

} // namespace

SerialControl::SerialControl(QObject* parent) : QObject(parent)
{
    const std::optional<LineSettings> defaults =
        parseLineSettings(QString(constants::kDefaultLineSettings));
    Q_ASSERT(defaults);
    m_settings = *defaults;
}

SerialControl::~SerialControl() = default;

QString SerialControl::portLabel() const
{
    QString label = QStringLiteral("port %1").arg(m_portNumber);
    if (!m_device.isEmpty())
        label += QStringLiteral(" (%1)").arg(m_device);
    return label;
}

void SerialControl::setCommPort(std::int16_t portNumber)
{
    if (m_port.isOpen())
        throw RuntimeError(ErrorNumber::PortAlreadyOpen,
                           QStringLiteral("Cannot switch to port %1 while %2 is open.")
                               .arg(portNumber)
                               .arg(portLabel()));
    m_portNumber = portNumber;
}

void SerialControl::setPortOpen(bool open)
{
    if (!open) {
        m_port.close();
        return;
    }
    if (m_port.isOpen())
        throw RuntimeError(ErrorNumber::PortAlreadyOpen,
                           QStringLiteral("%1 is already open.").arg(portLabel()));
    this->open();
}

void SerialControl::open()
{
    const host::PortDevice mapped = host::deviceForPort(m_portNumber);
    m_device = mapped.device;
    m_origin = mapped.origin;
    if (mapped.device.isEmpty()) {
        const QString why = mapped.origin.isEmpty()
                                ? QStringLiteral("it has no serial device")
                                : QStringLiteral("its device is named by %1").arg(mapped.origin);
        throw RuntimeError(ErrorNumber::InvalidPortNumber,
                           QStringLiteral("Invalid port number %1: %2. %3")
                               .arg(m_portNumber)
                               .arg(why, numberingAdvice(m_portNumber)));
    }

    // Two links to one device must lock the same port.
    const QString canonical = host::canonicalDevicePath(mapped.device);
    if (canonical.isEmpty())
        throw RuntimeError(ErrorNumber::DeviceNotFound,
                           QStringLiteral("Cannot open %1: no such device (number mapped by "
                                          "%2). Check that the adapter is plugged in. %3")
                               .arg(portLabel(), mapped.origin, numberingAdvice(m_portNumber)));

    m_systemPath = canonical;
    m_port.setPortName(canonical);
    if (!m_port.open(QIODevice::WriteOnly))
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

    switch (cause) {
    case host::OpenFailure::NotFound:
        return RuntimeError(ErrorNumber::DeviceNotFound,
                            QStringLiteral("Cannot open %1: no such device. Check that the "
                                           "adapter is plugged in. %2")
                                .arg(portLabel(), numberingAdvice(m_portNumber)));
    case host::OpenFailure::PermissionDenied: {
        QString group = host::deviceGroup(m_systemPath);
        if (group.isEmpty())
            group = QStringLiteral("dialout");
        return RuntimeError(ErrorNumber::PermissionDenied,
                            QStringLiteral("Cannot open %1: permission denied. Your user must "
                                           "be in the group that owns the device (%2): run "
                                           "\"sudo usermod -aG %2 $USER\", then log out and in "
                                           "again.")
                                .arg(portLabel(), group));
    }
    case host::OpenFailure::InUse:
        return RuntimeError(ErrorNumber::PortInUse,
                            QStringLiteral("Cannot open %1: the port is already in use by another "
                                           "program, perhaps another Kestavo. Close that "
                                           "program, then start Kestavo again.")
                                .arg(portLabel()));
    case host::OpenFailure::Other:
        break;
    }
    return RuntimeError(ErrorNumber::PortOpenFailed,
                        QStringLiteral("Cannot open %1: %2. Check the device and its cable, "
                                       "then start Kestavo again.")
                            .arg(portLabel(), m_port.errorString()));
}

void SerialControl::applySettings(const LineSettings& settings)
{
    auto rejected = [this](const QString& what) {
        return RuntimeError(ErrorNumber::SettingsRejected,
                            QStringLiteral("%1 refused the %2: %3. The device may not support "
                                           "this line setting.")
                                .arg(portLabel(), what, m_port.errorString()));
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
        throw RuntimeError(ErrorNumber::RtsFailed, QStringLiteral("Cannot %1 RTS on %2: %3.")
                                                       .arg(m_rtsEnable ? QStringLiteral("assert")
                                                                        : QStringLiteral("clear"),
                                                            portLabel(), m_port.errorString()));
}

void SerialControl::setRTSEnable(bool enable)
{
    m_rtsEnable = enable;
    if (m_port.isOpen())
        applyRts();
}

void SerialControl::setInputLen(std::int16_t length)
{
    if (length < 0)
        throw RuntimeError(ErrorNumber::InvalidPropertyValue,
                           QStringLiteral("Invalid input length %1 for %2: it must be 0 or more.")
                               .arg(length)
                               .arg(portLabel()));
    m_inputLen = length;
}

void SerialControl::setSettings(const QString& settings)
{
    const std::optional<LineSettings> parsed = parseLineSettings(settings);
    if (!parsed)
        throw RuntimeError(ErrorNumber::InvalidSettings,
                           QStringLiteral("Invalid line settings \"%1\" for %2: expected baud "
                                          "rate, parity (n, e, o, m or s), data bits (5-8) and "
                                          "stop bits (1, 1.5 or 2), as in 4800,n,8,1.")
                               .arg(settings, portLabel()));
    if (m_port.isOpen())
        applySettings(*parsed);
    m_settings = *parsed;
}

void SerialControl::setOutput(const QString& text)
{
    if (!m_port.isOpen())
        throw RuntimeError(
            ErrorNumber::PortNotOpen,
            QStringLiteral("Cannot send to %1: the port is not open.").arg(portLabel()));
    const QByteArray bytes = text.toLatin1();
    if (m_port.write(bytes) != bytes.size())
        throw RuntimeError(ErrorNumber::WriteFailed,
                           QStringLiteral("Cannot send to %1: %2. Check that the device is "
                                          "still connected, then start Kestavo again.")
                               .arg(portLabel(), m_port.errorString()));
}

} // namespace kestavo::platform
