// SPDX-License-Identifier: GPL-3.0-or-later
#include "child.h"

#include "failure.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace kestavo::bench
{
namespace
{

constexpr std::string_view kForkAdvice = "The machine may be out of processes or memory";

[[nodiscard]] std::vector<std::string>
environmentWith(const std::vector<std::pair<std::string, std::string>>& variables)
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        bool replaced = false;
        for (const auto& [name, value] : variables)
            replaced = replaced || (text.size() > name.size() && text.starts_with(name) &&
                                    text[name.size()] == '=');
        if (!replaced)
            result.emplace_back(text);
    }
    for (const auto& [name, value] : variables)
        result.push_back(name + '=' + value);
    return result;
}

[[nodiscard]] std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (std::string& text : strings)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

// Only async-signal-safe calls between fork and exec.
[[noreturn]] void becomeChild(const Launch& launch, int logFd, int reportFd, char** argv,
                              char** envp)
{
    const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nullFd < 0 || ::dup2(nullFd, STDIN_FILENO) < 0 || ::dup2(logFd, STDOUT_FILENO) < 0 ||
        ::dup2(logFd, STDERR_FILENO) < 0 || ::chdir(launch.workingDirectory.c_str()) != 0) {
        const int error = errno;
        (void)!::write(reportFd, &error, sizeof error);
        ::_exit(127);
    }
    const std::int64_t now = Child::Clock::now().time_since_epoch().count();
    (void)!::write(reportFd, &now, sizeof now);
    ::execve(launch.program.c_str(), argv, envp);
    const int error = errno;
    (void)!::write(reportFd, &error, sizeof error);
    ::_exit(127);
}

} // namespace

Child::Child(const Launch& launch) : m_name(launch.program)
{
    std::vector<std::string> argumentStrings{launch.program};
    argumentStrings.insert(argumentStrings.end(), launch.arguments.begin(), launch.arguments.end());
    std::vector<std::string> environmentStrings = environmentWith(launch.variables);
    std::vector<char*> argv = pointers(argumentStrings);
    std::vector<char*> envp = pointers(environmentStrings);

    const int logFd =
        ::open(launch.logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (logFd < 0)
        throw systemFailure("Cannot open the log " + launch.logPath,
                            "Check that the scratch directory is writable");
    // Closed by a successful exec: what is left to read tells whether it was.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        (void)::close(logFd);
        throw systemFailure("Cannot create a pipe to start " + m_name, kForkAdvice);
    }
    m_pid = ::fork();
    if (m_pid < 0) {
        (void)::close(logFd);
        throw systemFailure("Cannot fork to start " + m_name, kForkAdvice);
    }
    if (m_pid == 0)
        becomeChild(launch, logFd, report[1], argv.data(), envp.data());

    (void)::close(logFd);
    (void)::close(report[1]);
    std::int64_t stamp = 0;
    int error = 0;
    ssize_t got = 0;
    do
        got = ::read(report[0], &stamp, sizeof stamp);
    while (got < 0 && errno == EINTR);
    const bool stamped = got == static_cast<ssize_t>(sizeof stamp);
    if (stamped) {
        do
            got = ::read(report[0], &error, sizeof error);
        while (got < 0 && errno == EINTR);
    } else if (got == static_cast<ssize_t>(sizeof error)) {
        std::memcpy(&error, &stamp, sizeof error);
    }
    (void)::close(report[0]);
    if (!stamped || got != 0) {
        (void)::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
        errno = error;
        throw systemFailure("Cannot start " + m_name,
                            "Build it first with `make build`; the log is " + launch.logPath);
    }
    m_startedAt = Clock::time_point(Clock::duration(stamp));
}

Child::~Child()
{
    if (m_pid > 0) {
        (void)::kill(m_pid, SIGKILL);
        (void)::waitpid(m_pid, nullptr, 0);
    }
}

int Child::waitForExit(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(m_pid, &status, WNOHANG);
        if (ended < 0 && errno == EINTR)
            continue;
        if (ended < 0)
            throw systemFailure("Cannot wait for " + m_name + " to end", "");
        if (ended == m_pid) {
            m_pid = -1;
            if (WIFSIGNALED(status))
                throw Failure(m_name + " was ended by signal " + std::to_string(WTERMSIG(status)) +
                              " instead of ending by itself; see its log");
            return WEXITSTATUS(status);
        }
        if (Clock::now() >= deadline)
            throw Failure(m_name + " did not end within " + std::to_string(timeout.count()) +
                          " ms of its window being closed; it was killed. See its log");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

long residentKiB(pid_t pid)
{
    const std::string path = "/proc/" + std::to_string(pid) + "/status";
    std::ifstream status(path);
    if (!status)
        throw Failure("Cannot read " + path +
                      ": the program under test may have ended; see its "
                      "log");
    std::string line;
    while (std::getline(status, line)) {
        if (!line.starts_with("VmRSS:"))
            continue;
        std::istringstream fields(line.substr(6));
        long kib = 0;
        std::string unit;
        if (fields >> kib >> unit && unit == "kB")
            return kib;
        break;
    }
    throw Failure("No VmRSS line in " + path + "; this kernel's /proc is not as expected");
}

} // namespace kestavo::bench
