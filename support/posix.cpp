// SPDX-License-Identifier: GPL-3.0-or-later
#include "posix.h"

#include <cerrno>
#include <poll.h>

namespace kestavo::support
{
namespace
{

[[nodiscard]] std::string message(std::string_view what, int error, std::string_view advice)
{
    std::string text(what);
    text += ": ";
    text += errnoText(error);
    if (!advice.empty()) {
        text += ". ";
        text += advice;
    }
    return text;
}

} // namespace

SystemError::SystemError(std::string_view what, std::string_view advice)
    : SystemError(what, errno, advice)
{
}

SystemError::SystemError(std::string_view what, int error, std::string_view advice)
    : std::runtime_error(message(what, error, advice)), m_error(error)
{
}

int pollTimeout(std::chrono::steady_clock::duration left)
{
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms < 0 ? 0 : static_cast<int>(ms);
}

short waitReadable(int fd, std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        pollfd ready{fd, POLLIN, 0};
        const int result =
            ::poll(&ready, 1, pollTimeout(deadline - std::chrono::steady_clock::now()));
        if (result < 0 && errno == EINTR)
            continue;
        if (result < 0)
            throw SystemError("Cannot wait on file descriptor " + std::to_string(fd), "");
        return result == 0 ? 0 : ready.revents;
    }
}

} // namespace kestavo::support
