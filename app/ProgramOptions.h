// ProgramOptions: the program's command line. With no options the program
// drives live from the working directory's files; the options choose the
// asset folder, a scripted screenshot, recording a drive or replaying one.
// The window system's own options (-display, -geometry, ...) pass through
// to it untouched.
#pragma once

#include <string>
#include <vector>

class ProgramOptions {
  public:
    // Reads the arguments; false with failureReason() on an unknown option,
    // a missing or bad value, or options that do not go together.
    bool parse(int argc, char** argv);
    const char* failureReason() const { return reason.c_str(); }

    // The usage text printed by --help.
    static const char* usage();

    bool help = false;
    // Folder of the asset files as given with --assets; empty when not given.
    std::string assets;
    // Map file to drive on instead of the default world; empty when not given.
    std::string map;
    // PNG file to write the scripted frame to; empty for a live run.
    std::string screenshot;
    // Seconds of simulated time at which the screenshot is taken.
    double at = 0.0;
    // Key script driven before the screenshot, in the simulator's syntax.
    std::string script;
    // The first camera 1..5 (as F1..F4, F12), in the window or the
    // screenshot; 0 keeps the start camera.
    int camera = 0;
    // Trucks in the world, 1 to 16, and threads for their step (0: one per
    // core).
    int trucks = 1;
    int threads = 0;
    // Leave the overlay out (F9 still shows it).
    bool noHud = false;
    // Leave the pad's motors still.
    bool noRumble = false;
    // SDL game-controller mappings to add, and the wheel mapping to drive
    // with; empty when not given.
    std::string padMappings;
    std::string wheel;
    // --damage: the truck bends for good and breaks.
    bool damage = false;
    // Recording file to write while driving, or to play back.
    std::string record;
    std::string replay;
    // Simulated seconds of the past kept for rewinds and seeks.
    double historySeconds = 120.0;
    // A moment saved with F10 to start from; empty for the start.
    std::string state;
    // argv[0] and the window system's options, for glutInit.
    std::vector<char*> toolkitArguments;

  private:
    std::string reason;
};
