// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "commcontrol.h"
#include "host/line.h"
#include "linesettings.h"
#include "runtimeerror.h"
#include "senttracker.h"

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
    // Everything written has left the line: the next command goes out
    // behind nothing. Told once per write, or once for writes that left
    // together.
    void lineFree();
    // The line had hung up when the port closed, but everything written
    // had been sent before: nothing was lost, so this is no failure.
    void lineGone(const QString& notice);

    // A failure that QSerialPort reports after an assignment has returned,
    // such as a write to a device that went away.
    void failed(const kestavo::platform::RuntimeError& error);

private:
    // Marks a call whose failures are thrown, so they are not signalled too.
    class SyncCall
    {
    public:
        explicit SyncCall(SerialControl& control) : m_control(control) { ++m_control.m_syncCalls; }
        ~SyncCall() { --m_control.m_syncCalls; }
        SyncCall(const SyncCall&) = delete;
        SyncCall& operator=(const SyncCall&) = delete;

    private:
        SerialControl& m_control;
    };

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
    // Reads the output queue into the tracker; looks again while what was
    // written may still leave, and tells when it has.
    void checkSent();
    void lookAgainLater();
    void noteQueue(const host::QueueReading& reading);
    [[nodiscard]] std::chrono::nanoseconds byteTime() const;
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
    SentTracker m_sent;
    QTimer m_sentCheck;
};

} // namespace kestavo::platform
