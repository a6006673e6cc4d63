// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>

// Lines on standard error while the event loop runs.
namespace kestavo::platform::host
{

inline constexpr int kStandardError = 2;

// Writes line to fd in one write if there is room for it now, and never
// waits: a full pipe or terminal (its reader stopped or gone) drops the line.
// The descriptor's flags stay as they are, since a shell's terminal or pipe
// shares them. Whether the whole line was written; a line longer than the
// host writes in one piece is never written.
[[nodiscard]] bool tryWriteNotice(int fd, QByteArrayView line);

} // namespace kestavo::platform::host
