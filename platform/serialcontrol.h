#pragma once

#include "commcontrol.h"
#include "linesettings.h"

#include <QObject>
#include <QSerialPort>

namespace kestavo::platform
{

class RuntimeError;

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

    [[nodiscard]] bool isOpen() const { return m_port.isOpen(); }
    // The device the port was opened on, for messages and tests.
    [[nodiscard]] QString devicePath() const { return m_device; }
    [[nodiscard]] std::int16_t inputLen() const { return m_inputLen; }

private:
    void open();
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
    QString m_origin;
    QString m_systemPath; // m_device with all links resolved
};

} // namespace kestavo::platform
