// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace kestavo::bench
{

// What stops the benchmark: what failed and what to do about it.
class Failure : public std::runtime_error
{
public:
    explicit Failure(const std::string& message) : std::runtime_error(message) {}
};

// A failure of a system call: what failed, errno's text, and the advice.
[[nodiscard]] Failure systemFailure(std::string_view what, std::string_view advice);

} // namespace kestavo::bench
