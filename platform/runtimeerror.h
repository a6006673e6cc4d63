// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <stdexcept>

namespace kestavo::platform
{

// Run-time error numbers. They appear in the error report and in the README,
// so a number, once given out, keeps its meaning.
enum class ErrorNumber : int {
    TypeMismatch = 13,        // text is not a number
    Overflow = 6,             // number outside -32768..32767
    FileUnreadable = 201,     // a file cannot be opened or read
    FileItemNotANumber = 202, // a file does not start with a number
    FileUnwritable = 203,     // a file cannot be created, written or closed
    InvalidPortNumber = 301,  // the number has no device behind it
    DeviceNotFound = 302,     // the device for the number does not exist
    PermissionDenied = 303,   // the user may not open the device
    PortInUse = 304,          // another program holds the device
    PortOpenFailed = 305,     // any other failure to open the device
    RtsFailed = 306,          // RTS could not be set
    InvalidSettings = 307,    // the line settings text does not parse
    SettingsRejected = 308,   // the device refused a line setting
    InvalidPropertyValue = 309,
    PortAlreadyOpen = 310, // an assignment that needs the port closed
    PortNotOpen = 311,     // an operation that needs the port open
    WriteFailed = 312,     // bytes could not be sent on the line
    DisplayLost = 401,     // the display went away while running
    NoDisplay = 402,       // no display could be reached at start
    ListenFailed = 501,    // the network front door cannot listen or take connections
    WebFailed = 502,       // the web page cannot be served
    Internal = 999,
};

// The one exception type of the program: what failed, as a number and a
// description that tells the user what to do about it.
class RuntimeError : public std::runtime_error
{
public:
    RuntimeError(ErrorNumber number, QString description);

    [[nodiscard]] ErrorNumber number() const noexcept { return m_number; }
    [[nodiscard]] int code() const noexcept { return static_cast<int>(m_number); }
    [[nodiscard]] const QString& description() const noexcept { return m_description; }

    // The same error with a sentence added that tells the user more, such as
    // where a bad value came from.
    [[nodiscard]] RuntimeError withHint(const QString& hint) const;

private:
    ErrorNumber m_number;
    QString m_description;
};

} // namespace kestavo::platform
