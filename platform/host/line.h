// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <chrono>
#include <functional>
#include <optional>

// An open serial line: its modem lines, its output queue, waiting until it
// takes more and until it has sent everything.
namespace kestavo::platform::host
{

// Whether the open line behind handle has modem-control lines (RTS, DTR).
// A pseudo-terminal has none. On failure returns nullopt with the cause.
[[nodiscard]] std::optional<bool> hasModemControlLines(qintptr handle, QString& reason);

// Bytes the open line behind handle has taken but not yet sent. On failure
// returns nullopt with the cause in reason.
[[nodiscard]] std::optional<qint64> outputQueued(qintptr handle, QString& reason);

// The same, telling a line that has no output queue to ask (it is no
// terminal) apart from one where asking failed.
struct QueueReading {
    std::optional<qint64> bytes;
    bool askable = true;
};
[[nodiscard]] QueueReading readOutputQueue(qintptr handle, QString& reason);

enum class WaitResult { Writable, TimedOut, Failed };

// Waits until the open line behind handle takes more output, or timeout
// passes. Never reads. On failure puts the cause, in words, in reason.
[[nodiscard]] WaitResult waitWritable(qintptr handle, std::chrono::milliseconds timeout,
                                      QString& reason);

// Whether the line behind handle hung up (the device was unplugged or
// switched off) or reports an error; reason says which.
[[nodiscard]] bool lineHungUp(qintptr handle, QString& reason);

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

} // namespace kestavo::platform::host
