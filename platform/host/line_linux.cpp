// SPDX-License-Identifier: GPL-3.0-or-later
#include "line.h"

#include "errnotext.h"

#include <cerrno>
#include <future>
#include <memory>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>

namespace kestavo::platform::host
{
std::optional<bool> hasModemControlLines(qintptr handle, QString& reason)
{
    int status = 0;
    if (::ioctl(static_cast<int>(handle), TIOCMGET, &status) == 0)
        return true;
    // A pseudo-terminal answers "Inappropriate ioctl for device".
    if (errno == ENOTTY || errno == EINVAL)
        return false;
    reason = errnoReason(errno);
    return std::nullopt;
}

std::optional<qint64> outputQueued(qintptr handle, QString& reason)
{
    int queued = 0;
    if (::ioctl(static_cast<int>(handle), TIOCOUTQ, &queued) != 0) {
        reason = errnoReason(errno);
        return std::nullopt;
    }
    return queued;
}

WaitResult waitWritable(qintptr handle, std::chrono::milliseconds timeout, QString& reason)
{
    pollfd line{static_cast<int>(handle), POLLOUT, 0};
    const int ready = ::poll(&line, 1, static_cast<int>(timeout.count()));
    if (ready < 0) {
        if (errno == EINTR)
            return WaitResult::TimedOut;
        reason = errnoReason(errno);
        return WaitResult::Failed;
    }
    if (ready == 0)
        return WaitResult::TimedOut;
    if (line.revents & POLLNVAL) {
        reason = QStringLiteral("the line is no longer open");
        return WaitResult::Failed;
    }
    // A hang-up or error is left to the write that follows, which says why.
    return WaitResult::Writable;
}

namespace
{

std::function<DrainResult(qintptr, std::chrono::milliseconds, QString&)> g_lineDrain;

} // namespace

DrainResult drainLine(qintptr handle, std::chrono::milliseconds timeout, QString& reason)
{
    if (g_lineDrain)
        return g_lineDrain(handle, timeout, reason);
    // tcdrain() has no timeout and blocks for good on a device that stopped
    // taking bytes, so it runs aside; if it never returns, its thread ends
    // with the program, which is ending anyway.
    auto outcome = std::make_shared<std::promise<int>>();
    std::future<int> drained = outcome->get_future();
    std::thread([line = static_cast<int>(handle), outcome] {
        int result = 0;
        do
            result = ::tcdrain(line);
        while (result != 0 && errno == EINTR);
        outcome->set_value(result == 0 ? 0 : errno);
    }).detach();
    if (drained.wait_for(timeout) == std::future_status::timeout)
        return DrainResult::TimedOut;
    if (const int error = drained.get()) {
        reason = errnoReason(error);
        return DrainResult::Failed;
    }
    return DrainResult::Sent;
}

void replaceLineDrain(
    std::function<DrainResult(qintptr, std::chrono::milliseconds, QString&)> drain)
{
    g_lineDrain = std::move(drain);
}

} // namespace kestavo::platform::host
