// ScreenshotDriver: the scripted frames and the PNG of the last one.
#include "app/ScreenshotDriver.h"

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/record/KeyScript.h"
#include "app/PngWriter.h"
#include "app/ProgramOptions.h"
#include "app/TruckApp.h"
#include "physics/PhysicsWorld.h"
#include "render/Renderer.h"

#include <cmath>
#include <cstdio>
#include <vector>

int ScreenshotDriver::run(TruckApp* app, Renderer* renderer, const ProgramOptions& options,
                          int windowWidth, int windowHeight) {
    // What can be checked is checked before the drive: the file can be
    // written, and the script grabs only particles the model has.
    PngWriter png;
    if (!png.open(options.screenshot.c_str())) {
        std::fprintf(stderr, "dravonel: %s\n", printableText(png.failureReason()).c_str());
        return 1;
    }
    KeyScript script;
    script.parse(options.script);
    if (!script.checkParticles(app->world->particleCount())) {
        png.discard();
        std::fprintf(stderr, "dravonel: --script: %s (see dravonel --help)\n",
                     printableText(script.failureReason()).c_str());
        return 2;
    }
    if (windowWidth < width || windowHeight < height) {
        png.discard();
        std::fprintf(stderr, "dravonel: the window is %d x %d, too small for a %d x %d shot\n",
                     windowWidth, windowHeight, width, height);
        return 1;
    }
    renderer->setViewport(width, height);
    app->viewWidth = width;
    app->viewHeight = height;
    // A scripted frame shows the script's fixed rate, not a measured one.
    app->hud.scripted = true;
    app->hud.scriptedFramesPerSecond = framesPerSecond;
    if (options.camera > 0) {
        app->key(cameraKeyCode(options.camera), true);
        app->key(cameraKeyCode(options.camera), false);
    }
    const long frames = std::lround(options.at * framesPerSecond);
    for (long frame = 0; frame <= frames; ++frame) {
        // Frame times and event timing as in the headless simulator, so the
        // same script drives the same simulation.
        const double time = static_cast<double>(frame) / framesPerSecond;
        script.sendUntil(time, app);
        if (frame > 0 || frames == 0) {
            app->frame(static_cast<float>(time));
            // Nothing is swapped here, so each frame is finished by hand.
            renderer->finishFrame();
        }
    }
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
    renderer->readPixels(0, 0, width, height, pixels.data());
    if (!png.writeOpened(width, height, pixels.data(), true)) {
        std::fprintf(stderr, "dravonel: %s\n", printableText(png.failureReason()).c_str());
        return 1;
    }
    std::printf("wrote %s (%d x %d, the frame at %g s)\n",
                printableText(options.screenshot.c_str()).c_str(), width, height,
                static_cast<double>(frames) / framesPerSecond);
    std::fflush(stdout);
    return 0;
}
