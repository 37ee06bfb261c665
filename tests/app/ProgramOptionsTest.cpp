// The program and the simulator as a user meets them on the command line:
// --help and option mistakes, a scripted screenshot, a recorded drive played
// back in the window and headless, an installed copy started from an empty
// folder, and the model check with a model that blows up.
#include "app/overlay/Hud.h"
#include "app/world/HeightmapReader.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ProgramLock.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TruckDriver.h"
#include "tests/support/X11Windows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <png.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

const std::string binaryDir = DRAVONEL_BINARY_DIR;
const std::string assetDir = DRAVONEL_ASSET_DIR;
const std::string programPath = binaryDir + "/dravonel";
const std::string simPath = binaryDir + "/dravonel-sim";

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs a program to its end in `folder` and returns how it ended.
Outcome runToEnd(const std::string& path, const std::vector<std::string>& arguments,
                 const std::string& folder = "/tmp", double timeoutSeconds = 120.0) {
    ChildProcess child;
    Outcome result;
    if (!child.start(path.c_str(), folder.c_str(), arguments)) {
        ADD_FAILURE() << child.failureReason();
        return result;
    }
    if (!child.waitForExit(timeoutSeconds)) {
        ADD_FAILURE() << path << " still running after " << timeoutSeconds << " s";
        return result;
    }
    result.status = child.exitStatus();
    result.out = child.standardOutput();
    result.err = child.standardError();
    return result;
}

// The 16 hex digits after "positions hash: ", or "" when not printed.
std::string hashIn(const std::string& text) {
    const std::string label = "positions hash: ";
    const size_t at = text.find(label);
    return at == std::string::npos ? "" : text.substr(at + label.size(), 16);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool displayReady() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0' || !holdDisplayOpen(10.0)) {
        ADD_FAILURE() << "no X display: run the program tests under xvfb-run";
        return false;
    }
    return true;
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// Runs ImageMagick's convert with these arguments; true when it succeeded.
bool convert(const std::vector<std::string>& arguments) {
    ChildProcess child;
    return child.start("/usr/bin/env", "/tmp",
                       [&] {
                           std::vector<std::string> all = {"convert"};
                           all.insert(all.end(), arguments.begin(), arguments.end());
                           return all;
                       }()) &&
           child.waitForExit(60.0) && child.exitStatus() == 0;
}

// The share of pixels in rows first..last (top row 0) bluer than they are red.
double blueShare(const std::vector<unsigned char>& rgb, int width, int first, int last) {
    int blue = 0;
    for (int y = first; y <= last; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = &rgb[3 * (static_cast<size_t>(y) * width + x)];
            blue += p[2] > p[0] ? 1 : 0;
        }
    }
    return static_cast<double>(blue) / ((last - first + 1) * width);
}

// The model file's tokens with spring 0's stiffness multiplied by `factor`
// and its second particle replaced by `second` (when not negative).
std::string withSpringZero(const std::string& model, double factor, int second) {
    std::istringstream in(model);
    std::vector<std::string> tokens;
    for (std::string token; in >> token;) {
        tokens.push_back(token);
    }
    const size_t spring = 1 + 4 * std::stoul(tokens.at(0)) + 1;
    if (second >= 0) {
        tokens.at(spring + 1) = std::to_string(second);
    }
    tokens.at(spring + 2) = std::to_string(std::stod(tokens.at(spring + 2)) * factor);
    std::string out;
    for (const std::string& token : tokens) {
        out += token + "\n";
    }
    return out;
}

// The model file's tokens without its last wheel.
std::string withoutLastWheel(const std::string& model) {
    std::istringstream in(model);
    std::vector<std::string> tokens;
    for (std::string token; in >> token;) {
        tokens.push_back(token);
    }
    const size_t springs = 1 + 4 * std::stoul(tokens.at(0));
    const size_t wheels = springs + 1 + 4 * std::stoul(tokens.at(springs));
    const unsigned long wheelCount = std::stoul(tokens.at(wheels));
    size_t last = wheels + 1;
    for (unsigned long w = 0; w + 1 < wheelCount; ++w) {
        last += 3 + std::stoul(tokens.at(last + 2));
    }
    tokens.at(wheels) = std::to_string(wheelCount - 1);
    tokens.erase(tokens.begin() + static_cast<long>(last),
                 tokens.begin() + static_cast<long>(last + 3 + std::stoul(tokens.at(last + 2))));
    std::string out;
    for (const std::string& token : tokens) {
        out += token + "\n";
    }
    return out;
}

std::string lastLine(const std::string& text) {
    const size_t end = text.find_last_not_of('\n');
    const size_t start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

// An asset folder of links to the generated files, with its own Modell.txt.
void assetsWithModel(const TempFolder& folder, const std::string& model) {
    for (const char* name : {"chevy_nowheels_3c.3ds", "wheel.3ds"}) {
        ASSERT_EQ(symlink((assetDir + "/" + name).c_str(), folder.file(name).c_str()), 0);
    }
    std::ofstream(folder.file("Modell.txt")) << model;
}
} // namespace

TEST(ProgramOptions, HelpOnStdoutAndMistakesRefusedWithStatus2) {
    for (const std::string name : {"dravonel", "dravonel-sim"}) {
        const Outcome help = runToEnd(binaryDir + "/" + name, {"--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("usage: " + name + " [--assets DIR]", 0), 0u) << help.out;
        EXPECT_EQ(help.err, "");
    }

    // Refused before any window, with status 2 and nothing on stdout: the
    // program says why in one line on stderr, the simulator follows its
    // reason with the usage. A value that is not a number is never taken as 0.
    struct Mistake {
        bool sim;
        std::vector<std::string> arguments;
    };
    const Mistake mistakes[] = {
        {false, {"--frobnicate"}},
        {false, {"--assets"}},
        {false, {"--screenshot", "a.png"}},
        {false, {"--at", "1"}},
        {false, {"--screenshot", "a.png", "--at", "soon"}},
        {false, {"--screenshot", "a.png", "--at", "-1"}},
        {false, {"--screenshot", "a.png", "--at", "2x"}},
        {false, {"--screenshot", "a.png", "--at", "1", "--camera", "6"}},
        {false, {"--screenshot", "a.png", "--at", "1", "--script", "1:+jump"}},
        {false, {"--record", "a.txt", "--replay", "b.txt"}},
        {true, {"--duration", "abc"}},
        {true, {"--duration", "-1"}},
        {true, {"--duration", "1e999"}},
        {true, {"--interval", "0"}},
        {true, {"--fps", "2.5"}},
        {true, {"--fps", "0"}},
        {true, {"--bogus"}},
        {true, {"--script", "0:up"}},
        {true, {"--script", "-1:+up"}},
        {true, {"--replay", "r.txt", "--duration", "2"}}};
    for (const Mistake& mistake : mistakes) {
        const std::string name = mistake.sim ? "dravonel-sim" : "dravonel";
        SCOPED_TRACE(name + " " + mistake.arguments[0]);
        const Outcome refused = runToEnd(binaryDir + "/" + name, mistake.arguments);
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(refused.err.rfind(name + ": ", 0), 0u) << refused.err;
        const std::string afterReason = refused.err.substr(refused.err.find('\n') + 1);
        EXPECT_EQ(afterReason.rfind(mistake.sim ? "usage: dravonel-sim" : "", 0), 0u);
        if (!mistake.sim) {
            EXPECT_EQ(afterReason, "");
        }
    }

    // A byte that is not printable ASCII, DEL among them, is shown escaped.
    const Outcome del = runToEnd(programPath, {"--a\x7f\x1f"});
    EXPECT_EQ(del.status, 2);
    EXPECT_EQ(del.err, "dravonel: unknown option '--a\\x7F\\x1F' (see dravonel --help)\n");
    // The window system's own options are passed on, never refused.
    for (const std::vector<std::string>& toolkit : {std::vector<std::string>{"-direct"},
                                                    {"-indirect"},
                                                    {"-iconic"},
                                                    {"-gldebug"},
                                                    {"-sync"},
                                                    {"-display", ":0"},
                                                    {"-geometry", "640x480"}}) {
        std::vector<std::string> arguments = toolkit;
        arguments.push_back("--help");
        const Outcome passed = runToEnd(programPath, arguments);
        EXPECT_EQ(passed.status, 0) << toolkit[0] << ": " << passed.err;
    }
}

// A script event is sent in the frame whose time it names: at 60 frames per
// second 0.5 s is frame 30, the first at or after 0.49 s, while 0.51 s waits
// for frame 31.
TEST(ProgramOptions, ScriptEventsAreSentInTheFrameOfTheirTime) {
    std::string hashes[3];
    const char* const times[3] = {"0.49", "0.5", "0.51"};
    for (int k = 0; k < 3; ++k) {
        const Outcome run =
            runToEnd(simPath, {"--assets", assetDir, "--script", std::string(times[k]) + ":+up",
                               "--duration", "1", "--interval", "1"});
        EXPECT_EQ(run.status, 0) << run.err;
        hashes[k] = hashIn(run.out);
        ASSERT_EQ(hashes[k].size(), 16u) << run.out;
    }
    EXPECT_EQ(hashes[1], hashes[0]);
    EXPECT_NE(hashes[1], hashes[2]);
}

TEST(ProgramOptions, ScreenshotIsTheScriptedFrameSameBytesEveryRun) {
    if (!displayReady()) {
        return;
    }
    ProgramLock lock;
    TempFolder folder;
    const std::vector<std::string> drive = {"--assets", assetDir,        "--at",
                                            "2",        "--camera",      "1",
                                            "--script", "0:+up 1:+left", "--screenshot"};
    std::vector<std::string> first = drive;
    first.push_back("first.png");
    std::vector<std::string> second = drive;
    second.push_back("second.png");
    const Outcome one = runToEnd(programPath, first, folder.path());
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.out, "wrote first.png (640 x 480, the frame at 2 s)\n");
    const Outcome two = runToEnd(programPath, second, folder.path());
    ASSERT_EQ(two.status, 0) << two.err;
    const std::string bytes = readFile(folder.file("first.png"));
    EXPECT_EQ(bytes, readFile(folder.file("second.png"))) << "the same script, other bytes";

    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()), 0)
        << image.message;
    ASSERT_EQ(image.width, 640u);
    ASSERT_EQ(image.height, 480u);
    image.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_NE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr), 0) << image.message;
    // The fixed camera looks at the truck from head height: sky at the top,
    // sand at the bottom. Upside down or unwritten rows fail one of the two.
    EXPECT_GT(blueShare(rgb, 640, 0, 59), 0.9) << "top rows not sky";
    EXPECT_LT(blueShare(rgb, 640, 400, 479), 0.1) << "bottom rows not ground";

    // Without the script the truck stays at its start: another picture.
    std::vector<std::string> parked = {"--assets", assetDir, "--at",         "2",
                                       "--camera", "1",      "--screenshot", "parked.png"};
    ASSERT_EQ(runToEnd(programPath, parked, folder.path()).status, 0);
    EXPECT_NE(readFile(folder.file("parked.png")), bytes);
}

// How often `needle` occurs in `text`.
int occurrences(const std::string& text, const std::string& needle) {
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

// Starts the program recording to `recording`; its window, or 0.
unsigned long startRecording(ChildProcess& live, const std::string& folder,
                             const std::string& recording) {
    const std::vector<unsigned long> before = windowsNamed("Dravonel");
    if (!live.start(programPath.c_str(), folder.c_str(),
                    {"--assets", assetDir, "--record", recording})) {
        ADD_FAILURE() << live.failureReason();
        return 0;
    }
    if (!live.waitForOutput("ESC:               reset simulation\n", 60.0)) {
        ADD_FAILURE() << live.standardError();
        return 0;
    }
    const unsigned long window = waitForNewWindow("Dravonel", before, 10.0);
    // The first frames can be slow on a loaded machine: keys sent before the
    // window shows its scene may find it not yet taking input.
    for (int k = 0; window != 0 && k < 300 && distinctColours(window) <= 16; ++k) {
        usleep(100000);
    }
    return window;
}

TEST(ProgramOptions, RecordedDriveReplaysToTheSameHashInTheWindowAndHeadless) {
    if (!displayReady()) {
        return;
    }
    ProgramLock lock;
    TempFolder folder;
    const std::string recording = folder.file("drive.txt");
    // The server repeats held keys, as a desktop's does.
    runTool("xset r on >/dev/null 2>&1");

    // A person drives: throttle, a turn, a look to the left, a pause, slow
    // motion, a recovery; holds F6 for 2 s; lets go of 'q' with Shift down;
    // then closes the window.
    ChildProcess live;
    const unsigned long window = startRecording(live, folder.path(), recording);
    ASSERT_NE(window, 0ul);
    const std::string keys =
        "xdotool mousemove --window " + std::to_string(window) +
        " 320 240 keydown Up sleep 0.6 keydown Right sleep 0.4 keyup Right key q sleep 0.2 "
        "key p sleep 0.4 key p key bracketleft key bracketleft sleep 0.5 key bracketright "
        "key bracketright key r sleep 0.3 keyup Up keydown F6 sleep 2 keyup F6 "
        "keydown q keydown shift sleep 0.1 keyup q keyup shift sleep 0.2 >/dev/null 2>&1";
    EXPECT_EQ(runTool(keys), 0);
    ASSERT_TRUE(requestWindowClose(window));
    ASSERT_TRUE(live.waitForExit(20.0));
    EXPECT_EQ(live.exitStatus(), 0) << live.standardError();
    const std::string liveHash = hashIn(live.standardOutput());
    ASSERT_EQ(liveHash.size(), 16u) << live.standardOutput();

    const std::string text = readFile(recording);
    EXPECT_EQ(text.rfind("dravonel recording 2\nmodel ", 0), 0u) << text.substr(0, 80);
    EXPECT_NE(text.find("\nend " + liveHash + "\n"), std::string::npos) << "closing hash";
    EXPECT_EQ(occurrences(text, "\nkey 357 down\n"), 1) << "a held Up is one press";
    EXPECT_EQ(occurrences(text, "\nkey 262 down\n"), 1) << "a held F6 is one press";
    EXPECT_NE(text.find("\nkey 358 up\n"), std::string::npos) << "the released Right";
    for (const char* code : {"112", "91", "93", "114"}) {
        EXPECT_NE(text.find(std::string("\nkey ") + code + " down\n"), std::string::npos) << code;
    }
    EXPECT_EQ(occurrences(text, "\nkey 113 up\n"), 2) << "'q' released with Shift held";
    EXPECT_EQ(occurrences(text, "\nkey 81 up\n"), 0);

    // The window replays at the recorded pace and ends on its own; keys
    // typed into it meanwhile change nothing.
    ChildProcess replayed;
    const std::vector<unsigned long> shown = windowsNamed("Dravonel");
    ASSERT_TRUE(replayed.start(programPath.c_str(), folder.path().c_str(),
                               {"--assets", assetDir, "--replay", recording}));
    const unsigned long replayWindow = waitForNewWindow("Dravonel", shown, 30.0);
    EXPECT_NE(replayWindow, 0ul);
    for (int k = 0; replayWindow != 0 && k < 300 && distinctColours(replayWindow) <= 16; ++k) {
        usleep(20000);
    }
    runTool("xdotool mousemove --window " + std::to_string(replayWindow) +
            " 320 240 key Escape keydown Down sleep 0.5 keyup Down key r >/dev/null 2>&1");
    ASSERT_TRUE(replayed.waitForExit(60.0));
    EXPECT_EQ(replayed.exitStatus(), 0) << replayed.standardError();
    EXPECT_EQ(hashIn(replayed.standardOutput()), liveHash) << replayed.standardOutput();
    EXPECT_EQ(replayed.standardError(), "");

    const Outcome headless = runToEnd(simPath, {"--assets", assetDir, "--replay", recording});
    EXPECT_EQ(headless.status, 0) << headless.err;
    EXPECT_EQ(hashIn(headless.out), liveHash) << headless.out;
    EXPECT_EQ(headless.err, "");

    // Saved with Windows line ends it is the same drive.
    std::string crlf;
    for (char c : text) {
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    std::ofstream(folder.file("crlf.txt"), std::ios::binary) << crlf;
    const Outcome fromCrlf =
        runToEnd(simPath, {"--assets", assetDir, "--replay", folder.file("crlf.txt")});
    EXPECT_EQ(hashIn(fromCrlf.out), liveHash) << fromCrlf.err;

    // A damaged recording is refused with the line at fault, by both replays
    // and at once, even a frame time no replay could wait for.
    const size_t secondFrame = text.find("\nframe ", text.find("\nframe ") + 1);
    std::string far = text.substr(0, secondFrame) + "\nframe 1e30" + text.substr(secondFrame);
    std::ofstream(folder.file("far.txt")) << far;
    std::ofstream(folder.file("bad.txt")) << "dravonel recording 1\nframe 0.5\nkey 999 down\n";
    for (const std::string& path : {programPath, simPath}) {
        const Outcome farOut = runToEnd(
            path, {"--assets", assetDir, "--replay", folder.file("far.txt")}, folder.path(), 20.0);
        EXPECT_EQ(farOut.status, 1) << path;
        EXPECT_NE(farOut.err.find("far.txt: line "), std::string::npos) << farOut.err;
        const Outcome bad = runToEnd(
            path, {"--assets", assetDir, "--replay", folder.file("bad.txt")}, folder.path(), 20.0);
        EXPECT_EQ(bad.status, 1);
        EXPECT_NE(bad.err.find("bad.txt: line 3: "), std::string::npos) << bad.err;
    }

    // Over a truck with one mass 1 % heavier the drive would go elsewhere:
    // refused, naming the model.
    TempFolder heavier;
    std::string model = readFile(assetDir + "/Modell.txt");
    const size_t firstLine = model.find('\n') + 1;
    const size_t lastWord = model.rfind(' ', model.find('\n', firstLine)) + 1;
    const double mass = std::atof(model.c_str() + lastWord);
    model = model.substr(0, lastWord) + std::to_string(mass * 1.01) +
            model.substr(model.find('\n', firstLine));
    assetsWithModel(heavier, model);
    const Outcome other = runToEnd(simPath, {"--assets", heavier.path(), "--replay", recording});
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.err.find("recorded with the model"), std::string::npos) << other.err;
    // On another ground it would too: refused, naming the map.
    const Outcome elsewhere =
        runToEnd(simPath, {"--assets", assetDir, "--map", assetDir + "/maps/dunes.map", "--replay",
                           recording});
    EXPECT_EQ(elsewhere.status, 1);
    EXPECT_NE(elsewhere.err.find("--map"), std::string::npos) << elsewhere.err;
}

// Ctrl-C ends a recorded drive as closing the window does: whole lines, the
// closing hash, and a replay to the hash printed, without a warning.
TEST(ProgramOptions, InterruptedRecordingEndsCleanly) {
    if (!displayReady()) {
        return;
    }
    ProgramLock lock;
    TempFolder folder;
    const std::string recording = folder.file("drive.txt");
    ChildProcess live;
    const unsigned long window = startRecording(live, folder.path(), recording);
    ASSERT_NE(window, 0ul);
    EXPECT_EQ(runTool("xdotool mousemove --window " + std::to_string(window) +
                      " 320 240 keydown Up sleep 0.8 >/dev/null 2>&1"),
              0);
    ::kill(live.processId(), SIGINT);
    ASSERT_TRUE(live.waitForExit(20.0));
    runTool("xdotool keyup Up >/dev/null 2>&1");
    EXPECT_EQ(live.exitStatus(), 0) << live.standardError();
    const std::string liveHash = hashIn(live.standardOutput());
    ASSERT_EQ(liveHash.size(), 16u) << live.standardOutput();
    const std::string text = readFile(recording);
    EXPECT_EQ(text.substr(text.size() - 22), "\nend " + liveHash + "\n");
    const Outcome headless = runToEnd(simPath, {"--assets", assetDir, "--replay", recording});
    EXPECT_EQ(hashIn(headless.out), liveHash);
    EXPECT_EQ(headless.err, "");

    // Cut in the middle of a line, it plays its whole lines and says so.
    std::ofstream(folder.file("cut.txt")) << text.substr(0, text.size() / 2 + 3);
    const Outcome cut =
        runToEnd(simPath, {"--assets", assetDir, "--replay", folder.file("cut.txt")});
    EXPECT_EQ(cut.status, 0);
    EXPECT_NE(cut.err.find("ends early"), std::string::npos) << cut.err;
}

// A right-drag from the truck upwards lifts it by the node under the cursor;
// the recording holds the drag as grab lines, once per frame, and replays
// to the live hash, which without them it misses.
TEST(ProgramOptions, MouseGrabIsRecordedAndReplaysHeadless) {
    if (!displayReady()) {
        return;
    }
    ProgramLock lock;
    TempFolder folder;
    const std::string recording = folder.file("grab.txt");
    const std::vector<unsigned long> before = windowsNamed("Dravonel");
    ChildProcess live;
    ASSERT_TRUE(live.start(programPath.c_str(), folder.path().c_str(),
                           {"--assets", assetDir, "--record", recording}));
    ASSERT_TRUE(live.waitForOutput("ESC:               reset simulation\n", 60.0))
        << live.standardError();
    const unsigned long window = waitForNewWindow("Dravonel", before, 10.0);
    ASSERT_NE(window, 0ul);
    // The first frames can be slow on a loaded machine: the grab picks from
    // the view drawn last, so wait for the scene first.
    for (int k = 0; k < 300 && distinctColours(window) <= 16; ++k) {
        usleep(100000);
    }
    const std::string moveTo = "xdotool mousemove --window " + std::to_string(window) + " ";
    // (270, 220) is where the front left top corner of the chassis shows in
    // camera F1 at the start; the wheel beside it is nearer the eye.
    EXPECT_EQ(runTool(moveTo + "270 220 mousedown 3 >/dev/null 2>&1"), 0);
    // Each move up is taken by a frame of its own, however slow the frames:
    // the next one waits for the picture to show it.
    for (int step = 1; step <= 12; ++step) {
        waitForPictureChanges(window, 2, 10.0);
        EXPECT_EQ(runTool(moveTo + "270 " + std::to_string(220 - 12 * step) + " >/dev/null 2>&1"),
                  0);
    }
    // Then a burst of moves faster than the frames, which coalesce.
    std::string burst;
    for (int step = 1; step <= 8; ++step) {
        burst += " mousemove --window " + std::to_string(window) + " " +
                 std::to_string(270 + 3 * step) + " 76";
    }
    EXPECT_EQ(runTool("xdotool" + burst + " >/dev/null 2>&1"), 0);
    // Held up there for some frames, then let go.
    waitForPictureChanges(window, 10, 10.0);
    EXPECT_EQ(runTool("xdotool mouseup 3 >/dev/null 2>&1"), 0);
    waitForPictureChanges(window, 2, 10.0);
    ASSERT_TRUE(requestWindowClose(window));
    ASSERT_TRUE(live.waitForExit(20.0));
    EXPECT_EQ(live.exitStatus(), 0) << live.standardError();
    const std::string liveHash = hashIn(live.standardOutput());
    ASSERT_EQ(liveHash.size(), 16u) << live.standardOutput();

    // Every grab line follows a frame line: at most one target per frame.
    std::istringstream lines(readFile(recording));
    std::string line;
    std::string previous;
    std::string kept;
    int grabs = 0;
    bool released = false;
    float lowest = 1e9f;
    float highest = -1e9f;
    while (std::getline(lines, line)) {
        if (line.rfind("grab ", 0) == 0) {
            ++grabs;
            EXPECT_EQ(previous.rfind("frame ", 0), 0u) << previous << " / " << line;
            std::istringstream fields(line.substr(5));
            int particle = 0;
            float x = 0.0f, y = 0.0f, z = 0.0f;
            fields >> particle >> x >> y >> z;
            lowest = std::fmin(lowest, y);
            highest = std::fmax(highest, y);
        } else if (line == "release") {
            released = true;
        } else {
            kept += line + "\n";
        }
        previous = line;
    }
    EXPECT_GT(grabs, 5);
    EXPECT_TRUE(released);
    EXPECT_GT(highest - lowest, 1.0f) << "the drag upwards lifts the target";

    const Outcome headless = runToEnd(simPath, {"--assets", assetDir, "--replay", recording});
    EXPECT_EQ(headless.status, 0) << headless.err;
    EXPECT_EQ(hashIn(headless.out), liveHash) << headless.out;

    std::ofstream(folder.file("without.txt")) << kept;
    const Outcome without =
        runToEnd(simPath, {"--assets", assetDir, "--replay", folder.file("without.txt")});
    EXPECT_EQ(without.status, 0) << without.err;
    EXPECT_NE(hashIn(without.out), liveHash) << "the grabs moved the truck";
}

// The overlay's speed is the simulator's speed column, in km/h, with the
// direction of travel.
TEST(ProgramOptions, OverlaySpeedIsTheSimulatorsSpeed) {
    const Outcome sim = runToEnd(simPath, {"--assets", assetDir, "--script", "0:+down 3:-down",
                                           "--duration", "3", "--interval", "3", "--csv"});
    ASSERT_EQ(sim.status, 0) << sim.err;
    const std::string last = sim.out.substr(sim.out.rfind("\n3.000,") + 1);
    std::vector<double> columns;
    for (size_t at = 0; at != std::string::npos; at = last.find(',', at + 1)) {
        columns.push_back(std::atof(last.c_str() + (at == 0 ? 0 : at + 1)));
    }
    ASSERT_GE(columns.size(), 7u) << last;
    TruckDriver driver;
    ASSERT_TRUE(driver.load(assetDir)) << driver.app.failureReason();
    driver.press(359);
    driver.run(3.0);
    const float kmh = Hud::speedKmh(driver.app);
    EXPECT_LT(kmh, -20.0f) << "reversing shows as backwards";
    EXPECT_NEAR(-kmh, columns[6] * 3.6, 0.5);
    driver.app.hud.format(driver.app, 3.0f);
    EXPECT_NE(std::string(driver.app.hud.line(0)).find("km/h reverse"), std::string::npos);
}

TEST(ProgramOptions, InstalledCopyRunsFromAnEmptyFolder) {
    TempFolder prefix;
    TempFolder empty;
    const std::string install = std::string(DRAVONEL_CMAKE) + " --install '" + binaryDir +
                                "' --prefix '" + prefix.path() + "' >/dev/null";
    ASSERT_EQ(runTool(install), 0) << install;
    for (const char* file :
         {"bin/dravonel", "bin/dravonel-sim", "bin/dravonel-assets", "bin/dravonel-soak",
          "share/dravonel/Modell.txt", "share/dravonel/desert_dn.bmp",
          "share/dravonel/chevy_nowheels_3c.3ds", "share/dravonel/maps/dunes.map",
          "share/dravonel/maps/dunes.png", "share/applications/dravonel.desktop",
          "share/man/man6/dravonel.6.gz", "share/man/man6/dravonel-sim.6.gz",
          "share/man/man6/dravonel-soak.6.gz", "share/man/man6/dravonel-assets.6.gz"}) {
        EXPECT_EQ(readFile(prefix.file(file)).empty(), false) << file << " not installed";
    }
    // The menu's icon is as large as the folder it lies in says.
    png_image icon;
    std::memset(&icon, 0, sizeof(icon));
    icon.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_file(
                  &icon, prefix.file("share/icons/hicolor/64x64/apps/dravonel.png").c_str()),
              0)
        << icon.message;
    EXPECT_EQ(icon.width, 64u);
    EXPECT_EQ(icon.height, 64u);
    png_image_free(&icon);

    // With nothing in the working directory the share folder is used.
    const Outcome sim =
        runToEnd(prefix.file("bin/dravonel-sim"), {"--duration", "0.5"}, empty.path());
    EXPECT_EQ(sim.status, 0) << sim.err;
    EXPECT_EQ(hashIn(sim.out).size(), 16u) << sim.out;

    // A file in the working directory means the user's folder is meant;
    // so does --assets. Both fail here instead of falling back.
    TempFolder own;
    std::ofstream(own.file("Modell.txt")) << "not a model\n";
    const Outcome ownFolder = runToEnd(prefix.file("bin/dravonel-sim"), {}, own.path());
    EXPECT_EQ(ownFolder.status, 1) << ownFolder.err;
    const Outcome given =
        runToEnd(prefix.file("bin/dravonel-sim"), {"--assets", own.path()}, empty.path());
    EXPECT_EQ(given.status, 1);
    EXPECT_NE(given.err.find(own.path()), std::string::npos) << given.err;

    // The build tree's simulator has no share folder: it names the folder it
    // looked in and where the generated files are, as seen from there.
    const std::string parent = binaryDir.substr(0, binaryDir.rfind('/'));
    const std::string buildName = binaryDir.substr(binaryDir.rfind('/') + 1);
    const Outcome hint = runToEnd(simPath, {}, parent);
    EXPECT_EQ(hint.status, 1);
    EXPECT_NE(hint.err.find("(looked in " + parent + "; try --assets " + buildName + "/assets)"),
              std::string::npos)
        << hint.err;

    if (!displayReady()) {
        return;
    }
    ProgramLock lock;
    const Outcome shot = runToEnd(prefix.file("bin/dravonel"),
                                  {"--screenshot", "shot.png", "--at", "0.5"}, empty.path());
    EXPECT_EQ(shot.status, 0) << shot.err;
    EXPECT_EQ(readFile(empty.file("shot.png")).rfind("\x89PNG", 0), 0u);
}

// dravonel-sim --check passes the shipped truck and the documented example
// and fails a truck whose spring 0 is 10^9 times stiffer, naming its particle
// and spring; a spring from a particle to itself is named. Driven, that stiff
// truck is reset as unstable, never as fallen off the map, while the example
// drives away.
TEST(ProgramOptions, CheckNamesWhatIsWrongWithAModelAndABlowUpIsResetAsUnstable) {
    const std::string shipped = readFile(assetDir + "/Modell.txt");
    const std::string example = std::string(DRAVONEL_SOURCE_DIR) + "/docs/example-model.txt";
    for (const std::string& model : {assetDir + "/Modell.txt", example}) {
        const Outcome passed = runToEnd(simPath, {"--check", model});
        EXPECT_EQ(passed.status, 0) << passed.out;
        EXPECT_EQ(lastLine(passed.out), "usable") << passed.out;
        EXPECT_EQ(passed.out.rfind("model: " + model + "\ncounts: ", 0), 0u) << passed.out;
        EXPECT_EQ(passed.err, "");
    }

    TempFolder folder;
    std::ofstream(folder.file("stiff.txt")) << withSpringZero(shipped, 1e9, -1);
    const Outcome stiff = runToEnd(simPath, {"--check", folder.file("stiff.txt")});
    EXPECT_EQ(stiff.status, 1);
    const std::string verdict = lastLine(stiff.out);
    EXPECT_EQ(verdict.rfind("not usable: unstable at the 0.5 ms step: particle 2 ", 0), 0u)
        << stiff.out;
    EXPECT_NE(verdict.find("spring 0"), std::string::npos) << verdict;
    EXPECT_NE(stiff.out.find("error: unstable: the body blew up in sub-step 1 "), std::string::npos)
        << stiff.out;

    std::ofstream(folder.file("self.txt")) << withSpringZero(shipped, 1.0, 0);
    const Outcome self = runToEnd(simPath, {"--check", folder.file("self.txt")});
    EXPECT_EQ(self.status, 0) << self.out;
    EXPECT_EQ(lastLine(self.out),
              "usable, with 1 warning; the first: spring 0 joins particle 0 to itself: it never "
              "acts");

    // Three wheels: the check refuses what the program would refuse.
    std::ofstream(folder.file("three.txt")) << withoutLastWheel(shipped);
    const Outcome three = runToEnd(simPath, {"--check", folder.file("three.txt")});
    EXPECT_EQ(three.status, 1) << three.out;
    EXPECT_EQ(lastLine(three.out), "not usable: the program drives 4 wheels; the model has 3");
    TempFolder threeAssets;
    assetsWithModel(threeAssets, withoutLastWheel(shipped));
    const Outcome threeDriven =
        runToEnd(simPath, {"--assets", threeAssets.path(), "--duration", "0.1"});
    EXPECT_EQ(threeDriven.status, 1) << threeDriven.out;
    EXPECT_NE(threeDriven.err.find("4 wheels"), std::string::npos) << threeDriven.err;

    const Outcome missing = runToEnd(simPath, {"--check", folder.file("none.txt")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "not usable: " + folder.file("none.txt") +
                               ": cannot open: No such file or directory\n");
    const Outcome mixed = runToEnd(simPath, {"--check", example, "--duration", "1"});
    EXPECT_EQ(mixed.status, 2);

    TempFolder stiffAssets;
    assetsWithModel(stiffAssets, withSpringZero(shipped, 1e9, -1));
    const Outcome driven =
        runToEnd(simPath, {"--assets", stiffAssets.path(), "--script", "0:+up", "--duration", "1"});
    EXPECT_EQ(driven.status, 0) << driven.err;
    EXPECT_NE(driven.out.find("   0.02  the soft body became unstable and was reset\n"),
              std::string::npos)
        << driven.out;
    EXPECT_EQ(driven.out.find("fell off"), std::string::npos) << driven.out;

    // The example on the throttle: the last row's distance from the start.
    TempFolder exampleAssets;
    assetsWithModel(exampleAssets, readFile(example));
    const Outcome drive = runToEnd(simPath, {"--assets", exampleAssets.path(), "--script", "0:+up",
                                             "--duration", "3", "--interval", "3", "--csv"});
    EXPECT_EQ(drive.status, 0) << drive.err;
    const std::string row = lastLine(drive.out);
    double values[5] = {0, 0, 0, 0, 0};
    ASSERT_EQ(std::sscanf(row.c_str(), "%lf,%lf,%lf,%lf,%lf", &values[0], &values[1], &values[2],
                          &values[3], &values[4]),
              5)
        << drive.out;
    EXPECT_EQ(values[0], 3.0);
    EXPECT_GT(values[4], 15.0) << "the example drives 15 m in 3 s";
    EXPECT_EQ(drive.err.find("unstable"), std::string::npos) << drive.err;
}

// Maps as a user might hand them over, broken or hostile: each is refused
// before anything is driven or drawn, with one line that names the file and
// what is wrong, and exit status 1. The same folder's good map drives, so
// every refusal is the broken part's.
TEST(ProgramOptions, BrokenMapsAreRefusedWithOneLineAndStatus1) {
    TempFolder folder;
    const std::string dir = folder.path() + "/";
    // Heightmaps made by ImageMagick: 16-bit and 8-bit grayscale, a colour
    // image; and from the 8-bit one a copy cut short and one whose header
    // claims 100000 x 1 pixels (ImageMagick's own policy stops at 16k).
    ASSERT_TRUE(convert({"-size", "40x30", "gradient:", "-depth", "16", "-define",
                         "png:color-type=0", dir + "g16.png"}));
    ASSERT_TRUE(convert({"-size", "40x30", "gradient:", "-depth", "8", "-define",
                         "png:color-type=0", dir + "g8.png"}));
    ASSERT_TRUE(convert({"-size", "40x30", "plasma:", dir + "colour.png"}));
    const std::string g8 = readFile(dir + "g8.png");
    ASSERT_GT(g8.size(), 60u);
    writeFile(dir + "cut.png", g8.substr(0, g8.size() - 30));
    std::string wide = g8;
    const unsigned char size[8] = {0, 1, 0x86, 0xA0, 0, 0, 0, 1}; // 100000, 1
    wide.replace(16, 8, reinterpret_cast<const char*>(size), 8);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(wide.data() + 12), 17);
    for (int k = 0; k < 4; ++k) {
        wide[29 + k] = static_cast<char>((crc >> (24 - 8 * k)) & 0xFF);
    }
    writeFile(dir + "wide.png", wide);
    // Cut after its image data, whose chunk claims 4 bytes more than are
    // left: the 4 of its checksum count too.
    const size_t data = g8.find("IDAT") - 4;
    const unsigned long dataLength = (static_cast<unsigned long>(uint8_t(g8[data])) << 24) |
                                     (uint8_t(g8[data + 1]) << 16) | (uint8_t(g8[data + 2]) << 8) |
                                     uint8_t(g8[data + 3]);
    std::string claims = g8.substr(0, data + 12 + dataLength);
    for (int k = 0; k < 4; ++k) {
        claims[data + k] = static_cast<char>(((dataLength + 4) >> (24 - 8 * k)) & 0xFF);
    }
    writeFile(dir + "claims.png", claims);

    // Both depths read as levels from white at the top to black at the
    // bottom, in equal steps: the 16-bit samples are big-endian.
    for (const char* image : {"g16.png", "g8.png"}) {
        SCOPED_TRACE(image);
        HeightmapReader levels;
        ASSERT_TRUE(levels.read((dir + image).c_str())) << levels.failureReason();
        ASSERT_EQ(levels.width, 40);
        ASSERT_EQ(levels.height, 30);
        for (int row = 0; row < 30; ++row) {
            EXPECT_NEAR(levels.levels[row * 40 + 17], 1.0f - row / 29.0f, 4.5e-3f) << row;
        }
    }
    writeFile(dir + "text.png", "dravonel map 1\n");

    auto map = [&](const std::string& name, const std::string& lines) {
        writeFile(dir + name, "dravonel map 1\n" + lines);
        return dir + name;
    };
    const std::string good = "spacing 2\nheight 10\nstart 70 30 90\n";
    for (const char* image : {"g16.png", "g8.png"}) {
        const std::string path = map("good.map", std::string("heightmap ") + image + "\n" + good);
        const Outcome drove =
            runToEnd(simPath, {"--assets", assetDir, "--map", path, "--duration", "0.5"});
        EXPECT_EQ(drove.status, 0) << image << ": " << drove.err;
    }

    struct Broken {
        std::string map;  // the map file handed to --map
        std::string file; // the file the line must name
        std::string why;  // and a word of its reason
    };
    const Broken broken[] = {
        {dir + "none.map", dir + "none.map", "cannot open"},
        {map("a.map", "heightmap gone.png\n" + good), dir + "gone.png", "cannot open"},
        {map("b.map", "heightmap cut.png\n" + good), dir + "cut.png", "truncated"},
        {map("c.map", "heightmap text.png\n" + good), dir + "text.png", "not a PNG"},
        {map("d.map", "heightmap colour.png\n" + good), dir + "colour.png", "colour"},
        {map("e.map", "heightmap wide.png\n" + good), dir + "wide.png", "100000 x 1"},
        {map("f.map", "heightmap g8.png\nspacing nan\nheight 10\nstart 1 1 0\n"), dir + "f.map",
         "not a finite number"},
        {map("g.map", "heightmap g8.png\nspacing 2\nheight inf\nstart 1 1 0\n"), dir + "g.map",
         "not a finite number"},
        {map("h.map", "heightmap g8.png\nspacing 2\nheight -4\nstart 1 1 0\n"), dir + "h.map",
         "negative"},
        {map("i.map", "heightmap g8.png\nspacing 2\nheight 4\nstart -1 1 0\n"), dir + "i.map",
         "negative"},
        {map("j.map", "heightmap g8.png\n" + good + "gravity 3\n"), dir + "j.map",
         "unknown key 'gravity'"},
        {map("k.map", "heightmap g8.png\nspacing 2\nheight 4\nstart 500 1 0\n"), dir + "g8.png",
         "outside"},
        {map("l.map", "heightmap g8.png\nspacing 2\nheight 4\nstart 1 70 0\n"), dir + "g8.png",
         "outside"},
        {map("m.map", "heightmap claims.png\n" + good), dir + "claims.png", "claims"},
        {dir + "g8.png", dir + "g8.png", "not a map file"},
    };
    for (const Broken& b : broken) {
        SCOPED_TRACE(b.map);
        const Outcome refused = runToEnd(simPath, {"--assets", assetDir, "--map", b.map});
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(refused.err.rfind("dravonel-sim: " + b.map + ": ", 0), 0u) << refused.err;
        EXPECT_NE(refused.err.find(b.file + ": "), std::string::npos) << refused.err;
        EXPECT_NE(refused.err.find(b.why), std::string::npos) << refused.err;
        EXPECT_EQ(std::count(refused.err.begin(), refused.err.end(), '\n'), 1) << refused.err;
    }
    // The program and the soak driver refuse them the same way, before any
    // window or drive.
    for (const std::string name : {"dravonel", "dravonel-soak"}) {
        const Outcome refused =
            runToEnd(binaryDir + "/" + name, {"--assets", assetDir, "--map", dir + "e.map"});
        EXPECT_EQ(refused.status, 1) << name;
        EXPECT_EQ(
            refused.err.rfind(name + ": " + dir + "e.map: heightmap " + dir + "wide.png: ", 0), 0u)
            << refused.err;
    }
}
