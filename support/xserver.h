// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace kestavo::support
{

enum class WindowManager {
    None,    // top-level windows are children of the root and keep their size
    Openbox, // windows get a frame that can close them, as on a desktop
};

// A private Xvfb server for the lifetime of this object, on a display number
// the server picks itself, so that several can run side by side; its output
// goes to /dev/null. Throws SystemError or std::runtime_error, saying what to
// install, when it or the window manager does not come up within timeout.
class XServer
{
public:
    static constexpr std::string_view kDefaultScreen = "1024x768x24";
    static constexpr std::chrono::milliseconds kDefaultTimeout{10000};

    explicit XServer(WindowManager windowManager, std::string_view screen = kDefaultScreen,
                     std::chrono::milliseconds timeout = kDefaultTimeout);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // ":N"
    [[nodiscard]] const std::string& display() const { return m_display; }
    [[nodiscard]] WindowManager windowManager() const { return m_windowManager; }

    // Kills the server at once, as a crash would, and its window manager.
    void kill();

private:
    void startXvfb(std::string_view screen, std::chrono::milliseconds timeout);
    // Returns false if openbox ended before it had started.
    [[nodiscard]] bool startOpenbox(std::chrono::milliseconds timeout);
    void stop();

    WindowManager m_windowManager;
    pid_t m_server = -1;
    pid_t m_manager = -1;
    std::string m_display;
};

} // namespace kestavo::support
