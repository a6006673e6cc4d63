#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <sys/types.h>

using Display = struct _XDisplay;
using XWindow = unsigned long;

namespace kestavo::bench
{

// A private Xvfb for the length of the benchmark.
class XServer
{
public:
    explicit XServer(std::string_view screen);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    [[nodiscard]] const std::string& display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

struct WindowArea {
    int rootX = 0;
    int rootY = 0;
    int width = 0;
    int height = 0;
};

// The benchmark's own connection: it watches the root window for top-level
// windows being mapped and puts input in through XTest.
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
    // its MapNotify was read.
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
    void sync();

    Display* m_display = nullptr;
    XWindow m_root = 0;
};

} // namespace kestavo::bench
