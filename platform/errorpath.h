// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "host/notices.h"
#include "runtimeerror.h"

#include <QString>

#include <cstdio>
#include <functional>
#include <optional>

namespace kestavo::platform
{

class Dialogs;

// Exit statuses of the program.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitRuntimeError = 1;
// A command line Kestavo does not understand.
inline constexpr int kExitUsage = 2;

// One line that ends nothing, "kestavo: " first, on standard error unless
// another descriptor is given. It never waits: a line that cannot be
// written now is dropped. Whether it was written.
bool notice(const QString& text, int fd = host::kStandardError);

// The common error path: every run-time error ends up here, is shown in a
// message box and as one line on standard error, and ends the program.
class ErrorPath
{
public:
    explicit ErrorPath(Dialogs& dialogs, std::FILE* errorStream = stderr);

    // Reports the error; returns the exit status the program ends with.
    [[nodiscard]] int report(const RuntimeError& error);
    // The same on standard error only, for when no box can be shown.
    [[nodiscard]] int reportWithoutBox(const RuntimeError& error);

    // Runs step; returns what it threw as a run-time error, an exception of
    // any other kind as an internal error, or nullopt if it threw nothing.
    [[nodiscard]] static std::optional<RuntimeError> failureOf(const std::function<void()>& step);

    [[nodiscard]] static QString boxText(const RuntimeError& error);
    [[nodiscard]] static QString logLine(const RuntimeError& error);

private:
    Dialogs& m_dialogs;
    std::FILE* m_errorStream;
};

} // namespace kestavo::platform
