// SPDX-License-Identifier: GPL-3.0-or-later
#include "notices.h"

#include <cerrno>
#include <climits>
#include <poll.h>
#include <unistd.h>

namespace kestavo::platform::host
{

bool tryWriteNotice(int fd, QByteArrayView line)
{
    // Up to PIPE_BUF a pipe that polls writable takes the line whole, so the
    // write below cannot block halfway.
    if (line.size() > PIPE_BUF)
        return false;
    pollfd room{fd, POLLOUT, 0};
    int ready = 0;
    do {
        ready = ::poll(&room, 1, 0);
    } while (ready < 0 && errno == EINTR);
    if (ready != 1 || !(room.revents & POLLOUT))
        return false;
    // Not retried after EINTR: the room may be gone by then.
    return ::write(fd, line.data(), static_cast<size_t>(line.size())) == line.size();
}

} // namespace kestavo::platform::host
