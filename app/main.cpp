// Program entry: opens the window, creates the Renderer, the TruckApp and the
// Timer, prints the banner and key help, and hands control to the window
// system's main loop. The callbacks below turn window-system events into
// Application::frame and Application::key calls. Options choose the asset
// folder, or instead of a live drive a scripted screenshot, a recorded drive
// or the replay of one.
#include "app/Application.h"
#include "app/AssetFolder.h"
#include "app/CommandLine.h"
#include "app/ProgramOptions.h"
#include "app/ScreenshotDriver.h"
#include "app/Timer.h"
#include "app/Truck.h"
#include "app/TruckApp.h"
#include "app/camera/ViewportFit.h"
#include "app/input/DeviceFeedback.h"
#include "app/input/GamePad.h"
#include "app/input/InputRouter.h"
#include "app/input/KeyboardInput.h"
#include "app/input/MouseInput.h"
#include "app/input/WindowFocus.h"
#include "app/record/Recording.h"
#include "app/record/RecordingWriter.h"
#include "app/record/ReplayControl.h"
#include "app/world/MapFile.h"
#include "physics/PhysicsWorld.h"
#include "physics/PositionHash.h"
#include "render/Renderer.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

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
// The replay's timeline and its keys.
ReplayControl replayControl;
// Where the keyboard's (and every other device's) events go.
InputRouter router;
MouseInput mouse;
// A game controller, when one is plugged in; started only for a live drive.
GamePad gamePad;
// Rumble and the wheel's force after every frame of a live drive; made after
// the pad, so that it falls still before the pad closes at exit.
DeviceFeedback feedback;
WindowFocus focus;
// Set by SIGINT or SIGTERM while a drive is recorded: the next idle call
// ends the recording cleanly and stops.
volatile std::sig_atomic_t stopRequested = 0;
KeyboardInput keyboard;
// The scene's part of the window; bars around it when the window is not 4:3.
ViewportRect view;
bool barsShown = false;
const int barColour = 0x000000;
// The map given with --map, loaded before the window opens.
MapFile* map = nullptr;
// The wheel mapping given with --wheel, read before the window opens too.
WheelMapping* wheel = nullptr;

uint64_t currentHash() {
    return truckApp->positionsHash();
}

void printPositionsHash() {
    std::printf("positions hash: %016" PRIx64 "\n", currentHash());
    std::fflush(stdout);
}

// The frame time comes from the timer, or in a replay from the recording;
// a recording being written notes it first.
void display() {
    keyboard.beginFrame();
    if (!options.screenshot.empty()) {
        std::exit(ScreenshotDriver::run(truckApp, renderer, options, glutGet(GLUT_WINDOW_WIDTH),
                                        glutGet(GLUT_WINDOW_HEIGHT)));
    }
    mouse.beginFrame();
    float time = 0.0f;
    if (replay != nullptr) {
        const double now = timer->elapsed();
        float next = 0.0f;
        const bool due = replay->upcomingFrameTime(&next) && next <= replayControl.position(now);
        const bool more = replay->upcomingFrameTime(&next);
        if (!due && (replayControl.waitsAtEnd() || more)) {
            // Paused, sought or waiting at the end: the scene as it stands.
            // Reaching the end says where the drive ended, once each time.
            static bool atEnd = false;
            if (!more && !atEnd) {
                printPositionsHash();
            }
            atEnd = !more;
            replayControl.takeRedraw();
            replayControl.showTimeline(now);
            if (barsShown) {
                renderer->clearWindow(barColour);
            }
            truckApp->draw(static_cast<float>(now));
            glutSwapBuffers();
            return;
        }
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
        replayControl.played(time);
        replayControl.showTimeline(now);
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
    if (replay == nullptr) {
        const double now = timer->elapsed();
        feedback.frame(*truckApp, gamePad, now, focus.focused(now));
    }
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
    if (replay != nullptr && !replayControl.takeRedraw()) {
        const double now = timer->elapsed();
        const bool more = replay->upcomingFrameTime(&next);
        const double wait =
            more ? (next - replayControl.position(now)) / replayControl.speed() : 0.0;
        if ((more && (wait > 0.0 || replayControl.paused())) ||
            (!more && replayControl.waitsAtEnd())) {
            usleep(static_cast<useconds_t>((wait > 0.0 ? std::min(wait, 0.01) : 0.01) * 1e6));
            return;
        }
    }
    glutPostRedisplay();
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
    keyboard.beginFrame();
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

// How to drive with a pad, for a console that has none plugged in.
const char* const padHelp =
    "gamepad:           none plugged in; plug one in at any time: left stick steers,\n"
    "                   right/left trigger forward/backwards, A brakes, B recovers,\n"
    "                   Start resets, Back changes camera, shoulders look left/right";

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
    if (!options.wheel.empty()) {
        wheel = new WheelMapping();
        if (!wheel->load(options.wheel.c_str())) {
            std::fprintf(stderr, "dravonel: %s\n", printableText(wheel->failureReason()).c_str());
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
    truckApp->historySeconds = options.historySeconds;
    truckApp->damage = options.damage;
    // A replay runs with the trucks it was recorded with.
    truckApp->setTruckCount(replay != nullptr && replay->truckStamp() > 1 ? replay->truckStamp()
                                                                          : options.trucks);
    truckApp->setThreads(options.threads > 0 ? options.threads
                                             : defaultThreads(truckApp->truckCount()));
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
    if (!options.state.empty() && !truckApp->loadState(options.state.c_str())) {
        std::fprintf(stderr, "dravonel: %s\n", printableText(truckApp->failureReason()).c_str());
        teardown();
        return 1;
    }
    if (!options.record.empty()) {
        recorder = new RecordingWriter();
        if (!recorder->open(options.record.c_str(), truckApp->modelHash, truckApp->groundHash,
                            options.damage, truckApp->truckCount())) {
            std::fprintf(stderr, "dravonel: %s\n",
                         printableText(recorder->failureReason()).c_str());
            teardown();
            return 1;
        }
    }

    if (replay != nullptr) {
        if (!replay->matchesModel(truckApp->modelHash) ||
            !replay->matchesGround(truckApp->groundHash) ||
            !replay->matchesParticles(truckApp->world->particleCount()) ||
            !replay->matchesDamage(options.damage)) {
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
    if (replay != nullptr) {
        replayControl.attach(truckApp, replay);
        router.setIgnoredKeyHook(
            [](int code, bool down) { replayControl.key(code, down, timer->elapsed()); });
        router.passViewKeys(true);
        truckApp->hud.replaying = true;
    }
    truckApp->hud.visible = !options.noHud;
    // The first camera is a view, not an input of the drive: set directly,
    // never recorded. (A screenshot's driver sets it itself.)
    if (options.camera > 0 && options.screenshot.empty()) {
        truckApp->key(cameraKeyCode(options.camera), true);
        truckApp->key(cameraKeyCode(options.camera), false);
    }
    mouse.attach(truckApp, &router);
    keyboard.attach(truckApp, &router, options.screenshot.empty());
    bool padHint = false;
    if (replay == nullptr && options.screenshot.empty()) {
        if (wheel != nullptr) {
            gamePad.setWheelMapping(wheel);
        }
        if (!gamePad.start()) {
            std::fprintf(stderr, "dravonel: no gamepad: %s\n", gamePad.failureReason());
        } else if (!options.padMappings.empty() &&
                   !gamePad.addPadMappings(options.padMappings.c_str())) {
            std::fprintf(stderr, "dravonel: %s\n", printableText(gamePad.failureReason()).c_str());
            teardown();
            return 1;
        } else {
            // Said after the banner: a newcomer without a pad learns there can be one.
            padHint = gamePad.padsPlugged() == 0;
        }
        feedback.rumbleEnabled = !options.noRumble;
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
    glutSpecialFunc(KeyboardInput::glutSpecialDown);
    glutSpecialUpFunc(KeyboardInput::glutSpecialUp);
    glutKeyboardFunc(KeyboardInput::glutCharacterDown);
    glutKeyboardUpFunc(KeyboardInput::glutCharacterUp);
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
        if (padHint) {
            std::printf("\n%s\n", padHelp);
            std::fflush(stdout);
        }
    }
    glFlush();
    // Time zero of the simulation: after all loading and the banner.
    timer->start();
    glutMainLoop();

    // Reached only if the main loop ever returns; the Timer is not destroyed.
    teardown();
    return 0;
}
