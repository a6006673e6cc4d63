// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace kestavo::bench
{

struct Launch {
    std::string program;
    std::vector<std::string> arguments;
    // Set on top of the benchmark's own environment.
    std::vector<std::pair<std::string, std::string>> variables;
    std::string workingDirectory;
    // Its standard output and error go here.
    std::string logPath;
};

// A program started with fork and exec. One still running when this object
// goes is killed.
class Child
{
public:
    using Clock = std::chrono::steady_clock;

    explicit Child(const Launch& launch);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    [[nodiscard]] pid_t pid() const { return m_pid; }
    // Taken in the child just before exec.
    [[nodiscard]] Clock::time_point startedAt() const { return m_startedAt; }

    // Its exit status; throws if it did not end by itself within timeout, or
    // ended through a signal.
    [[nodiscard]] int waitForExit(std::chrono::milliseconds timeout);

private:
    std::string m_name;
    pid_t m_pid = -1;
    Clock::time_point m_startedAt;
};

// VmRSS of a running process, in KiB.
[[nodiscard]] long residentKiB(pid_t pid);

} // namespace kestavo::bench
