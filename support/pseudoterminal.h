// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace kestavo::support
{

// A raw pseudo-terminal pair standing in for a serial line: a program opens
// the slave side as its port, the owner of this object reads and writes the
// master side. The slave side is held open too, so that the line stays up
// while programs open and close it. Throws SystemError when it cannot be made.
class PseudoTerminal
{
public:
    using Clock = std::chrono::steady_clock;

    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    [[nodiscard]] const std::string& slavePath() const { return m_slavePath; }
    // Non-blocking; -1 once closeMaster() has run.
    [[nodiscard]] int masterFd() const { return m_master; }
    [[nodiscard]] int slaveFd() const { return m_slave; }

    // When the master side became readable, or nullopt after timeout.
    // Throws if the line hung up instead.
    [[nodiscard]] std::optional<Clock::time_point> waitForByte(std::chrono::milliseconds timeout);
    // Reads until at least count bytes arrived or timeout passed; bytes
    // that came with the last of them are returned too.
    [[nodiscard]] std::string read(std::size_t count, std::chrono::milliseconds timeout);
    // What has arrived so far, without waiting.
    std::string drain();

    // Hangs up the line as a device that goes away does: writes to the slave
    // side fail from now on.
    void closeMaster();

private:
    void closeAll();
    // What one read() gives: bytes, or empty when nothing is there now.
    [[nodiscard]] std::string readNow(std::size_t limit);

    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

} // namespace kestavo::support
