// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

#include <cstdio>
#include <optional>

namespace kestavo::app
{

// Answers --version, --help and --list-ports on out before any display is needed. Returns
// the exit status when one of them was asked for; nullopt otherwise, and every
// other argument is left to Qt (-platform, -display, ...).
[[nodiscard]] std::optional<int> answerInformationRequest(const QStringList& arguments,
                                                          std::FILE* out);

} // namespace kestavo::app
