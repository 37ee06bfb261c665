// The program as a user runs it: build/dravonel started from a console in the
// folder of generated assets prints the banner, opens its 640 x 480 window,
// keeps drawing frames while keys are pressed and ends with status 0 when the
// window is closed; started without its assets it names what is missing and
// stops with status 1. Also the key-code mapping and the Timer it relies on.
#include "app/Application.h"
#include "app/Timer.h"

#include "tests/support/ChildProcess.h"
#include "tests/support/ProgramLock.h"
#include "tests/support/TempFolder.h"
#include "tests/support/X11Windows.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const char* const programPath = DRAVONEL_BINARY_DIR "/dravonel";
const char* const assetDir = DRAVONEL_ASSET_DIR;

const char* const expectedBanner =
    "              ** DRAVONEL **\n"
    "                   2026\n"
    "   physics and tools: the Dravonel simulation team <sim@example.org>\n"
    "   graphics and application: the Dravonel rendering team <render@example.org>\n"
    "\n\n"
    "cursor left/right: steer left/right\n"
    "cursor up/down:    accelerate forward/backwards\n"
    "space:             brake\n\n"
    "F1-F4:             change camera\n"
    "q, e:              look left/right/rear\n\n"
    "F5:                toggle rendering car model\n"
    "F6:                toggle rendering mass/spring model\n"
    "F7:                toggle rendering particles\n"
    "F8:                toggle rendering floor wireframe\n\n"
    "ESC:               reset simulation\n";

const char* const assetFiles[] = {"isampler48.bmp", "gray_structure.bmp", "leather.bmp",
                                  "desert_rt.bmp",  "desert_bk.bmp",      "desert_lf.bmp",
                                  "desert_ft.bmp",  "desert_up.bmp",      "desert_dn.bmp",
                                  "wheel.3ds",      "Modell.txt",         "chevy_nowheels_3c.3ds"};

bool exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

bool copyFile(const std::string& from, const std::string& to, std::streamsize limit = -1) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    if (!in || !out) {
        return false;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::streamsize size = limit >= 0 && limit < static_cast<std::streamsize>(bytes.size())
                                     ? limit
                                     : static_cast<std::streamsize>(bytes.size());
    out.write(bytes.data(), size);
    return static_cast<bool>(out);
}

// The assets copied into `dir`, except `missing`; `truncated` is cut to
// `keep` bytes.
bool stageAssets(const std::string& dir, const std::string& missing,
                 const std::string& truncated = "", std::streamsize keep = 0) {
    for (const char* name : assetFiles) {
        if (missing == name) {
            continue;
        }
        const std::streamsize limit = truncated == name ? keep : -1;
        if (!copyFile(std::string(assetDir) + "/" + name, dir + "/" + name, limit)) {
            return false;
        }
    }
    return true;
}

bool requireDisplay() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') {
        ADD_FAILURE() << "DISPLAY is not set: run the program tests under xvfb-run";
        return false;
    }
    if (!holdDisplayOpen(10.0)) {
        ADD_FAILURE() << "cannot open X display " << display;
        return false;
    }
    return true;
}

void sendKeys(const std::string& keys) {
    const std::string command = "xdotool key --delay 30 " + keys + " >/dev/null 2>&1";
    EXPECT_EQ(runTool(command), 0) << command;
}

// Starts the program in `dir`, which lacks something it needs, and checks
// that it stops with status 1 after one line on stderr naming `file`,
// before printing the banner.
void expectStartupFailure(const std::string& dir, const std::string& file) {
    ChildProcess program;
    ASSERT_TRUE(program.start(programPath, dir.c_str())) << program.failureReason();
    ASSERT_TRUE(program.waitForExit(30.0)) << "still running without " << file;
    EXPECT_TRUE(program.exitedNormally());
    EXPECT_EQ(program.exitStatus(), 1);
    EXPECT_EQ(program.standardOutput(), "") << "no banner before a failed start";
    const std::string& error = program.standardError();
    ASSERT_FALSE(error.empty());
    EXPECT_EQ(error.find('\n'), error.size() - 1) << "exactly one line: " << error;
    EXPECT_EQ(error.rfind("dravonel: cannot start: ", 0), 0u) << error;
    EXPECT_NE(error.find(file), std::string::npos) << "names " << file << ": " << error;
}

} // namespace

TEST(Program, RunsUntilItsWindowIsClosed) {
    ASSERT_TRUE(exists(programPath)) << programPath << " is not built";
    ASSERT_TRUE(exists(assetDir)) << assetDir << " is not generated";
    if (!requireDisplay()) {
        return;
    }
    ProgramLock lock;
    const std::vector<unsigned long> before = windowsNamed("Dravonel");
    ChildProcess program;
    ASSERT_TRUE(program.start(programPath, assetDir)) << program.failureReason();

    // The banner comes out at once, even into a pipe, and exactly as written.
    ASSERT_TRUE(program.waitForOutput("ESC:               reset simulation\n", 60.0))
        << "stdout: " << program.standardOutput() << "\nstderr: " << program.standardError();
    EXPECT_EQ(program.standardOutput().substr(0, std::string(expectedBanner).size()),
              expectedBanner);

    const unsigned long window = waitForNewWindow("Dravonel", before, 10.0);
    ASSERT_NE(window, 0ul) << "no window titled \"Dravonel\"";
    int width = 0;
    int height = 0;
    ASSERT_TRUE(windowSize(window, &width, &height));
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);

    // It keeps running and draws a scene, not a blank window. The first
    // frames can be slow on a loaded machine: look until the window shows
    // the scene, within a generous deadline.
    int colours = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (program.running() && std::chrono::steady_clock::now() < deadline) {
        colours = distinctColours(window);
        if (colours > 16) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_TRUE(program.running()) << "stderr: " << program.standardError();
    EXPECT_GT(colours, 16);

    // Every key of the help, some it ignores, and a held key; the pointer
    // over the window gives it the keyboard when no window manager runs.
    const std::string focus =
        "xdotool mousemove --window " + std::to_string(window) + " 320 240 >/dev/null 2>&1";
    EXPECT_EQ(runTool(focus), 0);
    sendKeys("F1 F2 F3 F4 F5 F6 F7 F8 F5 F6 F7 F8 F1 q e q+e Left Right space Escape "
             "F9 Prior Home Insert End eacute");
    const std::string hold = "xdotool keydown Up sleep 0.3 keyup Up >/dev/null 2>&1";
    EXPECT_EQ(runTool(hold), 0);
    // Frames drawn after the keys: it took them and goes on.
    EXPECT_TRUE(waitForPictureChanges(window, 2, 30.0)) << "no frame after the keys";
    ASSERT_TRUE(program.running()) << "stderr: " << program.standardError();

    // A wide window shows the whole 4:3 picture between black bars, not a
    // stretched one: 600 x 450 in the middle of 1200 x 450.
    ASSERT_EQ(runTool("xdotool windowsize " + std::to_string(window) + " 1200 450 >/dev/null 2>&1"),
              0);
    // Looked at until a frame at the new size is shown, within a deadline.
    const std::string look = "import -window " + std::to_string(window) +
                             " -format '%[pixel:p{100,225}] %[pixel:p{1100,225}] "
                             "%[pixel:p{600,225}] %w' info: 2>/dev/null";
    const std::string black = "srgb(0,0,0) srgb(0,0,0) ";
    std::string seen;
    const auto resized = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (program.running() && std::chrono::steady_clock::now() < resized) {
        if (FILE* pipe = popen(look.c_str(), "r")) {
            char text[256] = {};
            seen = fgets(text, sizeof(text), pipe) != nullptr ? text : "";
            pclose(pipe);
        }
        if (seen.rfind(black, 0) == 0 &&
            seen.find("srgb(0,0,0)", black.size()) == std::string::npos) {
            break;
        }
        waitForPictureChanges(window, 1, 1.0);
    }
    EXPECT_EQ(seen.rfind(black, 0), 0u) << seen;
    EXPECT_EQ(seen.find("srgb(0,0,0)", black.size()), std::string::npos)
        << "the middle is drawn: " << seen;

    // The window manager's close button: WM_DELETE_WINDOW ends it with 0.
    ASSERT_TRUE(requestWindowClose(window));
    ASSERT_TRUE(program.waitForExit(10.0)) << "still running after its window was closed";
    EXPECT_TRUE(program.exitedNormally());
    EXPECT_EQ(program.exitStatus(), 0) << "stderr: " << program.standardError();
    EXPECT_TRUE(windowsNamed("Dravonel").size() <= before.size());
}

// A live drive starts the gamepad's subsystem without an error when no pad
// is plugged in, says after the key help how to drive with one, and still
// ends on SIGTERM as a console program does: the subsystem must not take the
// signal for itself.
TEST(Program, EndsOnSigtermWithTheGamepadStarted) {
    if (!requireDisplay()) {
        return;
    }
    ProgramLock lock;
    ChildProcess program;
    ASSERT_TRUE(program.start(programPath, assetDir)) << program.failureReason();
    ASSERT_TRUE(program.waitForOutput(
        "Start resets, Back changes camera, shoulders look left/right\n", 60.0))
        << "stdout: " << program.standardOutput() << "stderr: " << program.standardError();
    EXPECT_NE(program.standardOutput().find(
                  "ESC:               reset simulation\n\ngamepad:           none plugged in;"),
              std::string::npos)
        << program.standardOutput();
    ASSERT_TRUE(program.running());
    ::kill(program.processId(), SIGTERM);
    ASSERT_TRUE(program.waitForExit(10.0)) << "still running after SIGTERM";
    EXPECT_EQ(program.exitStatus(), 128 + SIGTERM);
    EXPECT_EQ(program.standardError(), "");
}

TEST(Program, StopsWithAReasonWhenStartedWithoutAssets) {
    ASSERT_TRUE(exists(programPath)) << programPath << " is not built";
    if (!requireDisplay()) {
        return;
    }
    ProgramLock lock;
    TempFolder empty;
    ASSERT_FALSE(empty.path().empty());
    // The first asset loaded is the first texture.
    expectStartupFailure(empty.path(), "isampler48.bmp");
}

TEST(Program, StopsWithAReasonWhenOneAssetIsMissingOrBroken) {
    ASSERT_TRUE(exists(programPath)) << programPath << " is not built";
    ASSERT_TRUE(exists(assetDir)) << assetDir << " is not generated";
    if (!requireDisplay()) {
        return;
    }
    ProgramLock lock;
    // The last texture, a model, the soft-body file (loaded last, by the
    // first reset), each missing in turn.
    for (const char* missing : {"desert_dn.bmp", "wheel.3ds", "Modell.txt"}) {
        SCOPED_TRACE(missing);
        TempFolder dir;
        ASSERT_TRUE(stageAssets(dir.path(), missing));
        expectStartupFailure(dir.path(), missing);
    }
    // A texture cut short inside its pixel rows.
    TempFolder dir;
    ASSERT_TRUE(stageAssets(dir.path(), "", "leather.bmp", 100));
    expectStartupFailure(dir.path(), "leather.bmp");
}

TEST(KeyCodes, OnlyTheHandledSpecialKeysGetACode) {
    const int handled[] = {GLUT_KEY_F1,   GLUT_KEY_F2,   GLUT_KEY_F3,   GLUT_KEY_F4, GLUT_KEY_F5,
                           GLUT_KEY_F6,   GLUT_KEY_F7,   GLUT_KEY_F8,   GLUT_KEY_F9, GLUT_KEY_F10,
                           GLUT_KEY_F11,  GLUT_KEY_F12,  GLUT_KEY_LEFT, GLUT_KEY_UP, GLUT_KEY_RIGHT,
                           GLUT_KEY_DOWN, GLUT_KEY_HOME, GLUT_KEY_END};
    for (int key = -5; key < 400; ++key) {
        bool isHandled = false;
        for (int h : handled) {
            isHandled = isHandled || h == key;
        }
        EXPECT_EQ(specialKeyCode(key), isHandled ? key + 256 : -1) << "GLUT special key " << key;
    }
    EXPECT_EQ(specialKeyCode(GLUT_KEY_F1), 257);
    EXPECT_EQ(specialKeyCode(GLUT_KEY_F8), 264);
    EXPECT_EQ(specialKeyCode(GLUT_KEY_LEFT), 356);
    EXPECT_EQ(specialKeyCode(GLUT_KEY_DOWN), 359);
    EXPECT_EQ(specialKeyCode(GLUT_KEY_END), 363);
    EXPECT_EQ(specialKeyCode(GLUT_KEY_F12), 268);
    // Home goes to a replay's start; Page Up and Insert are ignored.
    EXPECT_EQ(specialKeyCode(GLUT_KEY_HOME), 362);
    EXPECT_EQ(specialKeyCode(GLUT_KEY_PAGE_UP), -1);
    EXPECT_EQ(specialKeyCode(GLUT_KEY_INSERT), -1);
    // --camera N: F1 to F4, and F12 for the orbit camera (F5 is a toggle).
    EXPECT_EQ(cameraKeyCode(1), 257);
    EXPECT_EQ(cameraKeyCode(4), 260);
    EXPECT_EQ(cameraKeyCode(5), 268);
    EXPECT_EQ(cameraKeyCode(0), -1);
    EXPECT_EQ(cameraKeyCode(6), -1);
}

TEST(KeyCodes, CharactersMapToZeroTo255) {
    for (int value = 0; value < 256; ++value) {
        EXPECT_EQ(characterKeyCode(static_cast<unsigned char>(value)), value);
    }
    // A character above 127 arriving through a signed char stays positive.
    const char accented = static_cast<char>(0xE9);
    EXPECT_EQ(characterKeyCode(static_cast<unsigned char>(accented)), 0xE9);
}

TEST(Timer, CountsSecondsFromTheLastStart) {
    Timer timer;
    EXPECT_GT(timer.frequency, 0);
    const double first = timer.elapsed();
    EXPECT_GE(first, 0.0);
    EXPECT_LT(first, 0.5);
    // Successive reads never go back and do not restart the count.
    double previous = first;
    for (int i = 0; i < 10000; ++i) {
        const double now = timer.elapsed();
        ASSERT_GE(now, previous);
        previous = now;
    }
    const int64_t startCount = timer.startCount;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const double later = timer.elapsed();
    EXPECT_GE(later, 0.05);
    EXPECT_LT(later, 5.0);
    EXPECT_EQ(timer.startCount, startCount);
    // start moves time zero to now.
    Timer* asBase = &timer;
    asBase->start();
    EXPECT_GT(timer.startCount, startCount);
    EXPECT_LT(timer.elapsed(), later);
}
