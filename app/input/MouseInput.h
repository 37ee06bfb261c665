// MouseInput: the mouse in the window. The right button grabs the truck
// where it shows under the cursor (the particle nearest the point of the
// drawn truck met; with the truck model hidden, the node shown nearest the
// cursor) and drags it: the cursor moves the grab's target
// in the plane through the particle facing the camera, the wheel moves the
// target nearer or farther, and letting go of the button releases it. The
// left button turns the orbit camera and the wheel zooms it when nothing is
// grabbed. Grabs go through the InputRouter, so they are recorded; the
// target moves at most once per frame, delivered at the start of the next.
#pragma once

#include "app/camera/CameraView.h"
#include "math/Vec3.h"

class InputRouter;
class TruckApp;

class MouseInput {
  public:
    // GLUT's mouse buttons and wheel notches.
    static const int leftButton = 0;
    static const int rightButton = 2;
    static const int wheelUp = 3;
    static const int wheelDown = 4;
    // Pixels: a particle shown farther than this from the cursor is not picked.
    static constexpr float pickRadius = 30.0f;
    // Pixels: particles shown within this of the nearest one are a tie,
    // which the one nearest the eye wins (a particle is drawn a few pixels
    // wide, so these overlap on the screen).
    static constexpr float tieMargin = 4.0f;

    // `router` carries the grabs; the orbit camera and the view are read and
    // turned on `app` directly. Makes this the instance the GLUT callbacks use.
    void attach(TruckApp* app, InputRouter* router);
    // A button or wheel notch went down or up at window pixel (x, y) of a
    // window of width x height pixels.
    void button(int button, bool down, int x, int y, int width, int height);
    // The cursor moved with a button held.
    void motion(int x, int y, int width, int height);
    // Start of a frame, before its time is recorded: delivers the target of
    // the last move, if any, and notices a grab that the app ended (a reset).
    void beginFrame();
    bool grabbing() const { return held >= 0; }

    // The particle (positions in metres) whose projection lies nearest the
    // window point (x, y), within pickRadius; near ties go to the one nearest
    // the eye. -1 when none is; otherwise `shown` is where it shows.
    static int pick(const CameraView& view, int width, int height, const Vec3* positions, int count,
                    float x, float y, WindowPoint* shown);

    // Callbacks for glutMouseFunc and glutMotionFunc on the attached instance.
    static void glutButton(int button, int state, int x, int y);
    static void glutMotion(int x, int y);

  private:
    // Picks at the cursor in the last view drawn and holds what it finds.
    void pickUnderCursor();
    void moveTarget(int width, int height);
    void deliverPending();

    TruckApp* app = nullptr;
    InputRouter* router = nullptr;
    // The particle being dragged, -1 while none is.
    int held = -1;
    // True once the app has been handed the grab of `held`.
    bool handed = false;
    // Scene units along the view axis: the depth of the target's plane.
    float depth = 0.0f;
    // The cursor, window pixels.
    float cursorX = 0.0f;
    float cursorY = 0.0f;
    // A target (m) not yet delivered.
    bool pending = false;
    Vec3 pendingTarget;
    // A right-press made before any frame was drawn, waiting for the first,
    // and the window size it was made in.
    bool pressWaiting = false;
    int pressWidth = 0;
    int pressHeight = 0;
    // Left-drag turning the orbit camera, from the last cursor position.
    bool turning = false;
    int lastX = 0;
    int lastY = 0;
};
