// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <string>

namespace kestavo::platform::host
{

// The text of an errno value, such as "No such file or directory". Free of
// Qt, so that the tools and tests report system errors with the same words.
[[nodiscard]] std::string errnoText(int error);

// The same as a reason in the program's messages.
[[nodiscard]] QString errnoReason(int error);

} // namespace kestavo::platform::host
