// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/host/errnotext.h"

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kestavo::support
{

// errno's text in the same words as Kestavo's own messages.
using platform::host::errnoText;

// A failed system call: what failed, errno's text, and what to do about it.
class SystemError : public std::runtime_error
{
public:
    // Takes errno as it is now.
    SystemError(std::string_view what, std::string_view advice);
    SystemError(std::string_view what, int error, std::string_view advice);

    [[nodiscard]] int error() const { return m_error; }

private:
    int m_error;
};

// poll()'s timeout for the time left until a deadline: whole milliseconds
// rounded up, so that a wait never ends just before the deadline, and never
// negative.
[[nodiscard]] int pollTimeout(std::chrono::steady_clock::duration left);

// Waits until fd has something to read or the deadline passes, restarting
// after signals. Returns poll's revents, 0 at the deadline; throws on failure.
[[nodiscard]] short waitReadable(int fd, std::chrono::steady_clock::time_point deadline);

} // namespace kestavo::support
