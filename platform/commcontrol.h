// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdint>

namespace kestavo::platform
{

// The serial port object as the program uses it: property assignments, and
// one count to read. Each takes effect or throws RuntimeError.
class CommControl
{
public:
    virtual ~CommControl() = default;

    // Selects the port number for the next open.
    virtual void setCommPort(std::int16_t portNumber) = 0;
    // True opens the selected port, false closes it.
    virtual void setPortOpen(bool open) = 0;
    // RTS asserted while the port is open.
    virtual void setRTSEnable(bool enable) = 0;
    // Characters one read would return; kept, since the program never reads.
    virtual void setInputLen(std::int16_t length) = 0;
    // "baud,parity,data bits,stop bits", applied at once if the port is open.
    virtual void setSettings(const QString& settings) = 0;
    // Sends the characters on the line, one byte each.
    virtual void setOutput(const QString& text) = 0;
    // Bytes handed over but not yet sent on the line; 0 while closed.
    [[nodiscard]] virtual qint64 outBufferCount() const = 0;
    // The next open reads the line too; without it the port is write-only
    // and nothing the device sends is kept.
    virtual void setReading(bool enable) = 0;
    // At most InputLen characters the line has received (all of them when
    // InputLen is 0); empty when none wait.
    [[nodiscard]] virtual QString input() = 0;
    // Drops what the line has received and nobody has read, the device's
    // and the kernel's share included.
    virtual void discardInput() = 0;
};

} // namespace kestavo::platform
