// TruckDriver: runs a TruckApp headless through TruckApp::key and
// TruckApp::advance at a fixed frame rate, the way the program's display
// loop does, and measures the truck from TruckApp::bodyTransform.
#pragma once

#include "app/TruckApp.h"
#include "math/Mat4.h"
#include "math/Vec3.h"

#include <string>

struct BodyPose {
    // Body origin in metres.
    Vec3 origin;
    // Unit forward (body -z) and up (body +y) directions in the world.
    Vec3 forward;
    Vec3 up;
    // Heading in degrees, clockwise seen from above, 0 facing -z.
    float headingDegrees = 0.0f;
    // Angle between the body's up axis and the world's, degrees.
    float tiltDegrees = 0.0f;
};

class Renderer;

class TruckDriver {
  public:
    // Loads the simulation from the asset folder; false with the app's reason.
    // With a renderer (and a current GL context) loads every asset, so that
    // TruckApp::frame can draw.
    bool load(const std::string& assetDirectory, Renderer* renderer = nullptr);

    void press(int code) { app.key(code, true); }
    void release(int code) { app.key(code, false); }
    // Advances `seconds` of frames at 60 frames per second; after every
    // frame calls check(), if given, which may record failures.
    template <typename Check> void run(double seconds, Check check) {
        const long frames = static_cast<long>(seconds * framesPerSecond + 0.5);
        for (long k = 0; k < frames; ++k) {
            ++frame;
            app.advance(static_cast<float>(time()));
            check();
        }
    }
    void run(double seconds) {
        run(seconds, [] {});
    }

    // Moves the truck rigidly so that its body origin lies over (x, z), it
    // heads headingDegrees (as BodyPose measures it), its up axis follows the
    // ground's normal there and its lowest particle is 0.05 m above the
    // ground beneath it. Velocities turn with it.
    void placeAt(float x, float z, float headingDegrees);

    // Seconds since the start of the run.
    double time() const { return static_cast<double>(frame) / framesPerSecond; }
    BodyPose pose() const;
    // Mean velocity of the four body-fit particles, m/s, and its length.
    Vec3 chassisVelocity() const;
    float chassisSpeed() const;
    // Live dust particles.
    int dustCount() const;
    // Largest particle speed, m/s; NaN if any velocity is NaN.
    float maxParticleSpeed() const;
    // True when every position and velocity is finite.
    bool allFinite() const;
    // Depth of the deepest particle below the ground, metres (0 if none).
    float deepestPenetration() const;
    // Largest ratio of current to rest length over all springs.
    float maxSpringStretch() const;
    // The middle of the tailgate as drawn, scene units: the centre of the
    // body shell's rearmost face (its vertices within 2 % of the length
    // from the back) under the body transform.
    Vec3 tailgateCentre() const;

    TruckApp app;
    static constexpr int framesPerSecond = 60;

  private:
    long frame = 0;
};

// Key codes as TruckApp::key takes them.
const int keyCodeUp = 357;
const int keyCodeDown = 359;
const int keyCodeLeft = 356;
const int keyCodeRight = 358;
const int keyCodeSpace = 32;
const int keyCodeEscape = 27;
