// Hud: formatting the overlay's lines and drawing them.
#include "app/overlay/Hud.h"

#include "app/TruckApp.h"
#include "physics/PhysicsWorld.h"
#include "render/Renderer.h"

#include <cmath>
#include <cstdio>

namespace {
const float metresPerSecondToKmh = 3.6f;
// km/h below which the truck is shown standing (0.14 m/s): more than its
// trembling at rest, less than any crawl under throttle.
const float standingKmh = 0.5f;

// Names by camera index (F1..F4, then the orbit camera on F12).
const char* const cameraNames[] = {"F1 fixed", "F2 driver", "F3 side", "F4 follow", "F12 orbit"};

// Colours, packed 0xRRGGBB.
const int textColour = 0xF0F0E0;
const int pausedColour = 0xFFD040;
const int messageColour = 0xFFFFFF;
const int panelColour = 0x101018;

// Pixels: the margin to the viewport's edge and the line pitch.
const int margin = 8;
const int pitch = Renderer::textCellHeight + 3;

const char* const helpLines[] = {
    "keys",
    "cursor left/right  steer",
    "cursor up/down     accelerate forward/backwards",
    "space              brake",
    "F1-F4, F12         camera: fixed, driver, side, follow, orbit",
    "q, e               look left/right; both: rear",
    "F5, F6             truck model, mass/spring model",
    "F7, F8             dust, ground wireframe",
    "F9                 this display on/off",
    "F11                full screen",
    "h                  this help",
    "p                  pause / go on",
    "[ ]                slower / faster (\3271/64 to \3271)",
    ".                  one frame on, while paused",
    "r                  recover: on its wheels where it last stood well",
    "Esc                reset: back at the start",
    "mouse left-drag    turn the orbit camera (F12); wheel: zoom",
    "mouse right-drag   grab the truck and pull",
    "pad rumble         impacts, rough ground; off: --no-rumble",
    "Backspace          hold: time runs back (2x); p goes on",
    "F10                save this moment to a file (--state)",
    "gamepad            plug one in at any time: left stick steer,",
    "                   right/left trigger forward/backwards, A brake,",
    "                   B recover, Start reset, Back camera, shoulders look",
};
const int helpLineCount = sizeof(helpLines) / sizeof(helpLines[0]);
// Shown after the others only with several trucks.
const char* const severalTrucksHelp = "Tab, Ctrl-Tab      drive the next / the previous truck";
} // namespace

bool Hud::key(int code, bool down) {
    if (code == keyToggle) {
        if (down) {
            visible = !visible;
        }
        return true;
    }
    if (code == keyHelp) {
        if (down) {
            helpVisible = !helpVisible;
        }
        return true;
    }
    return false;
}

void Hud::note(const char* text, float time) {
    messageText = text;
    messageTime = time;
}

float Hud::speedKmh(const TruckApp& app) {
    const Vec3 sum = app.chassisVelocity();
    const float speed = std::sqrt(dot(sum, sum));
    // Forward is the body's -z, in scene and world alike.
    const Vec3 forward = app.bodyTransform().transformVector(Vec3(0.0f, 0.0f, -1.0f));
    const float sign = dot(sum, forward) < 0.0f ? -1.0f : 1.0f;
    return sign * speed * metresPerSecondToKmh;
}

void Hud::countFrame(const TruckApp& app, float time, double physicsSeconds) {
    // A start that drops the truck again at once is said once, not at
    // every fall.
    if (app.fallOutResets != seenFallOuts && app.straightFalls == 0) {
        note("off the map: back at the start", time);
    } else if (app.fallOutResets != seenFallOuts && app.straightFalls == 1) {
        note("off the map again, straight after the reset", time);
    }
    if (app.unstableResets != seenUnstable) {
        note("the soft body became unstable and was reset", time);
    }
    if (app.recoveries != seenRecoveries) {
        note("recovered", time);
    }
    seenFallOuts = app.fallOutResets;
    seenUnstable = app.unstableResets;
    seenRecoveries = app.recoveries;

    if (figureStart < 0.0f || time < figureStart) {
        figureStart = time;
        framesCounted = 0;
        physicsCounted = 0.0;
    }
    ++framesCounted;
    physicsCounted += physicsSeconds;
    // New figures twice a second: steady enough to read.
    const float span = time - figureStart;
    if (span >= 0.5f) {
        framesPerSecond = static_cast<float>(framesCounted) / span;
        physicsMs = static_cast<float>(physicsCounted * 1000.0 / framesCounted);
        figureStart = time;
        framesCounted = 0;
        physicsCounted = 0.0;
    }
}

void Hud::format(const TruckApp& app, float time) {
    (void)time;
    const float kmh = speedKmh(app);
    // A truck at rest still trembles on its springs: below standingKmh it
    // stands, rather than flickering between forward and reverse.
    if (std::fabs(kmh) < standingKmh) {
        std::snprintf(lines[0], sizeof(lines[0]), "  0.0 km/h standing");
    } else {
        std::snprintf(lines[0], sizeof(lines[0]), "%5.1f km/h %s",
                      static_cast<double>(std::fabs(kmh)), kmh < 0.0f ? "reverse" : "forward");
    }
    // The time scale as a factor of real time: x1, x1/2 ... x1/64, written
    // with the font's multiplication sign (Latin-1 0xD7, octal 327).
    const TimeControl& clock = app.timeControl;
    char scale[16];
    if (clock.halvings() > 0) {
        std::snprintf(scale, sizeof(scale), "\3271/%d", 1 << clock.halvings());
    } else {
        std::snprintf(scale, sizeof(scale), "\3271");
    }
    const char* mode = replaying ? "REPLAY  " : "";
    if (app.rewindControl.held()) {
        std::snprintf(lines[1], sizeof(lines[1]), "%s", app.rewindControl.text());
    } else if (clock.paused()) {
        std::snprintf(lines[1], sizeof(lines[1]), "%sPAUSED (%s)", mode, scale);
    } else {
        std::snprintf(lines[1], sizeof(lines[1]), "%stime %s", mode, scale);
    }
    if (scripted) {
        std::snprintf(lines[2], sizeof(lines[2]), "%d fps (scripted)", scriptedFramesPerSecond);
    } else {
        std::snprintf(lines[2], sizeof(lines[2]), "%3.0f fps  physics %4.1f ms",
                      static_cast<double>(framesPerSecond), static_cast<double>(physicsMs));
    }
    const int camera = app.camera >= 0 && app.camera < 5 ? app.camera : 0;
    // With several trucks, which one is driven, counted from 1 for the
    // reader: truck 0 of the scripts is "truck 1". The node the mouse holds,
    // by its number in the model (as a recording and a script's grab= name
    // it).
    char which[48] = "";
    if (app.truckCount() > 1) {
        std::snprintf(which, sizeof which, ", truck %d of %d", app.selectedTruck() + 1,
                      app.truckCount());
    }
    const int held = app.heldParticle();
    if (held >= 0) {
        std::snprintf(lines[3], sizeof(lines[3]), "camera %s%s  node %d held", cameraNames[camera],
                      which, held);
    } else {
        std::snprintf(lines[3], sizeof(lines[3]), "camera %s%s", cameraNames[camera], which);
    }
    lines[damageLine][0] = '\0';
    const PhysicsWorld* driven = app.truckWorld(app.selectedTruck());
    if (driven != nullptr && driven->damageEnabled()) {
        const int total = driven->springCount() + driven->quadraticSpringCount();
        const double share = total > 0 ? 100.0 * driven->yieldedCount() / total : 0.0;
        std::snprintf(lines[damageLine], sizeof(lines[damageLine]),
                      "damage %.1f %% yielded, %d broken", share, driven->brokenCount());
    }
}

void Hud::setTimeline(double position, double length, bool paused, int halvings) {
    if (paused) {
        std::snprintf(timelineText, sizeof(timelineText), "replay %6.1f / %.1f s  PAUSED", position,
                      length);
    } else if (halvings > 0) {
        std::snprintf(timelineText, sizeof(timelineText), "replay %6.1f / %.1f s  x1/%d", position,
                      length, 1 << halvings);
    } else {
        std::snprintf(timelineText, sizeof(timelineText), "replay %6.1f / %.1f s", position,
                      length);
    }
    timelineShare = length > 0.0 ? static_cast<float>(position / length) : 0.0f;
    timelineShare = timelineShare < 0.0f ? 0.0f : (timelineShare > 1.0f ? 1.0f : timelineShare);
}

void Hud::draw(Renderer* renderer, const TruckApp& app, float time, int width, int height) {
    if (renderer == nullptr || (!visible && !helpVisible)) {
        return;
    }
    renderer->beginOverlay(width, height);
    if (visible) {
        format(app, time);
        const int shown = lines[damageLine][0] != '\0' ? lineCount + 1 : lineCount;
        const int panelWidth = 32 * Renderer::textCellWidth;
        renderer->drawRectangle(margin / 2, height - margin / 2 - shown * pitch - margin,
                                panelWidth, shown * pitch + margin, panelColour, 0.45f);
        for (int k = 0; k < shown; ++k) {
            const int colour = k == 1 && app.timeControl.paused() ? pausedColour : textColour;
            renderer->drawText(margin, height - margin - (k + 1) * pitch + 3, lines[k], colour);
        }
        // The message stays for a while, then fades out over its last second.
        const float age = time - messageTime;
        if (messageShown(time)) {
            const float fade = std::fmin(1.0f, messageSeconds - age);
            const int textWidth = 46 * Renderer::textCellWidth;
            const int x = (width - textWidth) / 2;
            renderer->drawRectangle(x - margin, margin, textWidth + 2 * margin, pitch + margin,
                                    panelColour, 0.6f * fade);
            const int grey = static_cast<int>(255.0f * fade);
            const int colour = fade >= 1.0f ? messageColour : (grey << 16 | grey << 8 | grey);
            renderer->drawText(x, margin + 6, messageText, colour);
        }
        if (timelineText[0] != '\0') {
            // The timeline above the message line: its text, then the bar.
            const int barWidth = width - 2 * margin - 40 * Renderer::textCellWidth;
            const int y = margin + pitch + 2 * margin;
            renderer->drawRectangle(margin / 2, y - margin / 2, width - margin, pitch + margin,
                                    panelColour, 0.6f);
            renderer->drawText(margin, y + 3, timelineText, textColour);
            const int barX = width - margin - barWidth;
            renderer->drawRectangle(barX, y + 2, barWidth, pitch - 4, 0x404048, 0.9f);
            renderer->drawRectangle(barX, y + 2, static_cast<int>(barWidth * timelineShare),
                                    pitch - 4, pausedColour, 0.9f);
        }
    }
    if (helpVisible) {
        const int lineCount = helpLineCount + (app.truckCount() > 1 ? 1 : 0);
        const int panelWidth = 66 * Renderer::textCellWidth;
        const int panelHeight = lineCount * pitch + 2 * margin;
        const int x = (width - panelWidth) / 2;
        const int y = (height - panelHeight) / 2;
        renderer->drawRectangle(x, y, panelWidth, panelHeight, panelColour, 0.75f);
        for (int k = 0; k < lineCount; ++k) {
            renderer->drawText(x + margin, y + panelHeight - margin - (k + 1) * pitch + 3,
                               k < helpLineCount ? helpLines[k] : severalTrucksHelp, textColour);
        }
    }
    renderer->endOverlay();
}
