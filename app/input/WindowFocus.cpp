// WindowFocus: the X server's input focus against the GL context's window.
#include "app/input/WindowFocus.h"

#include <GL/glx.h>
#include <X11/Xlib.h>

namespace {

// True when `inner` is `outer` or lies inside it.
bool within(Display* display, Window inner, Window outer) {
    for (Window w = inner; w != 0;) {
        if (w == outer) {
            return true;
        }
        Window root = 0;
        Window parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (XQueryTree(display, w, &root, &parent, &children, &count) == 0) {
            return false;
        }
        if (children != nullptr) {
            XFree(children);
        }
        if (w == root) {
            return false;
        }
        w = parent;
    }
    return false;
}

} // namespace

bool WindowFocus::focused(double now) {
    if (now - askedAt < interval && now >= askedAt) {
        return last;
    }
    askedAt = now;
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable drawable = glXGetCurrentDrawable();
    if (display == nullptr || drawable == 0) {
        last = true;
        return last;
    }
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    if (focus == PointerRoot || focus == None) {
        last = true;
        return last;
    }
    const Window ours = static_cast<Window>(drawable);
    last = within(display, focus, ours) || within(display, ours, focus);
    return last;
}
