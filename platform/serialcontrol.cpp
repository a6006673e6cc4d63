// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialcontrol.h"

#include "constants.h"
#include "conversion.h"
#include "host/line.h"
#include "host/ports.h"
#include "portfailures.h"
#include "porttable.h"
#include "runtimeerror.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <thread>

namespace kestavo::platform
{
class SerialControl::SyncCall
{
public:
    explicit SyncCall(SerialControl& control) : m_control(control) { ++m_control.m_syncCalls; }
    ~SyncCall() { --m_control.m_syncCalls; }
    SyncCall(const SyncCall&) = delete;
    SyncCall& operator=(const SyncCall&) = delete;

private:
    SerialControl& m_control;
};

SerialControl::SerialControl(QObject* parent) : QObject(parent)
{
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialControl::onPortError);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialControl::received);
    // A hang-up answers every question with an error, so whether the last
    // write left must be known before it: looked at once it should have.
    m_sentCheck.setSingleShot(true);
    connect(&m_sentCheck, &QTimer::timeout, this, &SerialControl::checkSent);
}

SerialControl::~SerialControl() = default;

QString SerialControl::portLabel() const
{
    QString label = QStringLiteral("port %1").arg(m_portNumber);
    if (!m_device.isEmpty())
        label += QStringLiteral(" (%1)").arg(visibleText(m_device));
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
    const SyncCall call(*this);
    if (!open) {
        close();
        return;
    }
    if (m_port.isOpen())
        throw RuntimeError(ErrorNumber::PortAlreadyOpen,
                           QStringLiteral("%1 is already open.").arg(portLabel()));
    this->open();
}

void SerialControl::close()
{
    // QSerialPort's close puts the device's earlier settings back at once:
    // whatever the kernel or the device still holds would then go out at
    // that speed, garbled. A line that already failed gets no more waiting.
    m_sentCheck.stop();
    try {
        if (m_port.isOpen() && !m_writeFailed) {
            drainOutput();
            waitUntilSent();
        }
    } catch (...) {
        m_port.close();
        throw;
    }
    m_port.close();
}

void SerialControl::waitUntilSent()
{
    QString reason;
    const std::optional<qint64> queued = host::outputQueued(m_port.handle(), reason);
    noteQueue(queued);
    const bool sentBefore = writtenIsSent();
    const std::chrono::milliseconds allowance = drainAllowance(queued.value_or(m_lastWriteBytes));
    switch (host::drainLine(m_port.handle(), allowance, reason)) {
    case host::DrainResult::Sent: {
        // Some adapters call the bytes drained once they hold them: the
        // last write still needs its time on the wire before the settings
        // go back.
        const auto onWire = m_lastWrite + lineTime(m_lastWriteBytes);
        const auto now = std::chrono::steady_clock::now();
        if (m_lastWriteBytes > 0 && onWire > now)
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(onWire - now, constants::kDrainCap));
        return;
    }
    case host::DrainResult::TimedOut:
        throw giveUp(RuntimeError(
            ErrorNumber::WriteFailed,
            QStringLiteral("Cannot send the last bytes to %1: the device did not send them "
                           "within %2 ms. Check the device and its cable; the last command may "
                           "not have reached the rotor.")
                .arg(portLabel())
                .arg(allowance.count())));
    case host::DrainResult::Failed:
        if (sentBefore) {
            emit lineGone(QStringLiteral("%1 had gone when Kestavo ended (%2); everything "
                                         "written to it had been sent before.")
                              .arg(portLabel(), reason));
            return;
        }
        throw giveUp(lineFailure(reason));
    }
}

bool SerialControl::writtenIsSent() const
{
    if (!m_unsent)
        return true;
    if (m_port.bytesToWrite() > 0)
        return false;
    if (std::chrono::steady_clock::now() - m_lastWrite >= drainAllowance(m_lastWriteBytes))
        m_unsent = false;
    return !m_unsent;
}

void SerialControl::noteQueue(std::optional<qint64> kernelQueued) const
{
    if (kernelQueued == 0 && m_port.bytesToWrite() == 0)
        m_unsent = false;
}

void SerialControl::checkSent()
{
    if (!m_port.isOpen() || !m_unsent)
        return;
    QString reason;
    noteQueue(host::outputQueued(m_port.handle(), reason));
    // Still on its way (or the line failed, which the next write or the
    // end reports); looked at again while it may still leave.
    if (!writtenIsSent())
        m_sentCheck.start(lineTime(m_lastWriteBytes) + constants::kSentCheckMargin);
}

RuntimeError SerialControl::lineFailure(const QString& reason) const
{
    return RuntimeError(ErrorNumber::WriteFailed,
                        QStringLiteral("Cannot send to %1: %2. Check that the device is still "
                                       "connected; the last command may not have reached the "
                                       "rotor.")
                            .arg(portLabel(), reason));
}

RuntimeError SerialControl::giveUp(RuntimeError error)
{
    m_writeFailed = true;
    // Left buffered, the bytes would make QSerialPort retry, and fail, on
    // every pass of the event loop.
    m_port.clear(QSerialPort::Output);
    return error;
}

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

void SerialControl::setRTSEnable(bool enable)
{
    const SyncCall call(*this);
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
    const SyncCall call(*this);
    const std::optional<LineSettings> parsed = parseLineSettings(settings);
    if (!parsed)
        throw RuntimeError(ErrorNumber::InvalidSettings,
                           QStringLiteral("Invalid line settings \"%1\" for %2: expected baud "
                                          "rate, parity (n, e, o, m or s), data bits (5-8) and "
                                          "stop bits (1, 1.5 or 2), as in 4800,n,8,1.")
                               .arg(visibleText(settings), portLabel()));
    if (m_port.isOpen())
        applySettings(*parsed);
    m_settings = *parsed;
}

void SerialControl::setOutput(const QString& text)
{
    const SyncCall call(*this);
    if (!m_port.isOpen())
        throw RuntimeError(
            ErrorNumber::PortNotOpen,
            QStringLiteral("Cannot send to %1: the port is not open.").arg(portLabel()));
    const QByteArray bytes = textToLineBytes(text);
    if (m_port.write(bytes) != bytes.size())
        throw writeFailure();
    m_lastWrite = std::chrono::steady_clock::now();
    m_lastWriteBytes = bytes.size();
    m_unsent = true;
    m_sentCheck.start(lineTime(bytes.size()) + constants::kSentCheckMargin);
    // QSerialPort would hand the bytes over on the event loop's next turn;
    // a line with room takes them now. A full one is left to the loop, as
    // flush() would count "no room" as a failure. A failed write keeps the
    // bytes buffered, so the loop's next turn fails again and reports it,
    // as every later failure is reported.
    QString reason;
    if (host::waitWritable(m_port.handle(), std::chrono::milliseconds(0), reason) ==
        host::WaitResult::Writable)
        (void)m_port.flush();
}

qint64 SerialControl::outBufferCount() const
{
    if (!m_port.isOpen())
        return 0;
    QString reason;
    const std::optional<qint64> queued = host::outputQueued(m_port.handle(), reason);
    if (!queued)
        throw RuntimeError(ErrorNumber::WriteFailed,
                           QStringLiteral("Cannot tell what still waits to go out on %1: %2. "
                                          "Check that the device is still connected, then start "
                                          "Kestavo again.")
                               .arg(portLabel(), reason));
    noteQueue(queued);
    return m_port.bytesToWrite() + *queued;
}

RuntimeError SerialControl::writeFailure() const
{
    return RuntimeError(ErrorNumber::WriteFailed,
                        QStringLiteral("Cannot send to %1: %2. Check that the device is still "
                                       "connected, then start Kestavo again.")
                            .arg(portLabel(), visibleText(m_port.errorString())));
}

void SerialControl::setReading(bool enable)
{
    if (m_port.isOpen())
        throw RuntimeError(
            ErrorNumber::PortAlreadyOpen,
            QStringLiteral("Cannot change how %1 is opened while it is open.").arg(portLabel()));
    m_reading = enable;
}

QString SerialControl::input()
{
    if (!m_port.isOpen() || !m_reading)
        return {};
    const qint64 limit = m_inputLen > 0 ? m_inputLen : m_port.bytesAvailable();
    return QString::fromLatin1(m_port.read(limit));
}

void SerialControl::discardInput()
{
    if (!m_port.isOpen() || !m_reading)
        return;
    if (!m_port.clear(QSerialPort::Input))
        throw RuntimeError(ErrorNumber::WriteFailed,
                           QStringLiteral("Cannot clear what %1 received: %2. Check that the "
                                          "device is still connected, then start Kestavo again.")
                               .arg(portLabel(), visibleText(m_port.errorString())));
}

void SerialControl::onReadFailed()
{
    if (m_writeFailed || !m_port.isOpen())
        return;
    QString reason;
    const bool hungUp = host::lineHungUp(m_port.handle(), reason);
    emit failed(giveUp(RuntimeError(
        ErrorNumber::WriteFailed,
        hungUp ? QStringLiteral("Lost %1: the line hung up, as it does when the device is "
                                "unplugged or switched off. Connect it again, then start "
                                "Kestavo again; the last command may not have reached the "
                                "rotor.")
                     .arg(portLabel())
               : QStringLiteral("Cannot read from %1: %2. Check that the device is still "
                                "connected, then start Kestavo again.")
                     .arg(portLabel(),
                          reason.isEmpty() ? visibleText(m_port.errorString()) : reason))));
}

void SerialControl::onPortError(QSerialPort::SerialPortError error)
{
    // A hung-up line makes QSerialPort report a read error on every pass
    // of the event loop, with whatever errno was left, and keep the port
    // open: one report, made outside whatever call is running now.
    const bool resourceLost = error == QSerialPort::ResourceError && m_syncCalls == 0;
    if (m_reading && (error == QSerialPort::ReadError || resourceLost)) {
        if (!m_readFailing && !m_writeFailed && m_port.isOpen()) {
            m_readFailing = true;
            QMetaObject::invokeMethod(this, &SerialControl::onReadFailed, Qt::QueuedConnection);
        }
        return;
    }
    const bool writeFailed =
        error == QSerialPort::WriteError || error == QSerialPort::ResourceError;
    if (!writeFailed || m_writeFailed || m_syncCalls > 0 || !m_port.isOpen())
        return;
    emit failed(giveUp(writeFailure()));
}

std::chrono::milliseconds SerialControl::lineTime(qint64 bytes) const
{
    // Start bit, data bits, parity bit, stop bits; 1.5 stop bits round up.
    const int parityBits = m_settings.parity == QSerialPort::NoParity ? 0 : 1;
    const int stopBits = m_settings.stopBits == QSerialPort::OneStop ? 1 : 2;
    const qint64 bitsPerByte = 1 + static_cast<int>(m_settings.dataBits) + parityBits + stopBits;
    if (m_settings.baudRate <= 0)
        return constants::kDrainCap;
    return std::chrono::milliseconds((bytes * bitsPerByte * 1000 + m_settings.baudRate - 1) /
                                     m_settings.baudRate);
}

std::chrono::milliseconds SerialControl::drainAllowance(qint64 bytes) const
{
    return std::min(lineTime(bytes) + constants::kDrainGrace, constants::kDrainCap);
}

void SerialControl::drainOutput()
{
    const SyncCall call(*this);
    if (!m_port.isOpen() || m_port.bytesToWrite() == 0)
        return;
    // Polled here rather than with waitForBytesWritten(), which would also
    // try to read from this write-only line whenever the controller talks.
    const std::chrono::milliseconds allowance = drainAllowance(m_port.bytesToWrite());
    const QDeadlineTimer deadline(allowance);
    while (m_port.bytesToWrite() > 0 && !deadline.hasExpired()) {
        QString reason;
        const auto left = std::chrono::milliseconds(deadline.remainingTime());
        switch (host::waitWritable(m_port.handle(), left, reason)) {
        case host::WaitResult::Failed:
            throw giveUp(lineFailure(reason));
        case host::WaitResult::TimedOut:
            continue;
        case host::WaitResult::Writable:
            if (!m_port.flush() && m_port.bytesToWrite() > 0)
                throw giveUp(writeFailure());
            break;
        }
    }
    if (m_port.bytesToWrite() > 0)
        throw giveUp(
            RuntimeError(ErrorNumber::WriteFailed,
                         QStringLiteral("Cannot send the last %1 bytes to %2: the device did "
                                        "not take them within %3 ms. Check the device and its "
                                        "cable; the last command may not have reached the "
                                        "rotor.")
                             .arg(m_port.bytesToWrite())
                             .arg(portLabel())
                             .arg(allowance.count())));
}

} // namespace kestavo::platform
