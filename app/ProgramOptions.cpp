// ProgramOptions: parsing and the usage text.
#include "app/ProgramOptions.h"

#include "app/CommandLine.h"
#include "app/record/KeyScript.h"

#include <cstring>

namespace {
// Longest simulated time a screenshot may be taken at, seconds (a day).
const double maxScreenshotTime = 86400.0;
// Longest history --history keeps, seconds (an hour: about 430 MB).
const double maxHistorySeconds = 3600.0;

// The window system's options that carry a value, and those that do not.
const char* const toolkitOptionsWithValue[] = {"-display", "-geometry"};
const char* const toolkitFlags[] = {"-direct", "-indirect", "-iconic", "-gldebug", "-sync"};

bool isOneOf(const char* argument, const char* const* names, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        if (std::strcmp(argument, names[k]) == 0) {
            return true;
        }
    }
    return false;
}
} // namespace

const char* ProgramOptions::usage() {
    return "usage: dravonel [--assets DIR] [--map FILE] [--history SECONDS] [--state FILE]\n"
           "       dravonel [--assets DIR] --screenshot FILE.png --at SECONDS\n"
           "                [--script \"T:+key T:-key ...\"] [--camera N]\n"
           "       dravonel [--assets DIR] --record FILE\n"
           "       dravonel [--assets DIR] --replay FILE\n"
           "Any of them with --no-hud, --damage, --camera N, --trucks N and --threads T;\n"
           "driving, with --no-rumble, --pad-mappings FILE and --wheel FILE.\n"
           "\n"
           "With no options it loads its files from the working directory (or from the\n"
           "installed share/dravonel when the working directory has none) and you drive.\n"
           "  --assets DIR       load the files from DIR\n"
           "  --map FILE         drive on the map FILE (a heightmap world, such as\n"
           "                     maps/dunes.map in the asset folder) instead of the\n"
           "                     default world; goes with every other option\n"
           "  --screenshot FILE  drive the script at 60 frames per second, write the frame\n"
           "                     at --at SECONDS as a 640 x 480 PNG to FILE and exit\n"
           "  --script TEXT      timed input events, as for dravonel-sim: TIME:+KEY and\n"
           "                     TIME:-KEY with keys up down left right space esc q e\n"
           "                     p [ ] . r h f1..f12 backspace home end tab,\n"
           "                     TIME:grab=P@X,Y,Z, TIME:release, TIME:steer=V,\n"
           "                     TIME:throttle=V, TIME:brake=V, TIME:rewind=S,\n"
           "                     TIME:truck=K; seconds\n"
           "  --camera N         the first camera, 1 to 5, as F1 to F4 and F12 (orbit);\n"
           "                     goes with every other option\n"
           "  --record FILE      write every frame's clock time and every key to FILE while\n"
           "                     you drive; the positions hash is printed when you close\n"
           "  --replay FILE      play a recording back in the window, print the positions\n"
           "                     hash at its end and exit (dravonel-sim --replay does the\n"
           "                     same without a window)\n"
           "  --history SECONDS  keep that much simulated time to go back to with Backspace\n"
           "                     (120; 0 keeps none)\n"
           "  --state FILE       drive on from a moment saved with F10 instead of the start\n"
           "                     (not with --record, --replay or --screenshot)\n"
           "  --trucks N         N trucks (1 to 16) in one world; Tab and Ctrl-Tab choose\n"
           "                     the one driven\n"
           "  --threads T        threads for the step of several trucks (default: one per\n"
           "                     core, at least four trucks to a thread); the result is\n"
           "                     the same on any number\n"
           "  --no-hud           no overlay (speed, time scale, camera, messages); F9\n"
           "                     shows it\n"
           "  --no-rumble        leave the pad's motors still (no rumble on impacts and\n"
           "                     rough ground)\n"
           "  --pad-mappings FILE  SDL game-controller mappings (one a line, as in the\n"
           "                     community's database) for pads SDL does not know\n"
           "  --wheel FILE       drive with a steering wheel and pedals (a joystick that\n"
           "                     is no game controller) as the mapping FILE says: axis,\n"
           "                     range, inversion and dead zone of steer, throttle, brake\n"
           "  --damage           the truck bends for good and breaks in a crash; Esc and\n"
           "                     r repair it (a replay needs the setting it was recorded with)\n"
           "  --help             print this text\n"
           "Closing the window ends the program; Escape resets the truck.\n";
}

bool ProgramOptions::parse(int argc, char** argv) {
    CommandLine line(argc, argv);
    toolkitArguments.assign(1, argv[0]);
    bool atGiven = false;
    bool scriptGiven = false;
    // The value of the option just read, a file or folder name, stored in
    // `field`; an empty name is refused rather than taken as not given.
    auto take = [&line](const char* option, std::string* field) {
        const char* value = nullptr;
        if (!line.text(&value)) {
            return false;
        }
        if (value[0] == '\0') {
            return line.fail(std::string(option) + " needs a name, not an empty one");
        }
        *field = value;
        return true;
    };
    for (const char* option = line.next(); option != nullptr; option = line.next()) {
        bool ok = true;
        if (std::strcmp(option, "--help") == 0 || std::strcmp(option, "-h") == 0) {
            help = true;
        } else if (std::strcmp(option, "--assets") == 0) {
            ok = take(option, &assets);
        } else if (std::strcmp(option, "--map") == 0) {
            ok = take(option, &map);
        } else if (std::strcmp(option, "--screenshot") == 0) {
            ok = take(option, &screenshot);
        } else if (std::strcmp(option, "--at") == 0) {
            ok = line.number(0.0, maxScreenshotTime, &at);
            atGiven = true;
        } else if (std::strcmp(option, "--script") == 0) {
            const char* value = nullptr;
            ok = line.text(&value);
            script = ok ? value : "";
            scriptGiven = true;
        } else if (std::strcmp(option, "--camera") == 0) {
            ok = line.integer(1, 5, &camera);
        } else if (std::strcmp(option, "--trucks") == 0) {
            ok = line.integer(1, 16, &trucks);
        } else if (std::strcmp(option, "--threads") == 0) {
            ok = line.integer(1, 64, &threads);
        } else if (std::strcmp(option, "--no-hud") == 0) {
            noHud = true;
        } else if (std::strcmp(option, "--no-rumble") == 0) {
            noRumble = true;
        } else if (std::strcmp(option, "--pad-mappings") == 0) {
            ok = take(option, &padMappings);
        } else if (std::strcmp(option, "--wheel") == 0) {
            ok = take(option, &wheel);
        } else if (std::strcmp(option, "--damage") == 0) {
            damage = true;
        } else if (std::strcmp(option, "--record") == 0) {
            ok = take(option, &record);
        } else if (std::strcmp(option, "--replay") == 0) {
            ok = take(option, &replay);
        } else if (std::strcmp(option, "--history") == 0) {
            ok = line.number(0.0, maxHistorySeconds, &historySeconds);
        } else if (std::strcmp(option, "--state") == 0) {
            ok = take(option, &state);
        } else if (isOneOf(option, toolkitOptionsWithValue, 2)) {
            const char* value = nullptr;
            ok = line.text(&value);
            if (ok) {
                toolkitArguments.push_back(const_cast<char*>(option));
                toolkitArguments.push_back(const_cast<char*>(value));
            }
        } else if (isOneOf(option, toolkitFlags, 5)) {
            toolkitArguments.push_back(const_cast<char*>(option));
        } else {
            ok = line.fail("unknown option '" + printableText(option) + "'");
        }
        if (!ok) {
            reason = line.failureReason();
            return false;
        }
    }
    if (help) {
        return true;
    }

    const int modes = !screenshot.empty() + !record.empty() + !replay.empty();
    if (modes > 1) {
        reason = "--screenshot, --record and --replay do not go together";
        return false;
    }
    if (!state.empty() && modes > 0) {
        reason = "--state starts a live drive: not with --screenshot, --record or --replay";
        return false;
    }
    if (screenshot.empty() && (atGiven || scriptGiven)) {
        reason = "--at and --script go with --screenshot";
        return false;
    }
    if (!screenshot.empty() && !atGiven) {
        reason = "--screenshot needs --at SECONDS";
        return false;
    }
    KeyScript check;
    if (!check.parse(script)) {
        reason = std::string("--script: ") + check.failureReason();
        return false;
    }
    return true;
}
