// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSerialPort>
#include <QString>

#include <optional>

namespace kestavo::platform
{

// The line settings of a serial port, as in "4800,n,8,1": baud rate, parity
// letter (n, e, o, m or s), data bits (5-8), stop bits (1, 1.5 or 2).
struct LineSettings {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// nullopt when text is not of that form.
[[nodiscard]] std::optional<LineSettings> parseLineSettings(const QString& text);

} // namespace kestavo::platform
