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
    // In the screen's far corner: the program's own windows, which other
    // tests run at the same time and click into with xdotool, open at the
    // top left, and a test window over them would take their clicks.
    const int screenWidth = glutGet(GLUT_SCREEN_WIDTH);
    const int screenHeight = glutGet(GLUT_SCREEN_HEIGHT);
    if (screenWidth >= 2 * 640 && screenHeight >= 2 * 480) {
        glutInitWindowPosition(screenWidth - 640, screenHeight - 480);
    }
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

void resetGlState() {
    while (glGetError() != GL_NO_ERROR) {
    }
    glMatrixMode(GL_MODELVIEW);
    GLint depth = 0;
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth);
    for (; depth > 1; --depth) {
        glPopMatrix();
    }
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    for (GLenum unit : {GL_TEXTURE1_ARB, GL_TEXTURE0_ARB}) {
        glActiveTextureARB(unit);
        glDisable(GL_TEXTURE_2D);
        glMatrixMode(GL_TEXTURE);
        glLoadIdentity();
        glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<float>(GL_MODULATE));
    }
    glClientActiveTextureARB(GL_TEXTURE0_ARB);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_BLEND);
    glDisable(GL_LIGHTING);
    glDisable(GL_LIGHT0);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glViewport(0, 0, 640, 480);
}
