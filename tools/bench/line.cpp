#include "line.h"

#include "failure.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace kestavo::bench
{
namespace
{

constexpr std::string_view kPtyAdvice =
    "Pseudo-terminals are needed as the line; check that /dev/pts is mounted";

[[nodiscard]] int pollMs(std::chrono::steady_clock::duration left)
{
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms < 0 ? 0 : static_cast<int>(ms);
}

} // namespace

Line::Line()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_master < 0)
        throw systemFailure("Cannot create a pseudo-terminal", kPtyAdvice);
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        throw systemFailure("Cannot unlock the pseudo-terminal", kPtyAdvice);
    const char* name = ::ptsname(m_master);
    if (name == nullptr)
        throw systemFailure("Cannot name the pseudo-terminal", kPtyAdvice);
    m_slavePath = name;
    // Held open so that the line stays up while programs open and close it.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        throw systemFailure("Cannot open the pseudo-terminal's slave side " + m_slavePath,
                            kPtyAdvice);
    // Raw, so that both programs' bytes arrive as written.
    termios raw{};
    if (::tcgetattr(m_master, &raw) != 0)
        throw systemFailure("Cannot read the pseudo-terminal's settings", kPtyAdvice);
    ::cfmakeraw(&raw);
    if (::tcsetattr(m_master, TCSANOW, &raw) != 0)
        throw systemFailure("Cannot make the pseudo-terminal raw", kPtyAdvice);
}

Line::~Line()
{
    // Nothing is left to do about a failed close at the end.
    if (m_slave >= 0)
        (void)::close(m_slave);
    if (m_master >= 0)
        (void)::close(m_master);
}

void Line::drain()
{
    char buffer[256];
    for (;;) {
        const ssize_t got = ::read(m_master, buffer, sizeof buffer);
        if (got > 0)
            continue;
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno != EAGAIN)
            throw systemFailure("Cannot read the pseudo-terminal", kPtyAdvice);
        return;
    }
}

std::optional<Line::Clock::time_point> Line::waitForByte(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        pollfd ready{m_master, POLLIN, 0};
        const int result = ::poll(&ready, 1, pollMs(deadline - Clock::now()));
        const auto now = Clock::now();
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0)
            throw systemFailure("Cannot wait on the pseudo-terminal", kPtyAdvice);
        if (result == 0)
            return std::nullopt;
        if ((ready.revents & POLLIN) != 0)
            return now;
        throw Failure("The pseudo-terminal hung up while waiting for a byte; the program under "
                      "test may have closed it and ended, see its log");
    }
}

std::string Line::read(std::size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::string bytes;
    while (bytes.size() < count) {
        char buffer[256];
        const ssize_t got = ::read(m_master, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (got > 0) {
            bytes.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && errno != EAGAIN)
            throw systemFailure("Cannot read the pseudo-terminal", kPtyAdvice);
        if (Clock::now() >= deadline)
            break;
        pollfd ready{m_master, POLLIN, 0};
        if (::poll(&ready, 1, pollMs(deadline - Clock::now())) < 0 && errno != EINTR)
            throw systemFailure("Cannot wait on the pseudo-terminal", kPtyAdvice);
    }
    return bytes;
}

} // namespace kestavo::bench
