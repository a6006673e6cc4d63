#pragma once

#include <QString>

#include <cstdio>
#include <functional>

namespace kestavo::platform
{

class Dialogs;
class RuntimeError;

// Exit statuses of the program.
inline constexpr int kExitNormal = 0;
inline constexpr int kExitRuntimeError = 1;

// The common error path: every run-time error ends up here, is shown in a
// message box and as one line on standard error, and ends the program.
class ErrorPath
{
public:
    explicit ErrorPath(Dialogs& dialogs, std::FILE* errorStream = stderr);

    // Reports the error; returns the exit status the program ends with.
    [[nodiscard]] int report(const RuntimeError& error);

    // Runs body and returns its exit status, or reports whatever it throws.
    [[nodiscard]] int run(const std::function<int()>& body);

    [[nodiscard]] static QString boxText(const RuntimeError& error);
    [[nodiscard]] static QString logLine(const RuntimeError& error);

private:
    Dialogs& m_dialogs;
    std::FILE* m_errorStream;
};

} // namespace kestavo::platform
