// SPDX-License-Identifier: GPL-3.0-or-later
#include "errnotext.h"

#include <cstring>

namespace kestavo::platform::host
{

std::string errnoText(int error)
{
    // The GNU strerror_r: thread-safe, and it may return a static string
    // instead of filling the buffer.
    char buffer[256];
    return ::strerror_r(error, buffer, sizeof buffer);
}

QString errnoReason(int error)
{
    return QString::fromLocal8Bit(errnoText(error).c_str());
}

} // namespace kestavo::platform::host
