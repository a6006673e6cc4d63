// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string_view>
#include <sys/types.h>

using Display = struct _XDisplay;
using XWindow = unsigned long;

namespace kestavo::bench
{

struct WindowArea {
    int rootX = 0;
    int rootY = 0;
    int width = 0;
    int height = 0;
};

// The benchmark's own connection to the X server: it watches the root window
// for top-level windows being mapped, with or without a window manager's
// frame around them, and puts input in through XTest.
class XSession
{
public:
    using Clock = std::chrono::steady_clock;

    explicit XSession(const std::string& display);
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // Forgets the events seen so far, so that the next wait sees only new ones.
    void discardEvents();

    struct Mapped {
        XWindow window = 0;
        Clock::time_point at;
    };
    // The first top-level window named name that process pid maps, and when
    // the MapNotify that made it visible was read: its own, or its frame's
    // under a window manager.
    [[nodiscard]] Mapped waitForMap(std::string_view name, pid_t pid,
                                    std::chrono::milliseconds timeout);

    [[nodiscard]] WindowArea area(XWindow window);
    void focus(XWindow window);
    void type(std::string_view digits);
    void movePointer(int rootX, int rootY);
    // Presses and releases the first button where the pointer is; the time
    // is taken just before the events are flushed to the server.
    [[nodiscard]] Clock::time_point click();
    // As a window manager's close does: WM_DELETE_WINDOW.
    void close(XWindow window);

private:
    [[nodiscard]] bool named(XWindow window, std::string_view name);
    [[nodiscard]] bool ownedBy(XWindow window, pid_t pid);
    // window itself or the window in its subtree that is named name and
    // belongs to pid; 0 if there is none.
    [[nodiscard]] XWindow findClient(XWindow window, std::string_view name, pid_t pid, int depth);
    void sync();

    Display* m_display = nullptr;
    XWindow m_root = 0;
};

} // namespace kestavo::bench
