// SPDX-License-Identifier: GPL-3.0-or-later
#include "failure.h"

#include "support/posix.h"

#include <cerrno>

namespace kestavo::bench
{

Failure systemFailure(std::string_view what, std::string_view advice)
{
    return Failure(support::SystemError(what, errno, advice).what());
}

} // namespace kestavo::bench
