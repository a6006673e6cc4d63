// SPDX-License-Identifier: GPL-3.0-or-later
#include "xserver.h"

#include "posix.h"

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <optional>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kestavo::support
{
namespace
{

using Clock = std::chrono::steady_clock;

constexpr std::string_view kXvfbAdvice = "Install Xvfb (Debian package xvfb)";
constexpr std::string_view kOpenboxAdvice = "Install openbox (Debian package openbox)";
// openbox may lose a race for its own cache directory when several servers
// start at once; a second start then finds it made.
constexpr int kOpenboxAttempts = 3;
constexpr std::chrono::milliseconds kProbeGap{20};

// Starts argv quietly, on display when one is given. keepFd survives exec.
[[nodiscard]] pid_t spawn(std::initializer_list<const char*> arguments, const std::string& display,
                          int keepFd = -1)
{
    std::vector<char*> argv;
    for (const char* argument : arguments)
        argv.push_back(const_cast<char*>(argument));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        throw SystemError(std::string("Cannot fork to start ") + argv[0],
                          "The machine may be out of processes or memory");
    if (pid > 0)
        return pid;
    // Only async-signal-safe calls from here to exec.
    if (keepFd >= 0 && ::fcntl(keepFd, F_SETFD, 0) != 0)
        ::_exit(127);
    const int nullFd = ::open("/dev/null", O_RDWR);
    if (nullFd >= 0) {
        (void)::dup2(nullFd, STDIN_FILENO);
        (void)::dup2(nullFd, STDOUT_FILENO);
        (void)::dup2(nullFd, STDERR_FILENO);
    }
    if (!display.empty())
        ::setenv("DISPLAY", display.c_str(), 1);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

void stopProcess(pid_t pid, int signal = SIGTERM)
{
    if (pid > 0 && ::kill(pid, signal) == 0)
        (void)::waitpid(pid, nullptr, 0);
}

// pid's exit status once it ended, nullopt while it runs.
[[nodiscard]] std::optional<int> exitStatus(pid_t pid)
{
    int status = 0;
    pid_t ended = 0;
    do
        ended = ::waitpid(pid, &status, WNOHANG);
    while (ended < 0 && errno == EINTR);
    if (ended != pid)
        return std::nullopt;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Whether the server on display number takes an X client: it answers the
// connection setup (little-endian, protocol 11.0, no authorisation) with a
// first byte of 1. Through the abstract socket, as libxcb connects on Linux.
[[nodiscard]] bool acceptsClient(const std::string& number, Clock::time_point deadline)
{
    const std::string name = "/tmp/.X11-unix/X" + number;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw SystemError("Cannot create a socket to reach Xvfb", "");
    static constexpr unsigned char kSetup[12] = {'l', 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    unsigned char answer = 0;
    bool accepted = false;
    try {
        accepted = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
                   ::write(fd, kSetup, sizeof kSetup) == static_cast<ssize_t>(sizeof kSetup) &&
                   waitReadable(fd, deadline) != 0 && ::read(fd, &answer, 1) == 1 && answer == 1;
    } catch (...) {
        (void)::close(fd);
        throw;
    }
    (void)::close(fd);
    return accepted;
}

} // namespace

XServer::XServer(WindowManager windowManager, std::string_view screen,
                 std::chrono::milliseconds timeout)
    : m_windowManager(windowManager)
{
    startXvfb(screen, timeout);
    if (windowManager == WindowManager::None)
        return;
    for (int attempt = 1; !startOpenbox(timeout); ++attempt) {
        if (attempt == kOpenboxAttempts) {
            stop();
            throw std::runtime_error("openbox ended at start " + std::to_string(attempt) +
                                     " times. " + std::string(kOpenboxAdvice));
        }
    }
}

XServer::~XServer()
{
    stop();
}

void XServer::kill()
{
    // The server first, so that its clients see the connection break.
    stopProcess(m_server, SIGKILL);
    stopProcess(m_manager, SIGKILL);
    m_manager = -1;
    m_server = -1;
}

void XServer::stop()
{
    stopProcess(m_manager);
    stopProcess(m_server);
    m_manager = -1;
    m_server = -1;
}

void XServer::startXvfb(std::string_view screen, std::chrono::milliseconds timeout)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw SystemError("Cannot create a pipe for Xvfb", "");
    const std::string screenText(screen);
    const std::string fdText = std::to_string(pipeFds[1]);
    try {
        // -noreset: by default the server resets whenever its last client
        // leaves, such as a probe before the program has connected, and turns
        // away whoever connects meanwhile.
        m_server = spawn({"Xvfb", "-displayfd", fdText.c_str(), "-screen", "0", screenText.c_str(),
                          "-nolisten", "tcp", "-noreset"},
                         {}, pipeFds[1]);
    } catch (...) {
        (void)::close(pipeFds[0]);
        (void)::close(pipeFds[1]);
        throw;
    }
    (void)::close(pipeFds[1]);
    // Xvfb writes its display number once it accepts connections.
    const auto deadline = Clock::now() + timeout;
    std::string number;
    try {
        while (waitReadable(pipeFds[0], deadline) != 0) {
            char c = 0;
            if (::read(pipeFds[0], &c, 1) != 1 || c == '\n')
                break;
            number.push_back(c);
        }
    } catch (...) {
        (void)::close(pipeFds[0]);
        stop();
        throw;
    }
    (void)::close(pipeFds[0]);
    if (number.empty()) {
        stop();
        throw std::runtime_error("Xvfb did not start within " + std::to_string(timeout.count()) +
                                 " ms. " + std::string(kXvfbAdvice));
    }
    m_display = ':' + number;
    // Its number says it listens; a client it takes says it serves.
    while (!acceptsClient(number, deadline)) {
        if (exitStatus(m_server))
            m_server = -1; // ended: nothing left to stop
        if (m_server < 0 || Clock::now() >= deadline) {
            stop();
            throw std::runtime_error("Xvfb on " + m_display + " took no client within " +
                                     std::to_string(timeout.count()) + " ms. " +
                                     std::string(kXvfbAdvice));
        }
        std::this_thread::sleep_for(kProbeGap);
    }
}

bool XServer::startOpenbox(std::chrono::milliseconds timeout)
{
    // openbox runs its --startup command once it has started. Taking over the
    // screen (_NET_SUPPORTING_WM_CHECK, what wmctrl -m sees) comes earlier,
    // and a window asking to be mapped in between is read and never mapped.
    char directory[] = "/tmp/kestavo-openbox-XXXXXX";
    if (::mkdtemp(directory) == nullptr)
        throw SystemError("Cannot create a directory for openbox's start signal", "");
    const std::string started = std::string(directory) + "/started";
    const std::string command = "touch " + started;
    m_manager = spawn({"openbox", "--sm-disable", "--startup", command.c_str()}, m_display);
    bool up = false;
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if ((up = ::access(started.c_str(), F_OK) == 0))
            break;
        if (exitStatus(m_manager)) {
            m_manager = -1; // ended: nothing left to stop
            break;
        }
        std::this_thread::sleep_for(kProbeGap);
    }
    (void)::unlink(started.c_str());
    (void)::rmdir(directory);
    if (up || m_manager < 0)
        return up;
    stop();
    throw std::runtime_error("openbox did not finish starting within " +
                             std::to_string(timeout.count()) + " ms. " +
                             std::string(kOpenboxAdvice));
}

} // namespace kestavo::support
