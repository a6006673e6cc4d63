// SPDX-License-Identifier: GPL-3.0-or-later
#include "serialcontrol.h"

#include "constants.h"
#include "conversion.h"
#include "host/line.h"
#include "runtimeerror.h"

namespace kestavo::platform
{

SerialControl::SerialControl(QObject* parent) : QObject(parent)
{
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialControl::onPortError);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialControl::received);
    // A hang-up answers every question with an error, so whether a write
    // left must be known before it: looked at once it should have.
    m_sentCheck.setSingleShot(true);
    connect(&m_sentCheck, &QTimer::timeout, this, &SerialControl::checkSent);
    m_sent.setByteTime(byteTime());
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
    m_sent.setByteTime(byteTime());
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
    m_sent.wrote(bytes.size());
    lookAgainLater();
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

} // namespace kestavo::platform
