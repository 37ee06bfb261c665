// WindowFocus: whether the program's window has the keyboard focus, asked
// of the X server (freeglut has no focus callback). The window is the one
// the current GL context draws to; the focus counts as ours when it is on
// that window, inside it, or on a window around it (a window manager's
// frame). With the focus following the pointer, or no X display at all,
// the window counts as focused.
#pragma once

class WindowFocus {
  public:
    // At most one question to the server per `interval` seconds of `now`.
    static constexpr double interval = 0.1;
    bool focused(double now);

  private:
    bool last = true;
    double askedAt = -1.0e30;
};
