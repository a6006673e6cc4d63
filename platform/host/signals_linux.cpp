// SPDX-License-Identifier: GPL-3.0-or-later
#include "signals.h"

#include "errnotext.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace kestavo::platform::host
{
namespace
{

int g_terminationPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int)
{
    // Only async-signal-safe calls here; a full pipe already says enough.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_terminationPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

int terminationRequests(QString& reason)
{
    if (g_terminationPipe[0] >= 0)
        return g_terminationPipe[0];
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        reason = errnoReason(errno);
        return -1;
    }
    g_terminationPipe[0] = ends[0];
    g_terminationPipe[1] = ends[1];
    struct sigaction action {
    };
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction current {
        };
        if (::sigaction(signalNumber, nullptr, &current) != 0) {
            reason = errnoReason(errno);
            return -1;
        }
        if (current.sa_handler == SIG_IGN)
            continue;
        if (::sigaction(signalNumber, &action, nullptr) != 0) {
            reason = errnoReason(errno);
            return -1;
        }
    }
    return g_terminationPipe[0];
}

void clearTerminationRequests()
{
    char bytes[64];
    while (g_terminationPipe[0] >= 0 && ::read(g_terminationPipe[0], bytes, sizeof bytes) > 0) {
    }
}

bool ignoreBrokenPipes(QString& reason)
{
    struct sigaction action {
    };
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    if (::sigaction(SIGPIPE, &action, nullptr) != 0) {
        reason = errnoReason(errno);
        return false;
    }
    return true;
}

} // namespace kestavo::platform::host
