// SPDX-License-Identifier: GPL-3.0-or-later
#include "linesettings.h"

#include <QStringList>

namespace kestavo::platform
{

std::optional<LineSettings> parseLineSettings(const QString& text)
{
    const QStringList fields = text.split(u',');
    if (fields.size() != 4)
        return std::nullopt;

    LineSettings settings;
    for (QChar c : fields[0]) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    bool ok = false;
    settings.baudRate = fields[0].toInt(&ok);
    if (!ok || settings.baudRate <= 0)
        return std::nullopt;

    const QString parity = fields[1].toLower();
    if (parity == u"n")
        settings.parity = QSerialPort::NoParity;
    else if (parity == u"e")
        settings.parity = QSerialPort::EvenParity;
    else if (parity == u"o")
        settings.parity = QSerialPort::OddParity;
    else if (parity == u"m")
        settings.parity = QSerialPort::MarkParity;
    else if (parity == u"s")
        settings.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;

    const QString& dataBits = fields[2];
    if (dataBits == u"5")
        settings.dataBits = QSerialPort::Data5;
    else if (dataBits == u"6")
        settings.dataBits = QSerialPort::Data6;
    else if (dataBits == u"7")
        settings.dataBits = QSerialPort::Data7;
    else if (dataBits == u"8")
        settings.dataBits = QSerialPort::Data8;
    else
        return std::nullopt;

    const QString& stopBits = fields[3];
    if (stopBits == u"1")
        settings.stopBits = QSerialPort::OneStop;
    else if (stopBits == u"1.5")
        settings.stopBits = QSerialPort::OneAndHalfStop;
    else if (stopBits == u"2")
        settings.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;

    return settings;
}

} // namespace kestavo::platform
