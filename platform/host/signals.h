// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace kestavo::platform::host
{

// A descriptor that becomes readable when the program is asked to end by a
// signal (SIGTERM, SIGINT, SIGHUP), so that the event loop can end it in
// order. A signal that was ignored when the program started (nohup) stays
// ignored. Set up once per process; -1 with the cause in reason on failure.
[[nodiscard]] int terminationRequests(QString& reason);
// Takes the pending requests off that descriptor.
void clearTerminationRequests();

// A write to a pipe whose reader is gone (standard error into a tee that
// ended) fails with EPIPE instead of killing the program, which would skip
// the drain and leave the port locked. For the whole process; false with the
// cause in reason on failure.
[[nodiscard]] bool ignoreBrokenPipes(QString& reason);

} // namespace kestavo::platform::host
