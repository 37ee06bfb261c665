// MouseInput: picking, dragging the grab target and turning the orbit camera.
#include "app/input/MouseInput.h"

#include "app/TruckApp.h"
#include "app/input/DrawnPick.h"
#include "app/input/InputRouter.h"
#include "physics/PhysicsWorld.h"
#include "scene/RenderScale.h"

#include <GL/freeglut.h>

#include <cmath>

namespace {
MouseInput* attached = nullptr;
// Scene units the target moves along the view axis per wheel notch (0.25 m),
// and the nearest it comes to the eye (0.5 m, well beyond the near plane).
const float wheelDepthStep = 15.0f;
const float nearestDepth = 30.0f;
const float farthestDepth = 4000.0f;
// Radians the orbit camera turns per pixel of left-drag.
const float turnPerPixel = 0.01f;
} // namespace

void MouseInput::attach(TruckApp* application, InputRouter* inputRouter) {
    app = application;
    router = inputRouter;
    attached = this;
}

int MouseInput::pick(const CameraView& view, int width, int height, const Vec3* positions,
                     int count, float x, float y, WindowPoint* shown) {
    if (!view.valid) {
        return -1;
    }
    // The cursor's pixel covers x..x+1: compare with its centre.
    const float cx = x + 0.5f;
    const float cy = y + 0.5f;
    float nearest = pickRadius;
    bool any = false;
    for (int i = 0; i < count; ++i) {
        WindowPoint p;
        if (projectToWindow(view, width, height, positions[i] * renderScale, &p)) {
            const float d = std::hypot(p.x - cx, p.y - cy);
            if (d <= nearest) {
                nearest = d;
                any = true;
            }
        }
    }
    if (!any) {
        return -1;
    }
    int best = -1;
    for (int i = 0; i < count; ++i) {
        WindowPoint p;
        if (projectToWindow(view, width, height, positions[i] * renderScale, &p) &&
            std::hypot(p.x - cx, p.y - cy) <= nearest + tieMargin &&
            (best < 0 || p.depth < shown->depth)) {
            best = i;
            *shown = p;
        }
    }
    return best;
}

void MouseInput::button(int which, bool down, int x, int y, int width, int height) {
    if (app == nullptr || router == nullptr) {
        return;
    }
    if (which == rightButton) {
        if (down && held < 0 && app->drivenWorld() != nullptr && router->takesGrabs()) {
            cursorX = static_cast<float>(x);
            cursorY = static_cast<float>(y);
            pressWidth = width;
            pressHeight = height;
            // Before the first frame is drawn there is nothing to pick from
            // yet: the press waits for it.
            pressWaiting = !app->lastView.valid;
            if (!pressWaiting) {
                pickUnderCursor();
            }
        } else if (!down && pressWaiting) {
            pressWaiting = false;
        } else if (!down && held >= 0) {
            // The last target first, so the recording keeps their order.
            deliverPending();
            router->deliver(InputEvent::makeRelease());
            held = -1;
            handed = false;
        }
        return;
    }
    if (which == leftButton) {
        turning = down;
        lastX = x;
        lastY = y;
        return;
    }
    if ((which == wheelUp || which == wheelDown) && down) {
        const int notch = which == wheelUp ? 1 : -1;
        if (held >= 0) {
            // Wheel up pushes the target away from the eye.
            depth =
                std::fmin(farthestDepth, std::fmax(nearestDepth, depth + wheelDepthStep * notch));
            moveTarget(width, height);
        } else {
            // Wheel up brings the orbit camera nearer.
            app->orbitCamera.zoom(notch);
        }
    }
}

void MouseInput::pickUnderCursor() {
    int p = -1;
    WindowPoint shown;
    if (app->drawCarModel && app->bodyMesh != nullptr) {
        // What is drawn is what is grabbed: the node nearest the point of
        // the truck under the cursor; its own depth sets the drag's plane.
        Vec3 hit;
        p = pickOnDrawnTruck(*app, app->lastView, pressWidth, pressHeight, cursorX, cursorY, &hit);
        if (p >= 0 && !projectToWindow(app->lastView, pressWidth, pressHeight,
                                       app->drivenWorld()->positions()[p] * renderScale, &shown)) {
            p = -1;
        }
    } else {
        // Without the truck's meshes the nodes are what shows.
        p = pick(app->lastView, pressWidth, pressHeight, app->drivenWorld()->positions(),
                 app->drivenWorld()->particleCount(), cursorX, cursorY, &shown);
    }
    if (p >= 0) {
        held = p;
        handed = false;
        depth = shown.depth;
        // Held where it is until the cursor moves.
        pending = true;
        pendingTarget = app->drivenWorld()->positions()[p];
    }
}

void MouseInput::motion(int x, int y, int width, int height) {
    if (app == nullptr) {
        return;
    }
    if (pressWaiting) {
        cursorX = static_cast<float>(x);
        cursorY = static_cast<float>(y);
    }
    if (held >= 0) {
        cursorX = static_cast<float>(x);
        cursorY = static_cast<float>(y);
        moveTarget(width, height);
    }
    if (turning) {
        app->orbitCamera.turn(-turnPerPixel * static_cast<float>(x - lastX),
                              turnPerPixel * static_cast<float>(y - lastY));
        lastX = x;
        lastY = y;
    }
}

void MouseInput::moveTarget(int width, int height) {
    if (!app->lastView.valid) {
        return;
    }
    // The cursor's pixel centre, in the plane at the particle's depth.
    const Vec3 scene =
        pointUnderWindow(app->lastView, width, height, cursorX + 0.5f, cursorY + 0.5f, depth);
    pendingTarget = scene * (1.0f / renderScale);
    pending = true;
}

void MouseInput::beginFrame() {
    if (app == nullptr || router == nullptr) {
        return;
    }
    // A reset built a new world, which let go: so does the hand.
    if (held >= 0 && handed && app->heldParticle() != held) {
        held = -1;
        handed = false;
        pending = false;
    }
    // A press made before the first frame picks from the first frame drawn.
    if (pressWaiting && app->lastView.valid && app->drivenWorld() != nullptr) {
        pressWaiting = false;
        pickUnderCursor();
    }
    deliverPending();
}

void MouseInput::deliverPending() {
    if (!pending || held < 0) {
        pending = false;
        return;
    }
    pending = false;
    router->deliver(InputEvent::makeGrab(held, pendingTarget));
    handed = true;
}

void MouseInput::glutButton(int button, int state, int x, int y) {
    if (attached != nullptr) {
        attached->button(button, state == GLUT_DOWN, x, y, glutGet(GLUT_WINDOW_WIDTH),
                         glutGet(GLUT_WINDOW_HEIGHT));
    }
}

void MouseInput::glutMotion(int x, int y) {
    if (attached != nullptr) {
        attached->motion(x, y, glutGet(GLUT_WINDOW_WIDTH), glutGet(GLUT_WINDOW_HEIGHT));
    }
}
