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
#include "app/MapFile.h"
#include "app/MouseInput.h"
#include "app/PngWriter.h"
#include "app/ProgramOptions.h"
#include "app/Recording.h"
#include "app/RecordingWriter.h"
#include "app/Timer.h"
#include "app/TruckApp.h"
#include "app/ViewportFit.h"
#include "app/WindowKeys.h"
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
MouseInput mouse;
// A game controller, when one is plugged in; started only for a live drive.
GamePad gamePad;
// Set by SIGINT or SIGTERM while a drive is recorded: the next idle call
// ends the recording cleanly and stops.
volatile std::sig_atomic_t stopRequested = 0;
// Releases held back until the next frame, to tell repeats from presses.
KeyRepeatFilter repeats;
// The scene's part of the window; bars around it when the window is not 4:3.
ViewportRect view;
bool barsShown = false;
const int barColour = 0x000000;
// The map given with --map, loaded before the window opens.
MapFile* map = nullptr;

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
    truckApp->viewWidth = shotWidth;
    truckApp->viewHeight = shotHeight;
    KeyScript script;
    script.parse(options.script);
    if (options.camera > 0) {
        application->key(cameraKeyCode(options.camera), true);
        application->key(cameraKeyCode(options.camera), false);
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
void deliverHeldReleases();

void display() {
    deliverHeldReleases();
    if (!options.screenshot.empty()) {
        takeScreenshot();
    }
    mouse.beginFrame();
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
    if (barsShown) {
        renderer->clearWindow(barColour);
    }
    application->frame(time);
    glutSwapBuffers();
}

// The projection keeps its 4:3 aspect: the scene fills the largest 4:3
// rectangle of the window, centred, and bars fill the rest.
void reshape(int width, int height) {
    view = fitViewport(width, height);
    barsShown = view.width != width || view.height != height;
    if (barsShown) {
        renderer->setViewportRect(view.x, view.y, view.width, view.height);
    } else {
        renderer->setViewport(width, height);
    }
    truckApp->viewWidth = view.width;
    truckApp->viewHeight = view.height;
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

// A press that only repeats a held key goes nowhere; releases wait for the
// next frame, when they reach the application before that frame runs.
void pressKey(int code) {
    if (repeats.press(code)) {
        router.key(code, true);
    }
}

void releaseKey(int code) {
    if (!repeats.release(code)) {
        router.key(code, false);
    }
}

void deliverHeldReleases() {
    int codes[16];
    const int count = repeats.flush(codes, 16);
    for (int k = 0; k < count; ++k) {
        router.key(codes[k], false);
    }
}

// Special keys outside the application's set never reach it.
void specialDown(int key, int, int) {
    const int code = specialKeyCode(key);
    if (code >= 0) {
        pressKey(code);
    }
    // Full screen is the window's business, not the simulation's.
    if (key == GLUT_KEY_F11 && options.screenshot.empty()) {
        glutFullScreenToggle();
    }
}

void specialUp(int key, int, int) {
    const int code = specialKeyCode(key);
    if (code >= 0) {
        releaseKey(code);
    }
}

void keyboardDown(unsigned char character, int, int) {
    pressKey(characterKeyCode(character));
}

void keyboardUp(unsigned char character, int, int) {
    releaseKey(releasedKeyCode(character, truckApp->keys));
}

// The window is closing while a drive is recorded: the end state to compare
// with the replays, and the file completed.
void finishRecording() {
    // Once: an interrupted drive ends here, and the window closing as the
    // process exits must not end it again.
    static bool finished = false;
    if (finished) {
        return;
    }
    finished = true;
    deliverHeldReleases();
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
    if (!options.map.empty()) {
        map = new MapFile();
        if (!map->load(options.map.c_str())) {
            std::fprintf(stderr, "dravonel: %s\n", printableText(map->failureReason()).c_str());
            return 1;
        }
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
    truckApp->setMap(map);
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
    truckApp->hud.visible = !options.noHud;
    // A scripted frame shows the script's fixed rate, not a measured one,
    // so that the same script gives the same picture.
    truckApp->hud.scripted = !options.screenshot.empty();
    mouse.attach(truckApp, &router);
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
    // A held key is one press: the driving keys are read as held anyway, and
    // a held toggle must not flicker.
    glutIgnoreKeyRepeat(1);
    glutMouseFunc(MouseInput::glutButton);
    glutMotionFunc(MouseInput::glutMotion);
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
