// The one input stream as scripts and recordings carry it: script words and
// recording lines for every kind of event, what a reader refuses and what
// it warns about, the pace a replay keeps, and releases matched to the key
// that is held.
#include "app/record/KeyScript.h"
#include "app/record/Recording.h"
#include "app/record/RecordingWriter.h"
#include "app/input/WindowKeys.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

namespace {

std::string write(const TempFolder& folder, const std::string& name, const std::string& text) {
    std::ofstream(folder.file(name), std::ios::binary) << text;
    return folder.file(name);
}

const std::string header = "dravonel recording 2\nmodel 00000000000000ff\n";

} // namespace

TEST(InputEvents, ScriptWordsForEveryKindAndTheirRefusals) {
    KeyScript script;
    ASSERT_TRUE(script.parse("2:release 1:grab=40@1.5,-2,3e1 0:+p 0.5:-] 3:steer=-1 3:brake=0.25 "
                             "4:throttle=1 4:+f12 4:+."))
        << script.failureReason();
    const auto& events = script.events();
    ASSERT_EQ(events.size(), 9u);
    EXPECT_EQ(events[0].kind, InputKind::key);
    EXPECT_EQ(events[0].code, 'p');
    EXPECT_TRUE(events[0].down);
    EXPECT_EQ(events[1].code, ']');
    EXPECT_FALSE(events[1].down);
    EXPECT_EQ(events[2].kind, InputKind::grab);
    EXPECT_EQ(events[2].particle, 40);
    EXPECT_EQ(events[2].target.x, 1.5f);
    EXPECT_EQ(events[2].target.y, -2.0f);
    EXPECT_EQ(events[2].target.z, 30.0f);
    EXPECT_EQ(events[3].kind, InputKind::release);
    EXPECT_EQ(events[4].kind, InputKind::analog);
    EXPECT_EQ(events[4].control, AnalogControl::steer);
    EXPECT_EQ(events[4].value, -1.0f);
    EXPECT_EQ(events[5].control, AnalogControl::brake);
    EXPECT_EQ(events[6].control, AnalogControl::throttle);
    EXPECT_EQ(events[7].code, 268);
    EXPECT_EQ(events[8].code, '.');

    for (const char* bad :
         {"-1:+up", "1:+jump", "1:grab=4@1,2", "1:grab=-1@0,0,0", "1:grab=1.5@0,0,0",
          "1:grab=1@nan,0,0", "1:grab=1@2e6,0,0", "1:grab=1@0,-2e6,0", "1:grab=1@0,0,2e6",
          "1:grab=1@1,2,3x", "1:steer=1.01", "1:brake=-0.1", "1:throttle=", "1:gas=1", "1:release2",
          "1:", "x:+up", "1e999:+up"}) {
        EXPECT_FALSE(script.parse(bad)) << bad;
        EXPECT_NE(std::string(script.failureReason()).find(bad), std::string::npos)
            << script.failureReason();
    }
}

TEST(InputEvents, WrittenRecordingsReadBackWithTheirStampAndEnd) {
    TempFolder folder;
    RecordingWriter writer;
    ASSERT_TRUE(writer.open(folder.file("r.txt").c_str(), 0x0123456789abcdefULL, 0x77ULL));
    writer.frame(0.1f);
    writer.key(511, true);
    writer.input(InputEvent::makeGrab(7, Vec3(0.1f, 1e-7f, -3.3f)));
    writer.frame(0.2f);
    writer.frame(0.2f);
    writer.input(InputEvent::makeAnalog(AnalogControl::steer, -0.123456789f));
    writer.input(InputEvent::makeRelease());
    writer.frame(0.3f);
    ASSERT_TRUE(writer.finish(0xfedcba9876543210ULL)) << writer.failureReason();

    Recording recording;
    ASSERT_TRUE(recording.load(folder.file("r.txt").c_str())) << recording.failureReason();
    EXPECT_STREQ(recording.warning(), "");
    EXPECT_EQ(recording.modelStamp(), 0x0123456789abcdefULL);
    EXPECT_TRUE(recording.matchesModel(0x0123456789abcdefULL));
    EXPECT_FALSE(recording.matchesModel(1));
    EXPECT_NE(std::string(recording.failureReason()).find("0123456789abcdef"), std::string::npos);
    EXPECT_NE(std::string(recording.failureReason()).find("0000000000000001"), std::string::npos);
    EXPECT_TRUE(recording.matchesGround(0x77ULL));
    EXPECT_FALSE(recording.matchesGround(0x78ULL));
    EXPECT_NE(std::string(recording.failureReason()).find("--map"), std::string::npos);
    ASSERT_TRUE(recording.hasEndHash());
    EXPECT_EQ(recording.endHash(), 0xfedcba9876543210ULL);
    EXPECT_EQ(recording.frameCount(), 4);

    // The window waits for each frame in turn: two frame lines in a row are
    // two frames, neither skipped.
    const std::string paced =
        write(folder, "paced.txt", header + "frame 0.1\nframe 0.2\nframe 0.25\nframe 0.3\n");
    ASSERT_TRUE(recording.load(paced.c_str()));
    const float expected[4] = {0.1f, 0.2f, 0.25f, 0.3f};
    for (float want : expected) {
        float upcoming = -1.0f;
        ASSERT_TRUE(recording.upcomingFrameTime(&upcoming));
        EXPECT_EQ(upcoming, want);
        float time = -1.0f;
        ASSERT_TRUE(recording.nextFrame(nullptr, &time));
        EXPECT_EQ(time, want);
    }
    float time = 0.0f;
    EXPECT_FALSE(recording.upcomingFrameTime(&time));
}

TEST(InputEvents, DamagedRecordingsAreRefusedByLineOrWarnedAbout) {
    TempFolder folder;
    Recording recording;
    struct Bad {
        const char* body;
        const char* line;
    };
    const Bad refused[] = {{"frame 1e30\n", "line 3"},
                           {"frame 0.5 0.6\n", "line 3"},
                           {"frame 0.5\nframe 0.4\n", "line 4"},
                           {"frame nan\n", "line 3"},
                           {"frame 86401\n", "line 3"},
                           {"key 512 down\n", "line 3"},
                           {"key 5 sideways\n", "line 3"},
                           {"grab 1 0 0\n", "line 3"},
                           {"grab 1 2e6 0 0\n", "line 3"},
                           {"grab 1 0 -2e6 0\n", "line 3"},
                           {"grab 1 0 0 2e6\n", "line 3"},
                           {"analog brake -1\n", "line 3"},
                           {"release now\n", "line 3"},
                           {"end 0\n", "line 3"},
                           {"end 0000000000000000\nframe 1\n", "line 4"},
                           {"jump\n", "line 3"}};
    for (const Bad& bad : refused) {
        const std::string path = write(folder, "bad.txt", header + bad.body);
        EXPECT_FALSE(recording.load(path.c_str())) << bad.body;
        EXPECT_NE(std::string(recording.failureReason()).find(std::string("bad.txt: ") + bad.line),
                  std::string::npos)
            << recording.failureReason();
    }
    EXPECT_FALSE(recording.load(write(folder, "m.txt", "dravonel recording 2\nframe 1\n").c_str()));
    EXPECT_NE(std::string(recording.failureReason()).find("line 2"), std::string::npos);

    // Windows line ends, the highest key code and the first format are fine.
    const std::string crlf = "dravonel recording 2\r\nmodel 00000000000000ff\r\nframe 0.5\r\n"
                             "key 511 up\r\nend 00000000000000aa\r\n";
    ASSERT_TRUE(recording.load(write(folder, "crlf.txt", crlf).c_str()))
        << recording.failureReason();
    EXPECT_STREQ(recording.warning(), "");
    EXPECT_EQ(recording.endHash(), 0xaaULL);
    ASSERT_TRUE(recording.load(write(folder, "v1.txt",
                                     "dravonel recording 1\nframe 0.5\n"
                                     "key 357 down\n")
                                   .c_str()));
    EXPECT_NE(std::string(recording.warning()).find("without a model stamp"), std::string::npos);
    EXPECT_TRUE(recording.matchesModel(12345));
    EXPECT_FALSE(
        recording.load(write(folder, "v1g.txt", "dravonel recording 1\ngrab 1 0 0 0\n").c_str()));

    // Cut mid-line, or before its end line: the whole lines play, with a warning.
    ASSERT_TRUE(
        recording.load(write(folder, "cut.txt", header + "frame 0.5\nframe 0.6\nfra").c_str()));
    EXPECT_EQ(recording.frameCount(), 2);
    EXPECT_NE(std::string(recording.warning()).find("ends early"), std::string::npos);
    ASSERT_TRUE(recording.load(write(folder, "noend.txt", header + "frame 0.5\n").c_str()));
    EXPECT_NE(std::string(recording.warning()).find("ends early"), std::string::npos);
}

TEST(InputEvents, WriterReportsAFailedWrite) {
    RecordingWriter writer;
    ASSERT_TRUE(writer.open("/dev/full", 0, 0));
    for (int k = 0; k < 10000; ++k) {
        writer.frame(static_cast<float>(k));
    }
    EXPECT_FALSE(writer.finish(0));
    EXPECT_NE(std::string(writer.failureReason()).find("/dev/full"), std::string::npos);
}

TEST(InputEvents, ALetterReleasedInTheOtherCaseReleasesTheHeldKey) {
    unsigned char held[512];
    std::memset(held, 0, sizeof(held));
    held['q'] = 1;
    EXPECT_EQ(releasedKeyCode('Q', held), 'q');
    EXPECT_EQ(releasedKeyCode('q', held), 'q');
    EXPECT_EQ(releasedKeyCode('E', held), 'E');
    held['E'] = 1;
    EXPECT_EQ(releasedKeyCode('e', held), 'E');
    held['['] = 1;
    EXPECT_EQ(releasedKeyCode('{', held), '{');
}

// A repeat (release, then at once a press of the same key) drops that pair
// only: the other releases held back until the frame keep their order.
TEST(InputEvents, ARepeatDropsOnlyItsOwnHeldBackRelease) {
    KeyRepeatFilter filter;
    int codes[16] = {};
    ASSERT_TRUE(filter.release('a'));
    ASSERT_TRUE(filter.release(357));
    ASSERT_TRUE(filter.release('b'));
    EXPECT_FALSE(filter.press(357)) << "a repeat of Up";
    EXPECT_TRUE(filter.press('c')) << "a press of a key not released";
    EXPECT_FALSE(filter.press('b'));
    EXPECT_TRUE(filter.press('b')) << "the second press is a press";
    ASSERT_EQ(filter.flush(codes, 16), 1);
    EXPECT_EQ(codes[0], 'a');
    EXPECT_EQ(filter.flush(codes, 16), 0);
    for (int k = 0; k < 16; ++k) {
        ASSERT_TRUE(filter.release(k + 1));
    }
    EXPECT_FALSE(filter.release(99)) << "a 17th release is delivered at once";
    EXPECT_FALSE(filter.press(1));
    ASSERT_EQ(filter.flush(codes, 16), 15);
    EXPECT_EQ(codes[0], 2);
    EXPECT_EQ(codes[14], 16);
}
