// Lazily created freeglut window that gives GL tests a real Mesa context.
#include "tests/support/GlContext.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <cstdlib>
#include <unistd.h>

namespace {
bool contextReady = false;
bool contextTried = false;

void displayNothing() {}
} // namespace

bool requireGlContext() {
    if (contextReady) {
        return true;
    }
    if (contextTried) {
        ADD_FAILURE() << "no GL context (see the first failure)";
        return false;
    }
    contextTried = true;
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') {
        ADD_FAILURE() << "DISPLAY is not set: run the GL tests under xvfb-run";
        return false;
    }
    // freeglut calls exit(1) when it cannot open the display, so probe first.
    // An X server resets itself whenever its last client leaves (as the
    // previous test process just did) and refuses connections meanwhile:
    // retry for a while, and keep the probe connected for the rest of the
    // process so that no reset can come between it and freeglut.
    static Display* probe = nullptr;
    for (int attempt = 0; attempt < 50 && probe == nullptr; ++attempt) {
        probe = XOpenDisplay(display);
        if (probe == nullptr) {
            usleep(100000);
        }
    }
    if (probe == nullptr) {
        ADD_FAILURE() << "cannot open X display " << display << ": run under xvfb-run";
        return false;
    }

    int argc = 1;
    char name[] = "dravonel-test";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitWindowSize(640, 480);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutCreateWindow("Dravonel test");
    glutDisplayFunc(displayNothing);
    contextReady = true;
    return true;
}

void readPixel(int x, int y, unsigned char rgb[3]) {
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
}
