// Top-level windows as a user sees them on the test's X display: finding a
// window by its title, measuring it, looking at what it shows, and closing it
// the way a window manager's close button does.
#pragma once

#include <string>
#include <vector>

// Opens a connection to the current DISPLAY (retrying for up to
// `timeoutSeconds`) and keeps it open for the rest of the process. An X
// server resets itself whenever its last client leaves, and refuses
// connections while it does: holding one open keeps the display usable for
// programs started one after another. False when no display can be reached.
bool holdDisplayOpen(double timeoutSeconds);

// Runs a shell command for one of the outside tools the tests use (xdotool,
// rm) and returns std::system's status. Sanitizer test runs preload the
// sanitizer runtime into the tests' processes; the command runs without it,
// as those tools are not built for it and would fail its leak check.
int runTool(const std::string& command);

// Window ids whose title is exactly `title` (found with xdotool search).
std::vector<unsigned long> windowsNamed(const std::string& title);

// Waits up to `timeoutSeconds` for a window titled `title` that is not in
// `ignore`; returns its id, or 0 when none appeared.
unsigned long waitForNewWindow(const std::string& title, const std::vector<unsigned long>& ignore,
                               double timeoutSeconds);

// Waits up to `timeoutSeconds` for the window to be mapped and viewable, so
// that pointer and key events sent to it reach it; false when it never is.
bool waitForWindowViewable(unsigned long window, double timeoutSeconds);

// Width and height of the window's inside, in pixels; false when the window
// does not exist (any more).
bool windowSize(unsigned long window, int* width, int* height);

// The number of distinct RGB colours the window shows (its contents read
// back with XGetImage); -1 when it cannot be read.
int distinctColours(unsigned long window);

// Waits up to `timeoutSeconds` until what the window shows has changed
// `changes` times, each change a new frame on the screen. Input sent before
// the call has been taken by a frame by the second change (the first may be
// the frame being drawn when it came). False when the time ran out or the
// window cannot be read.
bool waitForPictureChanges(unsigned long window, int changes, double timeoutSeconds);

// Sends the WM_PROTOCOLS / WM_DELETE_WINDOW client message a window manager
// sends when the user clicks the close button. False when the display or the
// window cannot be reached.
bool requestWindowClose(unsigned long window);
