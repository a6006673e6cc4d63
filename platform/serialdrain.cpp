// SPDX-License-Identifier: GPL-3.0-or-later
// What has left the line, and the end: nothing written may be lost or
// garbled when the port closes.
#include "serialcontrol.h"

#include "constants.h"
#include "host/line.h"
#include "runtimeerror.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <thread>

namespace kestavo::platform
{

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
    const host::QueueReading queued = host::readOutputQueue(m_port.handle(), reason);
    noteQueue(queued);
    const bool sentBefore = m_port.bytesToWrite() == 0 && m_sent.sent();
    const std::chrono::milliseconds allowance =
        drainAllowance(queued.bytes.value_or(m_sent.unsent()));
    switch (host::drainLine(m_port.handle(), allowance, reason)) {
    case host::DrainResult::Sent: {
        // Some adapters call the bytes drained once they hold them: the
        // last ones still need their time on the wire before the settings
        // go back.
        const auto onWire = m_sent.lineFreeAt();
        const auto now = std::chrono::steady_clock::now();
        if (onWire > now)
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

void SerialControl::noteQueue(const host::QueueReading& reading)
{
    if (!reading.askable) {
        m_sent.queueUnknowable();
        return;
    }
    m_sent.queueRead(reading.bytes ? std::optional(*reading.bytes + m_port.bytesToWrite())
                                   : std::nullopt);
}

void SerialControl::checkSent()
{
    if (!m_port.isOpen() || m_writeFailed)
        return;
    QString reason;
    noteQueue(host::readOutputQueue(m_port.handle(), reason));
    if (m_port.bytesToWrite() == 0 && m_sent.sent()) {
        emit lineFree();
        return;
    }
    lookAgainLater();
}

void SerialControl::lookAgainLater()
{
    // A queue that could not be read tells nothing more: the failure shows
    // in the next read, write or the end.
    const std::optional<SentTracker::Clock::time_point> next = m_sent.nextLook();
    if (!next)
        return;
    const auto wait =
        std::chrono::ceil<std::chrono::milliseconds>(*next - SentTracker::Clock::now());
    m_sentCheck.start(std::max(wait, std::chrono::milliseconds(0)));
}

std::chrono::nanoseconds SerialControl::byteTime() const
{
    // Start bit, data bits, parity bit, stop bits; 1.5 stop bits round up.
    const int parityBits = m_settings.parity == QSerialPort::NoParity ? 0 : 1;
    const int stopBits = m_settings.stopBits == QSerialPort::OneStop ? 1 : 2;
    const qint64 bitsPerByte = 1 + static_cast<int>(m_settings.dataBits) + parityBits + stopBits;
    if (m_settings.baudRate <= 0)
        return constants::kDrainCap;
    return std::chrono::nanoseconds(bitsPerByte * 1'000'000'000LL / m_settings.baudRate);
}

std::chrono::milliseconds SerialControl::lineTime(qint64 bytes) const
{
    return std::chrono::ceil<std::chrono::milliseconds>(byteTime() * bytes);
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
