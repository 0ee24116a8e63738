#include "support/x11.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <cstring>
#include <thread>

namespace korvane::test {

namespace {

// The process id a window's owner put in its _NET_WM_PID property, or -1.
long WindowProcess(Display* display, Window window) {
    Atom property = XInternAtom(display, "_NET_WM_PID", True);
    if (property == None)
        return -1;
    Atom type;
    int format;
    unsigned long count, remaining;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format,
                           &count, &remaining, &data) == Success &&
        data != nullptr) {
        if (count == 1 && format == 32)
            pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
        XFree(data);
    }
    return pid;
}

// Depth-first over the window tree: SDL's top-level window may sit below the root.
Window FindTitled(Display* display, Window window, int pid, const std::string& title) {
    char* name = nullptr;
    if (XFetchName(display, window, &name) && name) {
        bool match = title == name && WindowProcess(display, window) == pid;
        XFree(name);
        if (match)
            return window;
    }
    Window root, parent;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && !found; ++i)
        found = FindTitled(display, children[i], pid, title);
    if (children)
        XFree(children);
    return found;
}

// A window may go away between finding it and sending to it; that is not the test's
// failure, and Xlib's default handler would end the whole test program for it.
int IgnoreXError(Display*, XErrorEvent*) {
    return 0;
}

struct DisplayConnection {
    explicit DisplayConnection(const std::string& name) : display(XOpenDisplay(name.c_str())) {
        XSetErrorHandler(IgnoreXError);
    }
    Display* display;
    ~DisplayConnection() {
        if (display) {
            XSync(display, False);
            XCloseDisplay(display);
        }
    }
};

} // namespace

unsigned long FindWindowOfProcess(const std::string& display, int pid, const std::string& title,
                                  double timeout_seconds) {
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(static_cast<int>(timeout_seconds * 1000));
    while (std::chrono::steady_clock::now() < deadline) {
        DisplayConnection connection(display);
        if (connection.display) {
            Window found =
                FindTitled(connection.display, DefaultRootWindow(connection.display), pid, title);
            if (found)
                return found;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

bool PressKey(const std::string& display, unsigned long window, const std::string& key_name) {
    DisplayConnection connection(display);
    if (!connection.display)
        return false;
    KeySym symbol = XStringToKeysym(key_name.c_str());
    if (symbol == NoSymbol)
        return false;
    XKeyEvent event;
    std::memset(&event, 0, sizeof event);
    event.type = KeyPress;
    event.display = connection.display;
    event.window = window;
    event.root = DefaultRootWindow(connection.display);
    event.same_screen = True;
    event.keycode = XKeysymToKeycode(connection.display, symbol);
    XSendEvent(connection.display, window, True, KeyPressMask, reinterpret_cast<XEvent*>(&event));
    XFlush(connection.display);
    return true;
}

bool CloseWindow(const std::string& display, unsigned long window) {
    DisplayConnection connection(display);
    if (!connection.display)
        return false;
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(connection.display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] =
        static_cast<long>(XInternAtom(connection.display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(connection.display, window, False, NoEventMask, &event);
    XFlush(connection.display);
    return true;
}

} // namespace korvane::test
