#include "failure.h"

#include <cerrno>
#include <cstring>

namespace kestavo::bench
{

Failure systemFailure(std::string_view what, std::string_view advice)
{
    std::string message(what);
    message += ": ";
    message += std::strerror(errno);
    if (!advice.empty()) {
        message += ". ";
        message += advice;
    }
    return Failure(message);
}

} // namespace kestavo::bench
