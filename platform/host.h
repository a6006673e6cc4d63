// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

// Everything that depends on the host operating system. Porting Kestavo to
// another host means another implementation of this header, nothing else.
namespace kestavo::platform::host
{

enum class FileKind {
    Missing,
    Regular, // a regular file, or a link to one
    Directory,
    Special,    // FIFO, socket or device
    BrokenLink, // a link whose target does not exist
};

// What is at path, following links.
[[nodiscard]] FileKind fileKind(const QString& path);

// Reads at most limit bytes from the start of a regular file without ever
// blocking, even if the file has been swapped for a FIFO meanwhile. On
// failure returns nullopt and puts the cause, in words, in reason.
[[nodiscard]] std::optional<QByteArray> readFileHead(const QString& path, qsizetype limit,
                                                     QString& reason);

// Makes the data written through handle reach the storage device, so that a
// full or failing disk shows here rather than after the file is in place. On
// failure returns false and puts the cause, in words, in reason.
[[nodiscard]] bool syncToDevice(qintptr handle, QString& reason);

// The per-user port table: $XDG_CONFIG_HOME/kestavo/ports, or
// ~/.config/kestavo/ports when XDG_CONFIG_HOME is unset.
[[nodiscard]] QString portTableDirectory();

// Where a port number leads.
struct PortDevice {
    QString device; // the path to open; empty when the number has no device
    QString origin; // how the number was mapped, for error reports
};

// The host's own numbering: 1-32 -> /dev/ttyS0-31, 33-64 ->
// /dev/ttyUSB0-31, 65-96 -> /dev/ttyACM0-31. Any other number has no device.
[[nodiscard]] std::optional<QString> builtInDevice(std::int16_t portNumber);

// What a link holds, as bytes, without following it. On failure returns
// nullopt and puts the cause, in words, in reason.
[[nodiscard]] std::optional<QByteArray> readLinkText(const QString& path, QString& reason);

// The longest path the host takes, in bytes.
[[nodiscard]] qsizetype pathLimit();

// The built-in number of a device ("/dev/ttyUSB0" -> 33), or nullopt when
// the built-in numbering does not reach it.
[[nodiscard]] std::optional<std::int16_t> builtInPortNumber(const QString& device);

// A serial device that the system reports, with what it knows of it.
struct SystemPort {
    QString device; // "/dev/ttyUSB0"
    QString description;
    QString manufacturer;
    QString serialNumber;
    QString stableName; // its link under /dev/serial/by-id, or empty
};

// The serial devices with hardware behind them; device nodes without a UART
// (most /dev/ttyS*) are left out. Slow compared with a start-up: ask only
// when the user needs to choose a port.
[[nodiscard]] QList<SystemPort> systemPorts();

// Tests hand in the devices systemPorts() reports instead of the machine's
// own; an empty function goes back to the machine's.
void replaceSystemPorts(std::function<QList<SystemPort>()> source);

// The path under which a device is opened and locked, so that two links to
// the same device count as the same port. Empty when the device is missing.
[[nodiscard]] QString canonicalDevicePath(const QString& device);

// Why opening a device failed, told apart as far as the host can.
enum class OpenFailure { NotFound, PermissionDenied, InUse, Other };

// Called after an open failed that the serial library reports as a
// permission problem, which on Linux covers both "not allowed" and "locked
// by another program".
[[nodiscard]] OpenFailure classifyPermissionFailure(const QString& device);

// The name of the group that owns a device ("dialout"), or empty.
[[nodiscard]] QString deviceGroup(const QString& device);

// Whether the open line behind handle has modem-control lines (RTS, DTR).
// A pseudo-terminal has none. On failure returns nullopt with the cause.
[[nodiscard]] std::optional<bool> hasModemControlLines(qintptr handle, QString& reason);

// Bytes the open line behind handle has taken but not yet sent. On failure
// returns nullopt with the cause in reason.
[[nodiscard]] std::optional<qint64> outputQueued(qintptr handle, QString& reason);

enum class WaitResult { Writable, TimedOut, Failed };

// Waits until the open line behind handle takes more output, or timeout
// passes. Never reads. On failure puts the cause, in words, in reason.
[[nodiscard]] WaitResult waitWritable(qintptr handle, std::chrono::milliseconds timeout,
                                      QString& reason);

enum class DrainResult { Sent, TimedOut, Failed };

// Waits until the line behind handle has sent every byte it took, the
// kernel's queue and the device's own buffer included, or timeout passes.
// On failure puts the cause, in words, in reason.
[[nodiscard]] DrainResult drainLine(qintptr handle, std::chrono::milliseconds timeout,
                                    QString& reason);

// Tests hand in what drainLine() does instead, to see when it is called;
// an empty function goes back to the host's own.
void replaceLineDrain(
    std::function<DrainResult(qintptr, std::chrono::milliseconds, QString&)> drain);

// An IP address as written on the command line: "192.168.1.5", "::1".
struct IpAddress {
    bool loopback = false; // only this machine can reach it
};
// What text is as an IP address, or nullopt when it is none.
[[nodiscard]] std::optional<IpAddress> ipAddress(const QString& text);

// A listening TCP socket on address (an IP literal) and port, non-blocking
// and closed on exec; -1 with the cause, in words, in reason on failure.
[[nodiscard]] int listenTcp(const QString& address, std::uint16_t port, QString& reason);

// The next waiting connection, non-blocking, closed on exec and probed
// with TCP keepalive, so that a peer that vanished is noticed. -1 when
// none waits or the client left before it was taken (reason empty), or on
// a failure of the listening socket itself (reason set).
[[nodiscard]] int acceptConnection(int listener, QString& reason);

// The way a connection stands after a transfer.
enum class StreamState { Open, Ended };

// Appends to into what has arrived on socket, at most limit bytes. Ended
// when the client closed its side or the connection failed.
[[nodiscard]] StreamState receiveSome(int socket, QByteArray& into, qsizetype limit);

// Sends as much of from as the socket takes now, and removes that from it;
// never raises SIGPIPE. Ended when the connection failed.
[[nodiscard]] StreamState sendSome(int socket, QByteArray& from);

// Who is at the other end of a connection, as "address:port"; empty when
// the host cannot tell.
[[nodiscard]] QString peerName(int socket);

// Closes a socket. On Linux the descriptor is gone even when close()
// reports an error, and nothing of a socket's is left to lose then.
void closeSocket(int socket);

// A descriptor that becomes readable when the program is asked to end by a
// signal (SIGTERM, SIGINT, SIGHUP), so that the event loop can end it in
// order. A signal that was ignored when the program started (nohup) stays
// ignored. Set up once per process; -1 with the cause in reason on failure.
[[nodiscard]] int terminationRequests(QString& reason);
// Takes the pending requests off that descriptor.
void clearTerminationRequests();

} // namespace kestavo::platform::host
