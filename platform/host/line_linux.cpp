// SPDX-License-Identifier: GPL-3.0-or-later
#include "line.h"

#include "errnotext.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <future>
#include <memory>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <thread>
#include <unistd.h>

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
    return readOutputQueue(handle, reason).bytes;
}

QueueReading readOutputQueue(qintptr handle, QString& reason)
{
    int queued = 0;
    if (::ioctl(static_cast<int>(handle), TIOCOUTQ, &queued) != 0) {
        const int cause = errno;
        reason = errnoReason(cause);
        return QueueReading{std::nullopt, cause != ENOTTY && cause != EINVAL};
    }
    return QueueReading{queued, true};
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

bool lineHungUp(qintptr handle, QString& reason)
{
    pollfd line{static_cast<int>(handle), POLLIN, 0};
    if (::poll(&line, 1, 0) < 0) {
        reason = errnoReason(errno);
        return false;
    }
    if (line.revents & POLLHUP)
        return true;
    if (line.revents & POLLERR)
        reason = QStringLiteral("the line reports an error");
    return false;
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
    // taking bytes, so it runs aside on its own descriptor, which the port's
    // close cannot pull from under it; if it never returns, its thread ends
    // with the program, which is ending anyway.
    const int line = ::fcntl(static_cast<int>(handle), F_DUPFD_CLOEXEC, 0);
    if (line < 0) {
        reason = errnoReason(errno);
        return DrainResult::Failed;
    }
    auto outcome = std::make_shared<std::promise<int>>();
    std::future<int> drained = outcome->get_future();
    // The termination signals stay with the event loop's thread: the new
    // thread inherits this mask.
    sigset_t blocked;
    sigset_t previous;
    ::sigemptyset(&blocked);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT})
        ::sigaddset(&blocked, signal);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    try {
        std::thread([line, outcome] {
            int result = 0;
            do
                result = ::tcdrain(line);
            while (result != 0 && errno == EINTR);
            const int error = result == 0 ? 0 : errno;
            ::close(line);
            outcome->set_value(error);
        }).detach();
    } catch (const std::system_error& error) {
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        ::close(line);
        reason = QStringLiteral("cannot start a thread to wait for the line (%1)")
                     .arg(QString::fromLocal8Bit(error.what()));
        return DrainResult::Failed;
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
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
