// SPDX-License-Identifier: GPL-3.0-or-later
#include "xsession.h"

#include "failure.h"

#include "support/posix.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <string>

namespace kestavo::bench
{
namespace
{

using Clock = std::chrono::steady_clock;

// Windows may go between an event and a question about them; such errors
// must not end the benchmark as Xlib's default handler would.
int ignoreError(Display*, XErrorEvent*)
{
    return 0;
}

// A frame holds the client at most a few levels down.
constexpr int kFrameDepth = 4;

} // namespace

XSession::XSession(const std::string& display)
{
    m_display = ::XOpenDisplay(display.c_str());
    if (m_display == nullptr)
        throw Failure("Cannot connect to the X server " + display + "; Xvfb may have ended");
    ::XSetErrorHandler(ignoreError);
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (!::XTestQueryExtension(m_display, &event, &error, &major, &minor)) {
        ::XCloseDisplay(m_display);
        throw Failure("The X server " + display + " has no XTEST extension to click with");
    }
    m_root = DefaultRootWindow(m_display);
    // Top-level windows, or the frames a window manager puts them in, are
    // children of the root window: their MapNotify comes with this mask.
    ::XSelectInput(m_display, m_root, SubstructureNotifyMask);
    sync();
}

XSession::~XSession()
{
    ::XCloseDisplay(m_display);
}

void XSession::sync()
{
    ::XSync(m_display, False);
}

void XSession::discardEvents()
{
    ::XSync(m_display, True);
}

bool XSession::named(XWindow window, std::string_view name)
{
    char* fetched = nullptr;
    if (::XFetchName(m_display, window, &fetched) == 0 || fetched == nullptr)
        return false;
    const bool same = name == fetched;
    ::XFree(fetched);
    return same;
}

bool XSession::ownedBy(XWindow window, pid_t pid)
{
    const Atom pidAtom = ::XInternAtom(m_display, "_NET_WM_PID", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (::XGetWindowProperty(m_display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                             &count, &after, &data) != Success)
        return false;
    // A window that does not say its process is taken by its name alone.
    bool owned = true;
    if (data != nullptr && type == XA_CARDINAL && format == 32 && count == 1)
        owned = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data)) == pid;
    if (data != nullptr)
        ::XFree(data);
    return owned;
}

XWindow XSession::findClient(XWindow window, std::string_view name, pid_t pid, int depth)
{
    if (named(window, name) && ownedBy(window, pid))
        return window;
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (depth == 0 || ::XQueryTree(m_display, window, &root, &parent, &children, &count) == 0)
        return 0;
    XWindow found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i)
        found = findClient(children[i], name, pid, depth - 1);
    if (children != nullptr)
        ::XFree(children);
    return found;
}

XSession::Mapped XSession::waitForMap(std::string_view name, pid_t pid,
                                      std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    const int fd = ConnectionNumber(m_display);
    for (;;) {
        while (::XPending(m_display) > 0) {
            XEvent event;
            ::XNextEvent(m_display, &event);
            const auto at = Clock::now();
            if (event.type != MapNotify || event.xmap.event != m_root ||
                event.xmap.override_redirect)
                continue;
            const XWindow client = findClient(event.xmap.window, name, pid, kFrameDepth);
            if (client != 0)
                return {client, at};
        }
        if (Clock::now() >= deadline)
            throw Failure("No window named \"" + std::string(name) + "\" was mapped within " +
                          std::to_string(timeout.count()) +
                          " ms; the program may have failed at start-up, see its log");
        (void)support::waitReadable(fd, deadline);
    }
}

WindowArea XSession::area(XWindow window)
{
    XWindowAttributes attributes;
    if (::XGetWindowAttributes(m_display, window, &attributes) == 0)
        throw Failure("Cannot read the geometry of window " + std::to_string(window) +
                      "; the program may have ended, see its log");
    int rootX = 0;
    int rootY = 0;
    Window child = None;
    if (!::XTranslateCoordinates(m_display, window, m_root, 0, 0, &rootX, &rootY, &child))
        throw Failure("Cannot place window " + std::to_string(window) + " on the screen");
    return {rootX, rootY, attributes.width, attributes.height};
}

void XSession::focus(XWindow window)
{
    ::XSetInputFocus(m_display, window, RevertToPointerRoot, CurrentTime);
    sync();
}

void XSession::type(std::string_view digits)
{
    for (const char digit : digits) {
        const char keyName[2] = {digit, '\0'};
        const KeyCode code = ::XKeysymToKeycode(m_display, ::XStringToKeysym(keyName));
        if (code == 0)
            throw Failure(std::string("The X server has no key for '") + digit + "'");
        if (!::XTestFakeKeyEvent(m_display, code, True, CurrentTime) ||
            !::XTestFakeKeyEvent(m_display, code, False, CurrentTime))
            throw Failure("XTest refused a key event");
    }
    sync();
}

void XSession::movePointer(int rootX, int rootY)
{
    if (!::XTestFakeMotionEvent(m_display, DefaultScreen(m_display), rootX, rootY, CurrentTime))
        throw Failure("XTest refused to move the pointer");
    sync();
}

XSession::Clock::time_point XSession::click()
{
    if (!::XTestFakeButtonEvent(m_display, Button1, True, CurrentTime) ||
        !::XTestFakeButtonEvent(m_display, Button1, False, CurrentTime))
        throw Failure("XTest refused a button event");
    const auto at = Clock::now();
    ::XFlush(m_display);
    return at;
}

void XSession::close(XWindow window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = ::XInternAtom(m_display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] =
        static_cast<long>(::XInternAtom(m_display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    if (::XSendEvent(m_display, window, False, NoEventMask, &event) == 0)
        throw Failure("Cannot send WM_DELETE_WINDOW to window " + std::to_string(window));
    sync();
}

} // namespace kestavo::bench
