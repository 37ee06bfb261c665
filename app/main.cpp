// Program entry: opens the window, creates the Renderer, the TruckApp and the
// Timer, prints the banner and key help, and hands control to the window
// system's main loop. The callbacks below turn window-system events into
// Application::frame and Application::key calls.
#include "app/Application.h"
#include "app/Timer.h"
#include "app/TruckApp.h"
#include "render/Renderer.h"

#include <GL/freeglut.h>

#include <cstdio>

namespace {

// The three long-lived objects, set once by main and read by the callbacks.
Renderer* renderer = nullptr;
Application* application = nullptr;
Timer* timer = nullptr;

void display() {
    const float time = static_cast<float>(timer->elapsed());
    application->frame(time);
    glutSwapBuffers();
}

// Only the viewport follows the window; the projection keeps its 4/3 aspect.
void reshape(int width, int height) {
    renderer->setViewport(width, height);
}

// Frames are produced back to back, as fast as the display path allows.
void idle() {
    glutPostRedisplay();
}

// Special keys outside the application's set never reach it.
void specialDown(int key, int, int) {
    const int code = specialKeyCode(key);
    if (code >= 0) {
        application->key(code, true);
    }
}

void specialUp(int key, int, int) {
    const int code = specialKeyCode(key);
    if (code >= 0) {
        application->key(code, false);
    }
}

void keyboardDown(unsigned char character, int, int) {
    application->key(characterKeyCode(character), true);
}

void keyboardUp(unsigned char character, int, int) {
    application->key(characterKeyCode(character), false);
}

void printBanner() {
    std::printf("              ** DRAVONEL **\n");
    std::printf("                   2026\n");
    std::printf("   physics and tools: the Dravonel simulation team <sim@example.org>\n");
    std::printf("   graphics and application: the Dravonel rendering team <render@example.org>\n");
    std::printf("\n\n");
    std::printf("cursor left/right: steer left/right\n");
    std::printf("cursor up/down:    accelerate forward/backwards\n");
    std::printf("space:             brake\n\n");
    std::printf("F1-F4:             change camera\n");
    std::printf("q, e:              look left/right/rear\n\n");
    std::printf("F5:                toggle rendering car model\n");
    std::printf("F6:                toggle rendering mass/spring model\n");
    std::printf("F7:                toggle rendering particles\n");
    std::printf("F8:                toggle rendering floor wireframe\n\n");
    std::printf("ESC:               reset simulation\n");
    // The console may be a pipe: show the help now, not when the program ends.
    std::fflush(stdout);
}

// Releases the application and the renderer, in the reverse order of creation.
void teardown() {
    if (application != nullptr) {
        application->shutdown();
        delete application;
        application = nullptr;
    }
    if (renderer != nullptr) {
        delete renderer;
        renderer = nullptr;
    }
}

} // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    glutInitWindowSize(640, 480);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    // Closing the window ends the process with status 0.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_EXIT);
    glutCreateWindow("Dravonel");

    renderer = new Renderer();
    TruckApp* truckApp = new TruckApp();
    application = truckApp;
    application->renderer = renderer;
    if (!application->init()) {
        // Never run frames on a partly built application: say what failed and stop.
        const char* reason = truckApp->failureReason();
        if (reason == nullptr || reason[0] == '\0') {
            reason = "loading the assets failed";
        }
        // One line whatever the reason holds: control characters become spaces.
        char line[512];
        size_t length = 0;
        for (; reason[length] != '\0' && length + 1 < sizeof(line); ++length) {
            const unsigned char c = static_cast<unsigned char>(reason[length]);
            line[length] = c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c);
        }
        line[length] = '\0';
        std::fprintf(stderr, "dravonel: cannot start: %s\n", line);
        teardown();
        return 1;
    }

    timer = new Timer();

    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutIdleFunc(idle);
    glutSpecialFunc(specialDown);
    glutSpecialUpFunc(specialUp);
    glutKeyboardFunc(keyboardDown);
    glutKeyboardUpFunc(keyboardUp);

    printBanner();
    glFlush();
    // Time zero of the simulation: after all loading and the banner.
    timer->start();
    glutMainLoop();

    // Reached only if the main loop ever returns; the Timer is not destroyed.
    teardown();
    return 0;
}
