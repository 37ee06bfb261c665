// The program and the simulator as a user meets them on the command line:
// --help and option mistakes, a scripted screenshot, a recorded drive played
// back in the window and headless, and an installed copy started from an
// empty folder.
#include "tests/support/ChildProcess.h"
#include "tests/support/ProgramLock.h"
#include "tests/support/TempFolder.h"
#include "tests/support/X11Windows.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <png.h>
#include <sstream>
#include <string>
#include <vector>

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

TEST(ProgramOptions, RecordedDriveReplaysToTheSameHashInTheWindowAndHeadless) {
    if (!displayReady()) {
        return;
    }
    ProgramLock lock;
    TempFolder folder;
    const std::string recording = folder.file("drive.txt");

    // A person drives: throttle, a turn and a look to the left, then closes.
    const std::vector<unsigned long> before = windowsNamed("Dravonel");
    ChildProcess live;
    ASSERT_TRUE(live.start(programPath.c_str(), folder.path().c_str(),
                           {"--assets", assetDir, "--record", recording}));
    ASSERT_TRUE(live.waitForOutput("ESC:               reset simulation\n", 60.0))
        << live.standardError();
    const unsigned long window = waitForNewWindow("Dravonel", before, 10.0);
    ASSERT_NE(window, 0ul);
    const std::string keys = "xdotool mousemove --window " + std::to_string(window) +
                             " 320 240 keydown Up sleep 0.6 keydown Right sleep 0.4 keyup Right "
                             "key q sleep 0.3 keyup Up >/dev/null 2>&1";
    EXPECT_EQ(runTool(keys), 0);
    ASSERT_TRUE(requestWindowClose(window));
    ASSERT_TRUE(live.waitForExit(20.0));
    EXPECT_EQ(live.exitStatus(), 0) << live.standardError();
    const std::string liveHash = hashIn(live.standardOutput());
    ASSERT_EQ(liveHash.size(), 16u) << live.standardOutput();

    const std::string text = readFile(recording);
    EXPECT_EQ(text.rfind("dravonel recording 2\nmodel ", 0), 0u) << text.substr(0, 80);
    EXPECT_NE(text.find("\nend " + liveHash + "\n"), std::string::npos) << "closing hash";
    EXPECT_NE(text.find("\nkey 357 down\n"), std::string::npos) << "the held Up is recorded";
    EXPECT_NE(text.find("\nkey 358 up\n"), std::string::npos) << "the released Right too";

    // The window replays at the recorded pace and ends on its own.
    const Outcome window2 =
        runToEnd(programPath, {"--assets", assetDir, "--replay", recording}, folder.path(), 60.0);
    EXPECT_EQ(window2.status, 0) << window2.err;
    EXPECT_EQ(hashIn(window2.out), liveHash) << window2.out;

    const Outcome headless = runToEnd(simPath, {"--assets", assetDir, "--replay", recording});
    EXPECT_EQ(headless.status, 0) << headless.err;
    EXPECT_EQ(hashIn(headless.out), liveHash) << headless.out;

    // A damaged recording is refused with the line at fault.
    std::ofstream(folder.file("bad.txt")) << "dravonel recording 1\nframe 0.5\nkey 999 down\n";
    const Outcome bad =
        runToEnd(simPath, {"--assets", assetDir, "--replay", folder.file("bad.txt")});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find("bad.txt: line 3: "), std::string::npos) << bad.err;
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
    // (270, 220) is where the front left top corner of the chassis shows in
    // camera F1 at the start; the wheel beside it is nearer the eye.
    std::string drag = "xdotool mousemove --window " + std::to_string(window) +
                       " 270 220 sleep 0.5 mousedown 3 sleep 0.2";
    for (int step = 1; step <= 12; ++step) {
        drag += " mousemove --window " + std::to_string(window) + " 270 " +
                std::to_string(220 - 12 * step) + " sleep 0.05";
    }
    // Then a burst of moves faster than the frames, which coalesce.
    for (int step = 1; step <= 8; ++step) {
        drag += " mousemove --window " + std::to_string(window) + " " +
                std::to_string(270 + 3 * step) + " 76";
    }
    drag += " sleep 1 mouseup 3 sleep 0.3 >/dev/null 2>&1";
    EXPECT_EQ(runTool(drag), 0);
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

TEST(ProgramOptions, InstalledCopyRunsFromAnEmptyFolder) {
    TempFolder prefix;
    TempFolder empty;
    const std::string install = std::string(DRAVONEL_CMAKE) + " --install '" + binaryDir +
                                "' --prefix '" + prefix.path() + "' >/dev/null";
    ASSERT_EQ(runTool(install), 0) << install;
    for (const char* file :
         {"bin/dravonel", "bin/dravonel-sim", "bin/dravonel-assets", "share/dravonel/Modell.txt",
          "share/dravonel/desert_dn.bmp", "share/dravonel/chevy_nowheels_3c.3ds"}) {
        EXPECT_EQ(readFile(prefix.file(file)).empty(), false) << file << " not installed";
    }

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
