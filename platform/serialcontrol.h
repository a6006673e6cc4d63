// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "commcontrol.h"
#include "linesettings.h"
#include "runtimeerror.h"

#include <QObject>
#include <QSerialPort>

#include <chrono>

namespace kestavo::platform
{

// The serial port object on QSerialPort. All port handling lives here, away
// from any widget. The port is opened for writing only: the program never
// reads, so nothing the controller sends piles up in this process; the
// kernel's bounded input buffer drops what nobody reads.
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
    // A failure that QSerialPort reports after an assignment has returned,
    // such as a write to a device that went away.
    void failed(const kestavo::platform::RuntimeError& error);

private:
    // Marks a call whose failures are thrown, so they are not signalled too.
    class SyncCall;

    void onPortError(QSerialPort::SerialPortError error);
    [[nodiscard]] RuntimeError writeFailure() const;
    [[nodiscard]] RuntimeError lineFailure(const QString& reason) const;
    // Marks the line as failed and drops what it still buffers; returns error.
    [[nodiscard]] RuntimeError giveUp(RuntimeError error);
    void open();
    // Sends what is buffered, waits until the line has sent it, then closes;
    // the port is closed even when that fails.
    void close();
    void waitUntilSent();
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
};

} // namespace kestavo::platform
