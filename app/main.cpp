// Program entry: opens the window, creates the Renderer, the TruckApp and the
// Timer, prints the banner and key help, and hands control to the window
// system's main loop. The callbacks below turn window-system events into
// Application::frame and Application::key calls. Options choose the asset
// folder, or instead of a live drive a scripted screenshot, a recorded drive
// or the replay of one.
#include "app/Application.h"
#include "app/AssetFolder.h"
#include "app/CommandLine.h"
#include "app/GamePad.h"
#include "app/InputRouter.h"
#include "app/KeyScript.h"
#include "app/PngWriter.h"
#include "app/ProgramOptions.h"
#include "app/Recording.h"
#include "app/RecordingWriter.h"
#include "app/Timer.h"
#include "app/TruckApp.h"
#include "physics/PhysicsWorld.h"
#include "physics/PositionHash.h"
#include "render/Renderer.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace {

// The three long-lived objects, set once by main and read by the callbacks.
Renderer* renderer = nullptr;
Application* application = nullptr;
Timer* timer = nullptr;
// The application as what it is, for the positions hash.
TruckApp* truckApp = nullptr;

// The run's options; a recording being written or played, when asked for.
ProgramOptions options;
RecordingWriter* recorder = nullptr;
Recording* replay = nullptr;
// Where the keyboard's (and every other device's) events go.
InputRouter router;
// A game controller, when one is plugged in; started only for a live drive.
GamePad gamePad;
// Set by SIGINT or SIGTERM while a drive is recorded: the next idle call
// ends the recording cleanly and stops.
volatile std::sig_atomic_t stopRequested = 0;

// Screenshots: the window's size and the fixed frame rate of the script.
const int shotWidth = 640;
const int shotHeight = 480;
const int shotFramesPerSecond = 60;

uint64_t currentHash() {
    PhysicsWorld* world = truckApp->world;
    return positionHash(world->positions(), world->particleCount());
}

void printPositionsHash() {
    std::printf("positions hash: %016" PRIx64 "\n", currentHash());
    std::fflush(stdout);
}

// Drives the key script at a fixed frame rate up to the requested time,
// drawing every frame as the window would (the cameras smooth over the
// frames before), reads back the last one and writes it as a PNG. Ends the
// process: 0 when the file was written, 1 otherwise.
void takeScreenshot() {
    if (glutGet(GLUT_WINDOW_WIDTH) < shotWidth || glutGet(GLUT_WINDOW_HEIGHT) < shotHeight) {
        std::fprintf(stderr, "dravonel: the window is %d x %d, too small for a %d x %d shot\n",
                     glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT), shotWidth,
                     shotHeight);
        std::exit(1);
    }
    renderer->setViewport(shotWidth, shotHeight);
    KeyScript script;
    script.parse(options.script);
    if (options.camera > 0) {
        application->key(specialKeyCode(GLUT_KEY_F1 + options.camera - 1), true);
        application->key(specialKeyCode(GLUT_KEY_F1 + options.camera - 1), false);
    }
    const long frames = std::lround(options.at * shotFramesPerSecond);
    for (long frame = 0; frame <= frames; ++frame) {
        // Frame times and event timing as in the headless simulator, so the
        // same script drives the same simulation.
        const double time = static_cast<double>(frame) / shotFramesPerSecond;
        script.sendUntil(time, truckApp);
        if (frame > 0 || frames == 0) {
            application->frame(static_cast<float>(time));
        }
    }
    std::vector<unsigned char> pixels(static_cast<size_t>(shotWidth) * shotHeight * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, shotWidth, shotHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    PngWriter png;
    if (!png.write(options.screenshot.c_str(), shotWidth, shotHeight, pixels.data(), true)) {
        std::fprintf(stderr, "dravonel: %s\n", printableText(png.failureReason()).c_str());
        std::exit(1);
    }
    std::printf("wrote %s (%d x %d, the frame at %g s)\n",
                printableText(options.screenshot.c_str()).c_str(), shotWidth, shotHeight,
                static_cast<double>(frames) / shotFramesPerSecond);
    std::fflush(stdout);
    std::exit(0);
}

// The frame time comes from the timer, or in a replay from the recording;
// a recording being written notes it first.
void display() {
    if (!options.screenshot.empty()) {
        takeScreenshot();
    }
    float time = 0.0f;
    if (replay != nullptr) {
        if (!replay->nextFrame(truckApp, &time)) {
            // The whole drive has been played: its end state, then stop.
            printPositionsHash();
            if (replay->hasEndHash() && replay->endHash() != currentHash()) {
                std::fprintf(stderr,
                             "dravonel: warning: the recorded drive ended on %016" PRIx64 "\n",
                             replay->endHash());
            }
            std::exit(0);
        }
    } else {
        gamePad.poll(router, *truckApp);
        time = static_cast<float>(timer->elapsed());
        if (recorder != nullptr) {
            recorder->frame(time);
        }
    }
    application->frame(time);
    glutSwapBuffers();
}

// Only the viewport follows the window; the projection keeps its 4/3 aspect.
void reshape(int width, int height) {
    renderer->setViewport(width, height);
}

// Frames are produced back to back, as fast as the display path allows; a
// replay keeps the recorded pace instead, each frame waiting for its time.
void finishRecording();

void idle() {
    if (stopRequested != 0) {
        finishRecording();
        std::exit(0);
    }
    float next = 0.0f;
    if (replay != nullptr && replay->upcomingFrameTime(&next)) {
        const double wait = next - timer->elapsed();
        if (wait > 0.0) {
            usleep(static_cast<useconds_t>(std::min(wait, 0.01) * 1e6));
            return;
        }
    }
    glutPostRedisplay();
}

// Special keys outside the application's set never reach it.
void specialDown(int key, int, int) {
    const int code = specialKeyCode(key);
    if (code >= 0) {
        router.key(code, true);
    }
}

void specialUp(int key, int, int) {
    const int code = specialKeyCode(key);
    if (code >= 0) {
        router.key(code, false);
    }
}

void keyboardDown(unsigned char character, int, int) {
    router.key(characterKeyCode(character), true);
}

void keyboardUp(unsigned char character, int, int) {
    router.key(characterKeyCode(character), false);
}

// The window is closing while a drive is recorded: the end state to compare
// with the replays, and the file completed.
void finishRecording() {
    printPositionsHash();
    if (!recorder->finish(currentHash())) {
        std::fprintf(stderr, "dravonel: %s\n", printableText(recorder->failureReason()).c_str());
        std::exit(1);
    }
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
    // Options first: --help and mistakes need no display.
    if (!options.parse(argc, argv)) {
        std::fprintf(stderr, "dravonel: %s (see dravonel --help)\n", options.failureReason());
        return 2;
    }
    if (options.help) {
        std::fputs(ProgramOptions::usage(), stdout);
        return 0;
    }
    if (!options.replay.empty()) {
        replay = new Recording();
        if (!replay->load(options.replay.c_str())) {
            std::fprintf(stderr, "dravonel: %s\n", printableText(replay->failureReason()).c_str());
            return 1;
        }
    }

    int toolkitCount = static_cast<int>(options.toolkitArguments.size());
    options.toolkitArguments.push_back(nullptr);
    glutInit(&toolkitCount, options.toolkitArguments.data());
    glutInitWindowSize(640, 480);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    // Closing the window ends the process with status 0.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_EXIT);
    glutCreateWindow("Dravonel");

    renderer = new Renderer();
    truckApp = new TruckApp();
    application = truckApp;
    application->renderer = renderer;
    AssetFolder folder;
    folder.choose(options.assets);
    truckApp->setAssetDirectory(folder.path().c_str());
    if (!application->init()) {
        // Never run frames on a partly built application: say what failed and stop.
        const char* reason = truckApp->failureReason();
        if (reason == nullptr || reason[0] == '\0') {
            reason = "loading the assets failed";
        }
        std::fprintf(stderr, "dravonel: cannot start: %s%s\n", printableText(reason).c_str(),
                     folder.missingFilesHint().c_str());
        teardown();
        return 1;
    }
    if (!options.record.empty()) {
        recorder = new RecordingWriter();
        if (!recorder->open(options.record.c_str(), truckApp->modelHash)) {
            std::fprintf(stderr, "dravonel: %s\n",
                         printableText(recorder->failureReason()).c_str());
            teardown();
            return 1;
        }
    }

    if (replay != nullptr) {
        if (!replay->matchesModel(truckApp->modelHash)) {
            std::fprintf(stderr, "dravonel: %s\n", printableText(replay->failureReason()).c_str());
            teardown();
            return 1;
        }
        if (replay->warning()[0] != '\0') {
            std::fprintf(stderr, "dravonel: warning: %s\n",
                         printableText(replay->warning()).c_str());
        }
    }
    router.attach(truckApp, recorder, replay != nullptr || !options.screenshot.empty());
    if (replay == nullptr && options.screenshot.empty() && !gamePad.start()) {
        std::fprintf(stderr, "dravonel: no gamepad: %s\n", gamePad.failureReason());
    }
    if (recorder != nullptr) {
        // Ctrl-C or a kill ends the drive as closing the window does.
        std::signal(SIGINT, [](int) { stopRequested = 1; });
        std::signal(SIGTERM, [](int) { stopRequested = 1; });
    }

    timer = new Timer();

    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutIdleFunc(idle);
    glutSpecialFunc(specialDown);
    glutSpecialUpFunc(specialUp);
    glutKeyboardFunc(keyboardDown);
    glutKeyboardUpFunc(keyboardUp);
    if (recorder != nullptr) {
        glutCloseFunc(finishRecording);
    }

    // The banner and key help are for a person driving; a screenshot prints
    // only the file it wrote, a replay only its hash.
    if (options.screenshot.empty() && replay == nullptr) {
        printBanner();
    }
    glFlush();
    // Time zero of the simulation: after all loading and the banner.
    timer->start();
    glutMainLoop();

    // Reached only if the main loop ever returns; the Timer is not destroyed.
    teardown();
    return 0;
}
