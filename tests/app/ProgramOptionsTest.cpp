// The program and the simulator as a user meets them on the command line:
// --help and option mistakes, a scripted screenshot, a recorded drive played
// back in the window and headless, and an installed copy started from an
// empty folder.
#include "tests/support/ChildProcess.h"
#include "tests/support/ProgramLock.h"
#include "tests/support/TempFolder.h"
#include "tests/support/X11Windows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <png.h>
#include <sstream>
#include <string>
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
        {false, {"--screenshot", "a.png", "--at", "1", "--camera", "5"}},
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
    EXPECT_EQ(text.rfind("dravonel recording 1\nframe ", 0), 0u) << text.substr(0, 80);
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

TEST(ProgramOptions, InstalledCopyRunsFromAnEmptyFolder) {
    TempFolder prefix;
    TempFolder empty;
    const std::string install = std::string(DRAVONEL_CMAKE) + " --install '" + binaryDir +
                                "' --prefix '" + prefix.path() + "' >/dev/null";
    ASSERT_EQ(runTool(install), 0) << install;
    for (const char* file :
         {"bin/dravonel", "bin/dravonel-sim", "bin/dravonel-assets", "share/dravonel/Modell.txt",
          "share/dravonel/desert_dn.bmp", "share/dravonel/chevy_nowheels_3c.3ds",
          "share/dravonel/maps/dunes.map", "share/dravonel/maps/dunes.png"}) {
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
    writeFile(dir + "text.png", "dravonel map 1\n");

    auto map = [&](const std::string& name, const std::string& lines) {
        writeFile(dir + name, "dravonel map 1\n" + lines);
        return dir + name;
    };
    const std::string good = "spacing 2\nheight 10\nstart 40 30 90\n";
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
