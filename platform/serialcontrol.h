// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "commcontrol.h"
#include "linesettings.h"
#include "runtimeerror.h"

#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include <chrono>

namespace kestavo::platform
{

// The serial port object on QSerialPort. All port handling lives here, away
// from any widget. The port is opened for writing only unless reading is
// asked for: then what the device sends is held up to a bound, and what
// nobody reads waits in the kernel's bounded buffer.
class SerialControl : public QObject, public CommControl
{
    Q_OBJECT

public:
    explicit SerialControl(QObject* parent = nullptr);
    ~SerialControl() override;

    void setCommPort(std::int16_t portNumber) override;
    void setPortOpen(bool open) override;
    void setRTSEnable(bool enable) override;
    void setInputLen(std::int16_t length) override;
    void setSettings(const QString& settings) override;
    // Latin-1, with "?" for a character that has no 8-bit code.
    void setOutput(const QString& text) override;
    // What QSerialPort still holds plus what the device has yet to send.
    [[nodiscard]] qint64 outBufferCount() const override;
    void setReading(bool enable) override;
    [[nodiscard]] QString input() override;
    void discardInput() override;

    // Hands every byte still buffered here to the device, waiting no longer
    // than those bytes need on the line plus a grace, within a cap. Throws
    // WriteFailed if the device fails or does not take them in time.
    void drainOutput();
    // How long drainOutput waits for this many bytes at the current settings.
    [[nodiscard]] std::chrono::milliseconds drainAllowance(qint64 bytes) const;

    [[nodiscard]] bool isOpen() const { return m_port.isOpen(); }
    // The device the port was opened on, for messages and tests.
    [[nodiscard]] QString devicePath() const { return m_device; }

signals:
    // The line received bytes; input() has them.
    void received();
    // The line had hung up when the port closed, but everything written
    // had been sent before: nothing was lost, so this is no failure.
    void lineGone(const QString& notice);

    // A failure that QSerialPort reports after an assignment has returned,
    // such as a write to a device that went away.
    void failed(const kestavo::platform::RuntimeError& error);

private:
    // Marks a call whose failures are thrown, so they are not signalled too.
    class SyncCall;

    void onPortError(QSerialPort::SerialPortError error);
    void onReadFailed();
    [[nodiscard]] RuntimeError writeFailure() const;
    [[nodiscard]] RuntimeError lineFailure(const QString& reason) const;
    // Marks the line as failed and drops what it still buffers; returns error.
    [[nodiscard]] RuntimeError giveUp(RuntimeError error);
    void open();
    // Sends what is buffered, waits until the line has sent it, then closes;
    // the port is closed even when that fails.
    void close();
    void waitUntilSent();
    // Whether everything handed over is known to have left the line: the
    // output queue read empty after the last write, or the last write's
    // time on the line plus the grace has passed since.
    [[nodiscard]] bool writtenIsSent() const;
    // The kernel's queue read kernelQueued: if that and Qt's buffer are
    // empty, what was written has left.
    void noteQueue(std::optional<qint64> kernelQueued) const;
    void checkSent();
    [[nodiscard]] std::chrono::milliseconds lineTime(qint64 bytes) const;
    void applySettings(const LineSettings& settings);
    void applyRts();
    [[nodiscard]] QString portLabel() const;
    [[nodiscard]] RuntimeError openFailure() const;

    QSerialPort m_port;
    std::int16_t m_portNumber = 0;
    bool m_rtsEnable = false;
    std::int16_t m_inputLen = 0;
    LineSettings m_settings;
    QString m_device;
    QString m_systemPath; // m_device with all links resolved
    int m_syncCalls = 0;
    bool m_writeFailed = false; // reported once; the program is ending
    bool m_reading = false;
    bool m_readFailing = false; // a report is on its way
    // The last write, for telling later whether it has left the line.
    std::chrono::steady_clock::time_point m_lastWrite;
    qint64 m_lastWriteBytes = 0;
    mutable bool m_unsent = false;
    QTimer m_sentCheck;
};

} // namespace kestavo::platform
