// SPDX-License-Identifier: GPL-3.0-or-later
#include "pseudoterminal.h"

#include "posix.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kestavo::support
{
namespace
{

constexpr std::string_view kAdvice =
    "A pseudo-terminal is needed as the line; check that /dev/ptmx exists and /dev/pts is mounted";

} // namespace

PseudoTerminal::PseudoTerminal()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_master < 0)
        throw SystemError("Cannot create a pseudo-terminal (posix_openpt)", kAdvice);
    try {
        if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            throw SystemError("Cannot unlock the pseudo-terminal's slave side", kAdvice);
        const char* name = ::ptsname(m_master);
        if (name == nullptr)
            throw SystemError("Cannot name the pseudo-terminal's slave side (ptsname)", kAdvice);
        m_slavePath = name;
        m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_slave < 0)
            throw SystemError("Cannot open " + m_slavePath, kAdvice);
        // No echo and no line editing: bytes arrive as they were written.
        termios raw{};
        if (::tcgetattr(m_master, &raw) != 0)
            throw SystemError("Cannot read the settings of " + m_slavePath, kAdvice);
        ::cfmakeraw(&raw);
        if (::tcsetattr(m_master, TCSANOW, &raw) != 0)
            throw SystemError("Cannot put " + m_slavePath + " in raw mode", kAdvice);
    } catch (...) {
        closeAll();
        throw;
    }
}

PseudoTerminal::~PseudoTerminal()
{
    closeAll();
}

void PseudoTerminal::closeAll()
{
    // Nothing is left to do about a failed close at the end.
    if (m_slave >= 0)
        (void)::close(m_slave);
    m_slave = -1;
    closeMaster();
}

void PseudoTerminal::closeMaster()
{
    if (m_master >= 0)
        (void)::close(m_master);
    m_master = -1;
}

std::string PseudoTerminal::readNow(std::size_t limit)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(m_master, buffer, std::min(sizeof buffer, limit));
        if (got > 0)
            return std::string(buffer, static_cast<std::size_t>(got));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno != EAGAIN)
            throw SystemError("Cannot read the pseudo-terminal " + m_slavePath, kAdvice);
        return {};
    }
}

std::string PseudoTerminal::drain()
{
    std::string bytes;
    if (m_master < 0)
        return bytes;
    for (std::string more = readNow(4096); !more.empty(); more = readNow(4096))
        bytes += more;
    return bytes;
}

std::optional<PseudoTerminal::Clock::time_point>
PseudoTerminal::waitForByte(std::chrono::milliseconds timeout)
{
    const short events = waitReadable(m_master, Clock::now() + timeout);
    const auto now = Clock::now();
    if (events == 0)
        return std::nullopt;
    if ((events & POLLIN) != 0)
        return now;
    throw SystemError("The pseudo-terminal " + m_slavePath + " hung up", EIO,
                      "The program on its other side may have closed it and ended");
}

std::string PseudoTerminal::read(std::size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::string bytes;
    if (m_master < 0)
        return bytes;
    while (bytes.size() < count) {
        const std::string more = readNow(4096);
        bytes += more;
        if (!more.empty())
            continue;
        if (Clock::now() >= deadline || (waitReadable(m_master, deadline) & POLLIN) == 0)
            break;
    }
    return bytes;
}

} // namespace kestavo::support
