// X11 window helpers on Xlib, with xdotool to search by title.
#include "tests/support/X11Windows.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <thread>

namespace {

// Xlib reports errors through a process-wide handler whose default exits;
// these helpers only want to know that a request failed.
bool requestFailed = false;

int recordError(Display*, XErrorEvent*) {
    requestFailed = true;
    return 0;
}

// Opens the current DISPLAY with the recording error handler installed;
// the previous handler comes back when it goes out of scope.
class Connection {
  public:
    Connection() {
        previous = XSetErrorHandler(recordError);
        requestFailed = false;
        display = XOpenDisplay(nullptr);
    }
    ~Connection() {
        if (display != nullptr) {
            XCloseDisplay(display);
        }
        XSetErrorHandler(previous);
    }
    Display* display;

  private:
    int (*previous)(Display*, XErrorEvent*);
};

bool contains(const std::vector<unsigned long>& list, unsigned long value) {
    for (unsigned long item : list) {
        if (item == value) {
            return true;
        }
    }
    return false;
}

} // namespace

bool holdDisplayOpen(double timeoutSeconds) {
    static Display* held = nullptr;
    const auto start = std::chrono::steady_clock::now();
    while (held == nullptr) {
        held = XOpenDisplay(nullptr);
        const double waited =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (held == nullptr && waited > timeoutSeconds) {
            return false;
        }
        if (held == nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return true;
}

std::vector<unsigned long> windowsNamed(const std::string& title) {
    std::vector<unsigned long> result;
    // xdotool matches a regular expression: anchor it to the whole title.
    const std::string command =
        "env -u LD_PRELOAD xdotool search --name '^" + title + "$' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    unsigned long id = 0;
    while (std::fscanf(pipe, "%lu", &id) == 1) {
        result.push_back(id);
    }
    pclose(pipe);
    return result;
}

unsigned long waitForNewWindow(const std::string& title, const std::vector<unsigned long>& ignore,
                               double timeoutSeconds) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        for (unsigned long id : windowsNamed(title)) {
            if (!contains(ignore, id)) {
                return id;
            }
        }
        const double waited =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (waited > timeoutSeconds) {
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool waitForWindowViewable(unsigned long window, double timeoutSeconds) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        {
            Connection connection;
            if (connection.display != nullptr) {
                XWindowAttributes attributes;
                const Status ok = XGetWindowAttributes(connection.display, window, &attributes);
                XSync(connection.display, False);
                if (ok != 0 && !requestFailed && attributes.map_state == IsViewable) {
                    return true;
                }
            }
        }
        const double waited =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (waited > timeoutSeconds) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool windowSize(unsigned long window, int* width, int* height) {
    Connection connection;
    if (connection.display == nullptr) {
        return false;
    }
    XWindowAttributes attributes;
    const Status ok = XGetWindowAttributes(connection.display, window, &attributes);
    XSync(connection.display, False);
    if (ok == 0 || requestFailed) {
        return false;
    }
    *width = attributes.width;
    *height = attributes.height;
    return true;
}

int distinctColours(unsigned long window) {
    Connection connection;
    if (connection.display == nullptr) {
        return -1;
    }
    XWindowAttributes attributes;
    if (XGetWindowAttributes(connection.display, window, &attributes) == 0) {
        return -1;
    }
    // XGetImage refuses a rectangle that is not on the screen. Without a
    // window manager a window may sit partly off it (freeglut's default
    // position is -1, -1), so read only the part inside the screen.
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    XTranslateCoordinates(connection.display, window, attributes.root, 0, 0, &rootX, &rootY,
                          &child);
    const int screenWidth = WidthOfScreen(attributes.screen);
    const int screenHeight = HeightOfScreen(attributes.screen);
    const int left = rootX < 0 ? -rootX : 0;
    const int top = rootY < 0 ? -rootY : 0;
    const int right = std::min(attributes.width, screenWidth - rootX);
    const int bottom = std::min(attributes.height, screenHeight - rootY);
    if (right <= left || bottom <= top) {
        return -1;
    }
    XImage* image =
        XGetImage(connection.display, window, left, top, static_cast<unsigned int>(right - left),
                  static_cast<unsigned int>(bottom - top), AllPlanes, ZPixmap);
    XSync(connection.display, False);
    if (image == nullptr || requestFailed) {
        if (image != nullptr) {
            XDestroyImage(image);
        }
        return -1;
    }
    std::set<unsigned long> colours;
    for (int y = 0; y < bottom - top; ++y) {
        for (int x = 0; x < right - left; ++x) {
            colours.insert(XGetPixel(image, x, y) & 0xFFFFFFul);
        }
    }
    XDestroyImage(image);
    return static_cast<int>(colours.size());
}

bool requestWindowClose(unsigned long window) {
    Connection connection;
    if (connection.display == nullptr) {
        return false;
    }
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(connection.display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] =
        static_cast<long>(XInternAtom(connection.display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(connection.display, window, False, NoEventMask, &event);
    XSync(connection.display, False);
    return sent != 0 && !requestFailed;
}

int runTool(const std::string& command) {
    return std::system(("env -u LD_PRELOAD " + command).c_str());
}

namespace {

// A checksum of what the window shows on the screen (FNV-1a over its
// pixels); false when it cannot be read.
bool pictureChecksum(unsigned long window, unsigned long long* sum) {
    Connection connection;
    if (connection.display == nullptr) {
        return false;
    }
    XWindowAttributes attributes;
    if (XGetWindowAttributes(connection.display, window, &attributes) == 0) {
        return false;
    }
    // Only the part on the screen can be read (see distinctColours).
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    XTranslateCoordinates(connection.display, window, attributes.root, 0, 0, &rootX, &rootY,
                          &child);
    const int left = rootX < 0 ? -rootX : 0;
    const int top = rootY < 0 ? -rootY : 0;
    const int right = std::min(attributes.width, WidthOfScreen(attributes.screen) - rootX);
    const int bottom = std::min(attributes.height, HeightOfScreen(attributes.screen) - rootY);
    if (right <= left || bottom <= top) {
        return false;
    }
    XImage* image =
        XGetImage(connection.display, window, left, top, static_cast<unsigned int>(right - left),
                  static_cast<unsigned int>(bottom - top), AllPlanes, ZPixmap);
    XSync(connection.display, False);
    if (image == nullptr || requestFailed) {
        if (image != nullptr) {
            XDestroyImage(image);
        }
        return false;
    }
    unsigned long long hash = 1469598103934665603ull;
    for (int y = 0; y < bottom - top; ++y) {
        for (int x = 0; x < right - left; ++x) {
            hash = (hash ^ (XGetPixel(image, x, y) & 0xFFFFFFul)) * 1099511628211ull;
        }
    }
    XDestroyImage(image);
    *sum = hash;
    return true;
}

} // namespace

bool waitForPictureChanges(unsigned long window, int changes, double timeoutSeconds) {
    const auto start = std::chrono::steady_clock::now();
    unsigned long long last = 0;
    if (!pictureChecksum(window, &last)) {
        return false;
    }
    for (int seen = 0; seen < changes;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        unsigned long long now = 0;
        if (!pictureChecksum(window, &now)) {
            return false;
        }
        if (now != last) {
            ++seen;
            last = now;
        }
        const double waited =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seen < changes && waited > timeoutSeconds) {
            return false;
        }
    }
    return true;
}
