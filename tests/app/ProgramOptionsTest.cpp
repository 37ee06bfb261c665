// The program and the simulator as a user meets them on the command line:
// --help and option mistakes, a scripted screenshot, a recorded drive played
// back in the window and headless, an installed copy started from an empty
// folder, and the model check with a model that blows up.
#include "app/camera/CameraView.h"
#include "app/input/MouseInput.h"
#include "app/overlay/Hud.h"
#include "app/record/RecordingWriter.h"
#include "app/world/HeightmapReader.h"
#include "physics/PhysicsWorld.h"
#include "physics/PositionHash.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ProgramLock.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TruckDriver.h"
#include "tests/support/X11Windows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
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
    long peakKilobytes = 0; // the program's peak resident set
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
    result.peakKilobytes = child.peakKilobytes();
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
        {false, {"--no-rumble", "--wheel"}},
        {false, {"--pad-mappings", ""}},
        {false, {"--state", "a.state", "--replay", "b.txt"}},
        {false, {"--history", "-1"}},
        {true, {"--history", "1e9"}},
        {true, {"--at", "3"}},
        {true, {"--state", "a.state", "--replay", "b.txt"}},
        {true, {"--script", "3:rewind=-1"}},
        {true, {"--duration", "abc"}},
        {true, {"--duration", "-1"}},
        {true, {"--duration", "1e999"}},
        {true, {"--interval", "0"}},
        {true, {"--fps", "2.5"}},
        {true, {"--fps", "0"}},
        {true, {"--bogus"}},
        {true, {"--script", "0:up"}},
        {true, {"--script", "-1:+up"}},
        {true, {"--replay", "r.txt", "--duration", "2"}},
        {true, {"--assets", assetDir, "--script", "0:+up 1:grab=158@0,1,0"}}};
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

    // Without the script the truck stays at its start: another picture. Its
    // frames are three times as many, and still take no more memory: a frame
    // that is drawn but never shown must not stay queued in GL.
    std::vector<std::string> parked = {"--assets", assetDir, "--at",         "6",
                                       "--camera", "1",      "--screenshot", "parked.png"};
    const Outcome longer = runToEnd(programPath, parked, folder.path());
    ASSERT_EQ(longer.status, 0) << longer.err;
    EXPECT_NE(readFile(folder.file("parked.png")), bytes);
    ASSERT_GT(one.peakKilobytes, 0);
    EXPECT_LT(longer.peakKilobytes, one.peakKilobytes + 20 * 1024)
        << "peak memory grows with the frames drawn";

    // Refused before the drive, which would take longer than the test waits:
    // a file that cannot be written, and a grab of a particle the truck does
    // not have (it has 158), which would do nothing. Neither leaves a file.
    std::vector<std::string> hour = {"--assets", assetDir, "--at", "3600", "--screenshot"};
    std::vector<std::string> unwritable = hour;
    unwritable.push_back(folder.file("no-such-folder/shot.png"));
    const Outcome noFolder = runToEnd(programPath, unwritable, folder.path(), 60.0);
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_EQ(noFolder.err, "dravonel: " + folder.file("no-such-folder/shot.png") +
                                ": cannot write the PNG: No such file or directory\n");
    std::vector<std::string> badGrab = hour;
    badGrab.insert(badGrab.end(), {"grab.png", "--script", "1:grab=158@0,1,0"});
    const Outcome noParticle = runToEnd(programPath, badGrab, folder.path(), 60.0);
    EXPECT_EQ(noParticle.status, 2);
    EXPECT_EQ(noParticle.err, "dravonel: --script: script event '1:grab=158@0,1,0': no particle "
                              "158: the model has 158 (0 to 157) (see dravonel --help)\n");
    EXPECT_EQ(readFile(folder.file("grab.png")), "");
    EXPECT_NE(access(folder.file("grab.png").c_str(), F_OK), 0) << "an empty file left behind";
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
                             const std::string& recording,
                             std::vector<std::string> more = std::vector<std::string>()) {
    const std::vector<unsigned long> before = windowsNamed("Dravonel");
    std::vector<std::string> arguments = {"--assets", assetDir, "--record", recording};
    arguments.insert(arguments.end(), more.begin(), more.end());
    if (!live.start(programPath.c_str(), folder.c_str(), arguments)) {
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

// Four trucks in the window: truck 0 driven off, Tab to truck 1, a drag on
// it (the camera looks at the truck driven, so the window's middle shows
// it), Ctrl-Tab back (Shift-Tab comes through GLUT as nothing under X11)
// and Tab on with a key held. The recording says how
// many trucks and which one each event is for, and replays to the live hash
// headless and in the window.
TEST(ProgramOptions, FourTrucksDrivenWithTabReplayInTheWindowAndHeadless) {
    if (!displayReady()) {
        return;
    }
    ProgramLock lock;
    TempFolder folder;
    const std::string recording = folder.file("four.txt");
    ChildProcess live;
    const unsigned long window = startRecording(live, folder.path(), recording, {"--trucks", "4"});
    ASSERT_NE(window, 0ul);
    const std::string id = std::to_string(window);
    const std::string xdotool = "xdotool mousemove --window " + id + " 320 240 ";
    EXPECT_EQ(runTool(xdotool + "keydown Up >/dev/null 2>&1"), 0);
    waitForPictureChanges(window, 20, 20.0);
    EXPECT_EQ(runTool("xdotool key Tab >/dev/null 2>&1"), 0);
    // The camera's smoothing takes 0.4 s of the frames' clock to come round
    // to truck 1: frames are waited for until that much has passed.
    const auto tabbed = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - tabbed < std::chrono::milliseconds(800) &&
           waitForPictureChanges(window, 2, 10.0)) {
    }
    EXPECT_EQ(runTool(xdotool + "mousedown 3 >/dev/null 2>&1"), 0);
    for (int step = 1; step <= 6; ++step) {
        waitForPictureChanges(window, 2, 10.0);
        runTool("xdotool mousemove --window " + id + " 320 " + std::to_string(240 - 10 * step) +
                " >/dev/null 2>&1");
    }
    waitForPictureChanges(window, 4, 10.0);
    EXPECT_EQ(runTool("xdotool mouseup 3 key ctrl+Tab keydown Left >/dev/null 2>&1"), 0);
    waitForPictureChanges(window, 10, 10.0);
    EXPECT_EQ(runTool("xdotool key Tab keyup Left keyup Up >/dev/null 2>&1"), 0);
    waitForPictureChanges(window, 10, 10.0);
    ASSERT_TRUE(requestWindowClose(window));
    ASSERT_TRUE(live.waitForExit(20.0));
    EXPECT_EQ(live.exitStatus(), 0) << live.standardError();
    const std::string liveHash = hashIn(live.standardOutput());
    ASSERT_EQ(liveHash.size(), 16u) << live.standardOutput();

    const std::string text = readFile(recording);
    EXPECT_NE(text.find("\ntrucks 4\n"), std::string::npos);
    EXPECT_NE(text.find("\ntruck 1\n"), std::string::npos);
    EXPECT_NE(text.find("\ntruck 0\n"), std::string::npos);
    // The drag was made on truck 1, after its truck line.
    ASSERT_NE(text.find("\ngrab "), std::string::npos);
    EXPECT_LT(text.find("\ntruck 1\n"), text.find("\ngrab "));
    // Tab let go of the arrow held on the truck left.
    const size_t back = text.find("\ntruck 0\n");
    EXPECT_NE(text.rfind("key 356 up", text.find("\ntruck 1\n", back)), std::string::npos);

    const Outcome headless = runToEnd(simPath, {"--assets", assetDir, "--replay", recording});
    EXPECT_EQ(headless.status, 0) << headless.err;
    EXPECT_EQ(hashIn(headless.out), liveHash) << headless.out;

    ChildProcess replayed;
    ASSERT_TRUE(replayed.start(programPath.c_str(), folder.path().c_str(),
                               {"--assets", assetDir, "--replay", recording}));
    ASSERT_TRUE(replayed.waitForExit(120.0));
    EXPECT_EQ(replayed.exitStatus(), 0) << replayed.standardError();
    EXPECT_EQ(hashIn(replayed.standardOutput()), liveHash) << replayed.standardOutput();
}

// A right-press on the middle of the tailgate in the start view, made as
// soon as the window is mapped (before its first frame is drawn, on a loaded
// machine): it grabs the truck there, where no node shows within 30 pixels,
// and the drag upwards lifts it. The recording replays to the live hash,
// headless and in the window, whose first camera (--camera) and view keys
// work there and change nothing in the drive, while its driving keys stay
// ignored.
TEST(ProgramOptions, PressOnTheTailgateGrabsAndTheWindowReplayTakesViewKeys) {
    if (!displayReady()) {
        return;
    }
    ProgramLock lock;
    TempFolder folder;
    // Where the tailgate's middle shows in the first frame of camera F1.
    TruckDriver start;
    ASSERT_TRUE(start.load(assetDir)) << start.app.failureReason();
    start.app.setupCamera(0.0f);
    WindowPoint tailgate;
    ASSERT_TRUE(projectToWindow(start.app.lastView, 640, 480, start.tailgateCentre(), &tailgate));
    WindowPoint shown;
    EXPECT_EQ(MouseInput::pick(start.app.lastView, 640, 480, start.app.world->positions(),
                               start.app.world->particleCount(), tailgate.x, tailgate.y, &shown),
              -1)
        << "a node shows near the tailgate's middle";
    const std::string x = std::to_string(static_cast<int>(tailgate.x));
    const int y = static_cast<int>(tailgate.y);

    const std::string recording = folder.file("tailgate.txt");
    std::vector<unsigned long> before = windowsNamed("Dravonel");
    ChildProcess live;
    ASSERT_TRUE(live.start(programPath.c_str(), folder.path().c_str(),
                           {"--assets", assetDir, "--record", recording}));
    unsigned long window = waitForNewWindow("Dravonel", before, 60.0);
    ASSERT_NE(window, 0ul) << live.standardError();
    ASSERT_TRUE(waitForWindowViewable(window, 60.0));
    const std::string id = std::to_string(window);
    EXPECT_EQ(runTool("xdotool mousemove --window " + id + " " + x + " " + std::to_string(y) +
                      " mousedown 3 >/dev/null 2>&1"),
              0);
    // The drag goes on once the scene shows; the press waited for it.
    for (int k = 0; k < 600 && distinctColours(window) <= 16; ++k) {
        usleep(50000);
    }
    std::string drag;
    for (int step = 1; step <= 10; ++step) {
        drag += " mousemove --window " + id + " " + x + " " + std::to_string(y - 10 * step) +
                " sleep 0.05";
    }
    // Then the truck hangs for a while before the window is closed: the
    // drive the replay will take keys during.
    EXPECT_EQ(runTool("xdotool" + drag + " sleep 0.5 mouseup 3 sleep 3 >/dev/null 2>&1"), 0);
    ASSERT_TRUE(requestWindowClose(window));
    ASSERT_TRUE(live.waitForExit(20.0));
    EXPECT_EQ(live.exitStatus(), 0) << live.standardError();
    const std::string liveHash = hashIn(live.standardOutput());
    ASSERT_EQ(liveHash.size(), 16u) << live.standardOutput();
    const std::string text = readFile(recording);
    // One grab line a frame at most: a loaded machine draws few.
    EXPECT_GE(occurrences(text, "\ngrab "), 1) << "the press on the tailgate grabbed nothing";
    EXPECT_EQ(occurrences(text, "\nrelease\n"), 1);

    const Outcome headless = runToEnd(simPath, {"--assets", assetDir, "--replay", recording});
    EXPECT_EQ(headless.status, 0) << headless.err;
    EXPECT_EQ(hashIn(headless.out), liveHash) << headless.out;

    // In the window, from the orbit camera, with the cameras, toggles, the
    // overlay and its help pressed, and the driving keys, recover and reset
    // pressed too (ignored).
    before = windowsNamed("Dravonel");
    ChildProcess replay;
    ASSERT_TRUE(replay.start(programPath.c_str(), folder.path().c_str(),
                             {"--assets", assetDir, "--replay", recording, "--camera", "5"}));
    window = waitForNewWindow("Dravonel", before, 60.0);
    ASSERT_NE(window, 0ul) << replay.standardError();
    ASSERT_TRUE(waitForWindowViewable(window, 60.0));
    runTool("xdotool mousemove --window " + std::to_string(window) +
            " 320 240 key --delay 20 F2 F3 F4 F12 q e F5 F6 F7 F8 F5 h F9 Up r Escape space "
            "F1 >/dev/null 2>&1");
    ASSERT_TRUE(replay.waitForExit(60.0));
    EXPECT_EQ(replay.exitStatus(), 0) << replay.standardError();
    EXPECT_EQ(hashIn(replay.standardOutput()), liveHash) << replay.standardOutput();
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

    // Braked to rest it stands, every frame, rather than trembling between
    // forward and reverse.
    driver.release(359);
    driver.press(32);
    driver.run(4.0);
    driver.release(32);
    int standing = 0;
    driver.run(2.0, [&] {
        driver.app.hud.format(driver.app, 0.0f);
        standing += std::string(driver.app.hud.line(0)) == "  0.0 km/h standing" ? 1 : 0;
    });
    EXPECT_EQ(standing, 120) << driver.app.hud.line(0);
    // The time scale as a factor (the font's Latin-1 multiplication sign,
    // octal 327), a replay and the node held said so.
    Hud& hud = driver.app.hud;
    hud.format(driver.app, 0.0f);
    EXPECT_STREQ(hud.line(1), "time \3271");
    driver.app.key('[', true);
    driver.app.key('[', false);
    driver.app.key('[', true);
    driver.app.key('[', false);
    hud.format(driver.app, 0.0f);
    EXPECT_STREQ(hud.line(1), "time \3271/4");
    driver.app.key('p', true);
    hud.replaying = true;
    hud.format(driver.app, 0.0f);
    EXPECT_STREQ(hud.line(1), "REPLAY  PAUSED (\3271/4)");
    driver.app.grabParticle(141, driver.app.world->positions()[141]);
    hud.format(driver.app, 0.0f);
    EXPECT_STREQ(hud.line(3), "camera F1 fixed  node 141 held");
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
// and spring, and the example stretched, which comes apart only when driven;
// a spring from a particle to itself is named. Driven, that stiff
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

    // The example with its box stretched to z = -3.5 and 1.125 settles, but
    // blows up when driven: the drive test names it.
    std::istringstream exampleLines(readFile(example));
    std::string stretched;
    std::string text;
    for (int number = 1; std::getline(exampleLines, text); ++number) {
        if (number >= 138 && number <= 145) {
            const size_t end = text.rfind(' ');
            const size_t start = text.rfind(' ', end - 1);
            const std::string z = text.substr(start + 1, end - start - 1);
            text = text.substr(0, start + 1) + (z == "-2.5" ? "-3.5" : "1.125") + text.substr(end);
        }
        stretched += text + "\n";
    }
    std::ofstream(folder.file("long.txt")) << stretched;
    const Outcome longer = runToEnd(simPath, {"--check", folder.file("long.txt")});
    EXPECT_EQ(longer.status, 1);
    EXPECT_EQ(lastLine(longer.out).rfind("not usable: unstable while driving (", 0), 0u)
        << longer.out;
    EXPECT_NE(longer.out.find("  no blow-up: every value finite"), std::string::npos)
        << "the settle test passes it" << longer.out;

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
    const std::string g16 = readFile(dir + "g16.png");
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
    // Whole, but with a byte of its compressed rows changed: damaged, not cut.
    std::string damaged = g8;
    const size_t rows = damaged.find("IDAT");
    ASSERT_NE(rows, std::string::npos);
    damaged[rows + 10] = static_cast<char>(damaged[rows + 10] ^ 0x55);
    writeFile(dir + "damaged.png", damaged);
    writeFile(dir + "with space.png", g16);

    auto map = [&](const std::string& name, const std::string& lines) {
        writeFile(dir + name, "dravonel map 1\n" + lines);
        return dir + name;
    };
    const std::string good = "spacing 2\nheight 10\nstart 70 30 90\n";
    // A path with a space in it is quoted.
    for (const char* image : {"g16.png", "g8.png", "\"with space.png\" # quoted"}) {
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
        {map("k.map", "heightmap g8.png\nspacing 2\nheight 4\nstart 500 1 0\n"), dir + "k.map",
         "line 5: start (500, 1) m lies outside the 78 x 58 m map"},
        {map("l.map", "heightmap damaged.png\n" + good), dir + "damaged.png", "corrupt PNG"},
        {map("m.map", "heightmap with space.png\n" + good), dir + "m.map", "takes one value"},
        {map("n.map", "heightmap \"with space.png\n" + good), dir + "n.map",
         "a quote that does not end"},
        {map("o.map", "heightmap g8.png\nspacing 2\nheight 4\nstart 1 70 0\n"), dir + "o.map",
         "line 5: start (1, 70) m lies outside the 78 x 58 m map"},
        {map("p.map", "heightmap claims.png\n" + good), dir + "claims.png", "claims"},
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
        if (b.why == "corrupt PNG") {
            EXPECT_EQ(refused.err.find("truncated"), std::string::npos) << refused.err;
        }
    }
    // Starts that do not leave the whole truck on the ground with room to
    // spare (corners, edges, the map's far corner) are refused by their line.
    for (const char* start :
         {"78 58 0", "0 0 45", "39 0 0", "39 58 180", "0 29 90", "77 29 0", "39 1.5 90"}) {
        SCOPED_TRACE(start);
        const std::string path =
            map("start.map", "heightmap g8.png\nspacing 2\nheight 1\n\nstart " +
                                 std::string(start) + " # here\n");
        const Outcome refused = runToEnd(simPath, {"--assets", assetDir, "--map", path});
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.err.rfind("dravonel-sim: cannot start: " + path + ": line 6: start (", 0),
                  0u)
            << refused.err;
        EXPECT_NE(refused.err.find("a start must leave 3 m of ground all round it\n"),
                  std::string::npos)
            << refused.err;
    }
    // One that leaves room drives, and a truck driven off the edge straight
    // after every reset is told of once, not at every fall.
    const std::string nearEdge =
        map("near.map", "heightmap g8.png\nspacing 2\nheight 0\nstart 39 6 0\n");
    const Outcome falls = runToEnd(simPath, {"--assets", assetDir, "--map", nearEdge, "--script",
                                             "0:+up", "--duration", "30", "--interval", "30"});
    EXPECT_EQ(falls.status, 0) << falls.err;
    EXPECT_EQ(occurrences(falls.out, "the truck fell off the edge of the map and was reset"), 1)
        << falls.out;
    EXPECT_EQ(occurrences(falls.out, "the truck fell off again straight after the reset"), 1)
        << falls.out;

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
    // So is a wheel mapping that cannot be used, by its file and line.
    const std::string wheel = dir + "bad.wheel";
    writeFile(wheel, "dravonel wheel 1\nsteer axis 0 range 7 7\n");
    const Outcome refused = runToEnd(programPath, {"--assets", assetDir, "--wheel", wheel});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "dravonel: " + wheel + ":2: the range's two ends are the same\n");
}

namespace {
struct TimedEvent {
    double time;
    const char* what;
};

// Script words for the events with from < time <= to, each `shift` later.
std::string scriptOf(const std::vector<TimedEvent>& events, double from, double to, double shift) {
    std::string text;
    for (const TimedEvent& e : events) {
        if (e.time > from && e.time <= to) {
            char word[64];
            std::snprintf(word, sizeof(word), "%.17g:%s ", e.time + shift, e.what);
            text += word;
        }
    }
    return text;
}

std::string simHash(const std::vector<std::string>& arguments, const std::string& folder = "/tmp",
                    Outcome* outcome = nullptr) {
    std::vector<std::string> all = {"--assets", assetDir, "--interval", "100"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const Outcome run = runToEnd(simPath, all, folder);
    EXPECT_EQ(run.status, 0) << run.err;
    if (outcome != nullptr) {
        *outcome = run;
    }
    return hashIn(run.out);
}

// A drive with every control, through a rewind's window and after it.
const std::vector<TimedEvent> driveEvents = {
    {0.0, "+up"},    {3.2, "+right"},  {4.4, "-right"}, {6.1, "+space"},  {6.5, "-space"},
    {7.6, "+left"},  {8.3, "-left"},   {9.2, "+space"}, {9.6, "-space"},  {13.0, "-up"},
    {13.1, "+down"}, {14.0, "+right"}, {15.3, "-down"}, {16.0, "-right"}, {17.0, "throttle=0.7"}};
} // namespace

// A scripted drive that goes back S seconds at 10 s and then drives the same
// inputs again ends, 20 s of simulated time later, on the bits of the drive
// that never went back: for lengths that land on a moment of the history,
// between two, and back near the start. A moment saved with F10 at 12 s and
// driven on from with --state ends there too.
TEST(ProgramOptions, RewindAndSavedMomentsDriveOnAsIfTheyNeverLeft) {
    const std::string straight =
        simHash({"--script", scriptOf(driveEvents, -1.0, 100.0, 0.0), "--duration", "20"});
    ASSERT_EQ(straight.size(), 16u);
    for (double seconds : {3.0, 3.27, 0.5, 1.01, 9.9}) {
        SCOPED_TRACE(seconds);
        // The rewind arrives before frame 600 and lands on the last frame
        // whose clock is at or before that of frame 599 less the length; the
        // frames after it come again, `behind` frames later.
        const long landing = static_cast<long>(std::floor(599.0 - 60.0 * seconds + 1e-3));
        const long behind = 599 - landing;
        char rewind[32];
        std::snprintf(rewind, sizeof(rewind), "10:rewind=%g ", seconds);
        // The keys stay as they are when it goes back: those held then but
        // not at the frame landed on are let go, and the other way round.
        std::string keys;
        for (const char* key : {"up", "down", "left", "right", "space"}) {
            bool heldThen = false;
            bool heldThere = false;
            for (const TimedEvent& e : driveEvents) {
                if (std::strcmp(e.what + 1, key) == 0) {
                    heldThen = e.time <= 9.99 ? e.what[0] == '+' : heldThen;
                    heldThere = e.time <= landing / 60.0 ? e.what[0] == '+' : heldThere;
                }
            }
            if (heldThen != heldThere) {
                keys += std::string("10:") + (heldThere ? "+" : "-") + key + " ";
            }
        }
        const std::string script = scriptOf(driveEvents, -1.0, 9.99, 0.0) + rewind + keys +
                                   scriptOf(driveEvents, landing / 60.0, 100.0, behind / 60.0);
        EXPECT_EQ(
            simHash({"--script", script, "--duration", std::to_string((1200.0 + behind) / 60.0)}),
            straight)
            << script;
    }

    TempFolder folder;
    std::vector<TimedEvent> saving = driveEvents;
    saving.push_back({12.0, "+f10"});
    saving.push_back({12.1, "-f10"});
    const std::string script = scriptOf(saving, -1.0, 100.0, 0.0);
    Outcome saved;
    EXPECT_EQ(simHash({"--script", script, "--duration", "20"}, folder.path(), &saved), straight);
    EXPECT_EQ(saved.err, "dravonel-sim: saved dravonel-001.state\n");
    Outcome resumed;
    EXPECT_EQ(simHash({"--state", "dravonel-001.state", "--script", script, "--duration", "20"},
                      folder.path(), &resumed),
              straight);
    EXPECT_EQ(resumed.err, "") << "the F10 the moment was saved by is passed over";
}

// A saved moment that is cut, damaged, made over another truck or not one
// at all is refused with one line and status 1, at once.
TEST(ProgramOptions, BrokenStateFilesAreRefusedWithOneLine) {
    TempFolder folder;
    ASSERT_EQ(simHash({"--script", "0:+up 3:+f10", "--duration", "3.1"}, folder.path()).size(),
              16u);
    const std::string good = readFile(folder.file("dravonel-001.state"));
    ASSERT_GT(good.size(), 48u);
    std::string nan = good;
    // The payload's first float after the stamps (the simulation time) as
    // NaN, and the sum made right again: only the value check finds it.
    const uint32_t nanBits = 0x7fc00000u;
    std::memcpy(&nan[48 + 16], &nanBits, 4);
    const uint64_t sum = bytesHash(nan.data() + 48, nan.size() - 48);
    std::memcpy(&nan[40], &sum, 8);
    std::string flipped = good;
    flipped[good.size() / 2] ^= 0x10;
    writeFile(folder.file("cut.state"), good.substr(0, good.size() - 100));
    writeFile(folder.file("head.state"), good.substr(0, 20));
    writeFile(folder.file("flipped.state"), flipped);
    writeFile(folder.file("nan.state"), nan);
    writeFile(folder.file("garbage.state"), std::string(5000, '\x5a'));
    writeFile(folder.file("empty.state"), "");
    TempFolder heavier;
    std::string model = readFile(assetDir + "/Modell.txt");
    const size_t firstLine = model.find('\n') + 1;
    const size_t lastWord = model.rfind(' ', model.find('\n', firstLine)) + 1;
    model = model.substr(0, lastWord) + std::to_string(std::atof(model.c_str() + lastWord) * 1.01) +
            model.substr(model.find('\n', firstLine));
    assetsWithModel(heavier, model);
    struct Case {
        std::string file;
        std::string assets;
        const char* says;
    };
    const Case cases[] = {{"cut.state", assetDir, "cut short"},
                          {"head.state", assetDir, "cut short"},
                          {"flipped.state", assetDir, "damaged"},
                          {"nan.state", assetDir, "cannot be in"},
                          {"garbage.state", assetDir, "not a saved state"},
                          {"empty.state", assetDir, "not a saved state"},
                          {"nothere.state", assetDir, "cannot open"},
                          {"dravonel-001.state", heavier.path(), "a different truck"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const Outcome refused = runToEnd(
            simPath, {"--assets", c.assets, "--state", folder.file(c.file)}, folder.path(), 20.0);
        EXPECT_EQ(refused.status, 1);
        EXPECT_EQ(refused.out, "");
        EXPECT_EQ(refused.err.rfind("dravonel-sim: " + folder.file(c.file) + ": ", 0), 0u)
            << refused.err;
        EXPECT_NE(refused.err.find(c.says), std::string::npos) << refused.err;
        EXPECT_EQ(occurrences(refused.err, "\n"), 1) << refused.err;
    }
}

// A recorded 60 s drive with a rewind in it: --replay --at T prints the hash
// that the file cut after its last frame at or before T plays to, at the
// start, on a moment of the history, between two, after the rewind and at
// the end.
TEST(ProgramOptions, SeekInARecordingLandsOnThePlaybackHash) {
    TruckApp stamps;
    stamps.historySeconds = 0.0;
    stamps.setAssetDirectory(assetDir.c_str());
    ASSERT_TRUE(stamps.initSimulation()) << stamps.failureReason();
    TempFolder folder;
    const std::string path = folder.file("drive.txt");
    RecordingWriter writer;
    ASSERT_TRUE(writer.open(path.c_str(), stamps.modelHash, stamps.groundHash));
    const struct {
        int frame;
        InputEvent event;
    } events[] = {{2, InputEvent::makeKey(357, true)},
                  {300, InputEvent::makeKey(358, true)},
                  {380, InputEvent::makeKey(358, false)},
                  {700, InputEvent::makeKey(32, true)},
                  {740, InputEvent::makeKey(32, false)},
                  {1500, InputEvent::makeRewind(2.2f)},
                  {1900, InputEvent::makeAnalog(AnalogControl::steer, -0.4f)},
                  {2400, InputEvent::makeKey(357, false)},
                  {2500, InputEvent::makeKey(359, true)},
                  {3100, InputEvent::makeKey(359, false)}};
    for (int frame = 1; frame <= 3600; ++frame) {
        for (const auto& e : events) {
            if (e.frame == frame) {
                writer.input(e.event);
            }
        }
        writer.frame(static_cast<float>(frame / 60.0));
    }
    ASSERT_TRUE(writer.close());
    const std::string text = readFile(path);
    for (double at : {0.0, 12.5, 12.71, 25.1, 27.2, 44.44, 60.0}) {
        SCOPED_TRACE(at);
        // The file up to its last frame at or before T: the events after
        // that frame came later.
        long last = 0;
        while (last < 3600 && static_cast<float>((last + 1) / 60.0) <= at) {
            ++last;
        }
        std::string cut = text.substr(0, text.find("frame "));
        if (last > 0) {
            char frameLine[48];
            std::snprintf(frameLine, sizeof(frameLine), "\nframe %.9g\n",
                          static_cast<double>(static_cast<float>(last / 60.0)));
            const size_t at = text.find(frameLine);
            ASSERT_NE(at, std::string::npos) << frameLine;
            cut = text.substr(0, at + std::strlen(frameLine));
        }
        writeFile(folder.file("cut.txt"), cut);
        Outcome seek;
        const std::string seeked =
            simHash({"--replay", path, "--at", std::to_string(at)}, folder.path(), &seek);
        EXPECT_EQ(seeked, simHash({"--replay", folder.file("cut.txt")})) << seek.err;
        EXPECT_NE(seek.err.find("of CPU"), std::string::npos) << seek.err;
    }
}

// In the window: Backspace held while driving goes back and pauses, a
// driving key goes on; the recording of it replays headless to the live
// hash. Its replay in the window, moved through with the timeline's keys
// (back, on, to the start, paused and slowed, to the end), waits at its end
// and names the same hash.
TEST(ProgramOptions, WindowGoesBackWithBackspaceAndSeeksInItsReplay) {
    if (!displayReady()) {
        return;
    }
    ProgramLock lock;
    TempFolder folder;
    const std::string recording = folder.file("back.txt");
    ChildProcess live;
    const unsigned long window = startRecording(live, folder.path(), recording);
    ASSERT_NE(window, 0ul);
    EXPECT_EQ(runTool("xdotool mousemove --window " + std::to_string(window) +
                      " 320 240 keydown Up sleep 1.5 keydown BackSpace sleep 0.6 keyup BackSpace "
                      "sleep 0.4 keyup Up keydown Down sleep 0.8 keyup Down sleep 0.2 "
                      ">/dev/null 2>&1"),
              0);
    ASSERT_TRUE(requestWindowClose(window));
    ASSERT_TRUE(live.waitForExit(20.0));
    const std::string liveHash = hashIn(live.standardOutput());
    ASSERT_EQ(liveHash.size(), 16u) << live.standardOutput();
    const std::string text = readFile(recording);
    EXPECT_EQ(occurrences(text, "\nkey 8 down\n"), 1) << text.substr(0, 200);
    EXPECT_EQ(occurrences(text, "\nkey 8 up\n"), 1);
    EXPECT_EQ(simHash({"--replay", recording}), liveHash);
    // Without its Backspace the same drive ends elsewhere.
    std::string forward = text;
    for (const char* line : {"key 8 down\n", "key 8 up\n"}) {
        forward.erase(forward.find(line), std::strlen(line));
    }
    writeFile(folder.file("forward.txt"), forward);
    EXPECT_NE(simHash({"--replay", folder.file("forward.txt")}), liveHash);

    const std::vector<unsigned long> before = windowsNamed("Dravonel");
    ChildProcess replay;
    ASSERT_TRUE(replay.start(programPath.c_str(), folder.path().c_str(),
                             {"--assets", assetDir, "--replay", recording}));
    const unsigned long shown = waitForNewWindow("Dravonel", before, 20.0);
    ASSERT_NE(shown, 0ul);
    for (int k = 0; k < 300 && distinctColours(shown) <= 16; ++k) {
        usleep(100000);
    }
    EXPECT_EQ(runTool("xdotool mousemove --window " + std::to_string(shown) +
                      " 320 240 key Right key Left key Home key p key bracketleft key p key "
                      "Right key End >/dev/null 2>&1"),
              0);
    ASSERT_TRUE(replay.waitForOutput("positions hash: ", 60.0)) << replay.standardError();
    EXPECT_EQ(hashIn(replay.standardOutput()), liveHash);
    // Moved through, it waits at its end for the window to close.
    EXPECT_FALSE(replay.waitForExit(1.0));
    ASSERT_TRUE(requestWindowClose(shown));
    EXPECT_TRUE(replay.waitForExit(20.0));
}
