// The one input stream as scripts and recordings carry it: script words and
// recording lines for every kind of event, what a reader refuses and what
// it warns about, the pace a replay keeps, and releases matched to the key
// that is held.
#include "app/input/WindowKeys.h"
#include "app/record/KeyScript.h"
#include "app/record/Recording.h"
#include "app/record/RecordingWriter.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
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
                             "4:throttle=1 4:+f12 4:+. 5:rewind=2.5 5:+backspace 5:-home"))
        << script.failureReason();
    const auto& events = script.events();
    ASSERT_EQ(events.size(), 12u);
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
    EXPECT_EQ(events[9].kind, InputKind::rewind);
    EXPECT_EQ(events[9].value, 2.5f);
    EXPECT_EQ(events[10].code, 8);
    EXPECT_EQ(events[11].code, 362);

    for (const char* bad :
         {"-1:+up", "1:+jump", "1:grab=4@1,2", "1:grab=-1@0,0,0", "1:grab=1.5@0,0,0",
          "1:grab=1@nan,0,0", "1:grab=1@2e6,0,0", "1:grab=1@0,-2e6,0", "1:grab=1@0,0,2e6",
          "1:grab=1@1,2,3x", "1:steer=1.01", "1:brake=-0.1",
          "1:throttle=", "1:gas=1", "1:release2", "1:", "x:+up", "1e999:+up", "1:rewind=-2",
          "1:rewind=1e6", "1:rewind=x"}) {
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
    writer.input(InputEvent::makeRewind(4.25f));
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
    // The rewind is a line of its own where it happened, read back above.
    std::ifstream in(folder.file("r.txt"));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\nrelease\nrewind 4.25\nframe 0.30"), std::string::npos) << text;

    EXPECT_FALSE(recording.damageStamp());
    EXPECT_TRUE(recording.matchesDamage(false));
    EXPECT_FALSE(recording.matchesDamage(true));
    EXPECT_NE(std::string(recording.failureReason()).find("without --damage"), std::string::npos);

    // A drive with damage on says so after the stamps, and replays only so.
    RecordingWriter damaged;
    ASSERT_TRUE(damaged.open(folder.file("d.txt").c_str(), 1, 2, true));
    damaged.frame(0.1f);
    ASSERT_TRUE(damaged.finish(3));
    ASSERT_TRUE(recording.load(folder.file("d.txt").c_str())) << recording.failureReason();
    EXPECT_TRUE(recording.damageStamp());
    EXPECT_EQ(recording.frameCount(), 1);
    EXPECT_TRUE(recording.matchesDamage(true));
    EXPECT_FALSE(recording.matchesDamage(false));
    EXPECT_NE(std::string(recording.failureReason()).find("with --damage"), std::string::npos);
    const std::string wrong = write(folder, "wrong.txt",
                                    "dravonel recording 2\nmodel 0000000000000001\n"
                                    "ground 0000000000000002\ndamage off\nframe 0.1\n");
    EXPECT_FALSE(recording.load(wrong.c_str()));
    EXPECT_NE(std::string(recording.failureReason()).find("line 4: expected \"damage on\""),
              std::string::npos)
        << recording.failureReason();

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
                           {"frame 86400\n", "line 3"},
                           {"key 512 down\n", "line 3"},
                           {"key 5 sideways\n", "line 3"},
                           {"grab 1 0 0\n", "line 3"},
                           {"grab 1 2e6 0 0\n", "line 3"},
                           {"grab 1 0 -2e6 0\n", "line 3"},
                           {"grab 1 0 0 2e6\n", "line 3"},
                           {"analog brake -1\n", "line 3"},
                           {"release now\n", "line 3"},
                           {"rewind -1\n", "line 3"},
                           {"rewind 2 3\n", "line 3"},
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

    // Grabs are checked against the model loaded, by line and by script word.
    ASSERT_TRUE(
        recording.load(write(folder, "grabs.txt",
                             header + "frame 0.5\ngrab 157 0 1 0\nframe 0.6\ngrab 158 0 1 0\n")
                           .c_str()));
    EXPECT_TRUE(recording.matchesParticles(159));
    EXPECT_FALSE(recording.matchesParticles(158));
    EXPECT_NE(std::string(recording.failureReason()).find("grabs.txt: line 6: grab 158"),
              std::string::npos)
        << recording.failureReason();
    KeyScript script;
    ASSERT_TRUE(script.parse("2:grab=158@0,1,0 1:grab=157@0,1,0 3:release"));
    EXPECT_TRUE(script.checkParticles(159));
    EXPECT_FALSE(script.checkParticles(158));
    EXPECT_NE(std::string(script.failureReason()).find("'2:grab=158@0,1,0': no particle 158"),
              std::string::npos)
        << script.failureReason();
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

// The window system's repeat of a held key (a release and a press together,
// once the key has been held a while) is dropped; presses sent in a rapid
// burst, 12 ms apart and several within one frame, all count.
TEST(InputEvents, RepeatsOfAHeldKeyDropButABurstOfPressesAllCounts) {
    KeyRepeatFilter filter;
    std::string events;
    auto press = [&](int code, double now) {
        switch (filter.press(code, now)) {
        case KeyRepeatFilter::Press::drop:
            break;
        case KeyRepeatFilter::Press::deliverAfterRelease:
            events += "-" + std::to_string(code) + " +" + std::to_string(code) + " ";
            break;
        case KeyRepeatFilter::Press::deliver:
            events += "+" + std::to_string(code) + " ";
            break;
        }
    };
    auto release = [&](int code) {
        if (!filter.release(code)) {
            events += "-" + std::to_string(code) + "! ";
        }
    };
    auto frame = [&] {
        int codes[16];
        const int count = filter.flush(codes, 16);
        for (int k = 0; k < count; ++k) {
            events += "-" + std::to_string(codes[k]) + " ";
        }
    };
    // Up held for a second: repeats from 0.66 s on, every 40 ms, across frames.
    press(357, 10.0);
    frame();
    for (double t = 10.66; t < 11.0; t += 0.04) {
        release(357);
        press(357, t);
        if (t > 10.8) {
            frame();
        }
    }
    release(357);
    frame();
    EXPECT_EQ(events, "+357 -357 ");
    // Seven '[' then nine ']', 12 ms apart, three to a frame of 36 ms.
    events.clear();
    double t = 20.0;
    for (int k = 0; k < 16; ++k) {
        const int code = k < 7 ? '[' : ']';
        press(code, t);
        release(code);
        t += 0.012;
        if (k % 3 == 2) {
            frame();
        }
    }
    frame();
    int presses = 0;
    int releases = 0;
    for (size_t at = 0; at < events.size(); ++at) {
        presses += events[at] == '+' ? 1 : 0;
        releases += events[at] == '-' ? 1 : 0;
    }
    EXPECT_EQ(presses, 16) << events;
    EXPECT_EQ(releases, 16) << events;
    EXPECT_EQ(events.substr(0, 16), "+91 -91 +91 -91 ") << "each release before the next press";
}

// A repeat (release, then at once a press of the same key held a while)
// drops that pair only: the other releases held back until the frame keep
// their order.
TEST(InputEvents, ARepeatDropsOnlyItsOwnHeldBackRelease) {
    using Press = KeyRepeatFilter::Press;
    KeyRepeatFilter filter;
    int codes[16] = {};
    for (int code : {int('a'), 357, int('b'), int('c')}) {
        ASSERT_EQ(filter.press(code, 1.0), Press::deliver);
    }
    ASSERT_TRUE(filter.release('a'));
    ASSERT_TRUE(filter.release(357));
    ASSERT_TRUE(filter.release('b'));
    EXPECT_EQ(filter.press(357, 2.0), Press::drop) << "a repeat of Up";
    EXPECT_EQ(filter.press('c', 2.0), Press::deliver) << "a press of a key not released";
    EXPECT_EQ(filter.press('b', 2.0), Press::drop);
    EXPECT_EQ(filter.press('b', 2.0), Press::deliver) << "the second press is a press";
    ASSERT_EQ(filter.flush(codes, 16), 1);
    EXPECT_EQ(codes[0], 'a');
    EXPECT_EQ(filter.flush(codes, 16), 0);
    for (int k = 0; k < 16; ++k) {
        ASSERT_TRUE(filter.release(k + 1));
    }
    EXPECT_FALSE(filter.release(99)) << "a 17th release is delivered at once";
    EXPECT_EQ(filter.press(1, 3.0), Press::drop);
    ASSERT_EQ(filter.flush(codes, 16), 15);
    EXPECT_EQ(codes[0], 2);
    EXPECT_EQ(codes[14], 16);
}
