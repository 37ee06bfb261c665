// ScreenshotDriver: the program's scripted screenshot. It drives the key
// script at a fixed 60 frames per second up to the requested time, drawing
// every frame as the window would (the cameras smooth over the frames
// before), reads back the last one and writes it as a 640 x 480 PNG. The
// same script gives the same bytes on every run.
#pragma once

class ProgramOptions;
class Renderer;
class TruckApp;

class ScreenshotDriver {
  public:
    static constexpr int width = 640;
    static constexpr int height = 480;
    static constexpr int framesPerSecond = 60;

    // Runs the script of `options` on `app` in a window of windowWidth x
    // windowHeight pixels and writes options.screenshot. Prints what it
    // wrote, or one line on stderr; returns the process's exit status.
    static int run(TruckApp* app, Renderer* renderer, const ProgramOptions& options,
                   int windowWidth, int windowHeight);
};
