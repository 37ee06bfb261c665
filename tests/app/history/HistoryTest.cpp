// The application's past: a moment put back runs the same frames to the
// same bits, dust and its random numbers included, and is refused whole
// when it is not this truck's; a replay sought back and on through the
// timeline plays to the hash of the plain replay, and each seek lands on
// the hash of the replay cut there; held Backspace goes back twice as fast
// as the frames come and leaves the world paused on release.
#include "app/TruckApp.h"
#include "app/history/AppMoment.h"
#include "app/record/Recording.h"
#include "app/record/RecordingWriter.h"
#include "app/record/ReplayControl.h"
#include "physics/DustRandom.h"
#include "physics/DustSystem.h"
#include "physics/PhysicsWorld.h"
#include "physics/PositionHash.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<TruckApp> loadedApp(double historySeconds = 120.0) {
    std::unique_ptr<TruckApp> app(new TruckApp());
    app->historySeconds = historySeconds;
    app->setAssetDirectory(DRAVONEL_ASSET_DIR);
    EXPECT_TRUE(app->initSimulation()) << app->failureReason();
    return app;
}

uint64_t hashOf(TruckApp& app) {
    return positionHash(app.world->positions(), app.world->particleCount());
}

// Positions, the live dust motes and the next random numbers, as one hash.
uint64_t everythingOf(TruckApp& app) {
    int capacity = 0, start = 0, count = 0;
    const DustParticle* motes = app.dust->view(capacity, start, count);
    std::vector<float> values;
    for (int i = 0; i < count; ++i) {
        const DustParticle& m = motes[(start + i) % capacity];
        const float mote[10] = {m.position.x, m.position.y, m.position.z, m.velocity.x,
                                m.velocity.y, m.velocity.z, m.birthTime,  m.shape.x,
                                m.shape.y,    m.shape.z};
        values.insert(values.end(), mote, mote + 10);
    }
    const DustRandom::State random = DustRandom::shared().state();
    values.push_back(static_cast<float>(count));
    values.push_back(app.throttleRamp.value());
    return hashOf(app) ^ (bytesHash(values.data(), values.size() * sizeof(float)) * 31) ^
           bytesHash(&random, sizeof(random));
}

void drive(TruckApp& app, int from, int to) {
    for (int frame = from; frame < to; ++frame) {
        if (frame == 10) {
            app.key(357, true);
        }
        if (frame == 200) {
            app.key(358, true);
        }
        if (frame == 330) {
            app.key(358, false);
            app.key(32, true);
        }
        app.advance(static_cast<float>(frame / 60.0));
    }
}

} // namespace

TEST(History, MomentPutBackRunsTheSameFramesToTheSameBits) {
    auto app = loadedApp(0.0);
    drive(*app, 1, 300);
    std::vector<unsigned char> moment(AppMoment::capacity(*app));
    const size_t bytes = AppMoment::save(*app, moment.data(), moment.size());
    ASSERT_GT(bytes, 0u);
    drive(*app, 300, 420);
    int capacity = 0, start = 0, count = 0;
    app->dust->view(capacity, start, count);
    ASSERT_GT(count, 0) << "the drive kicks up dust";
    const uint64_t straight = everythingOf(*app);

    ASSERT_TRUE(AppMoment::restore(*app, moment.data(), bytes));
    drive(*app, 300, 420);
    EXPECT_EQ(everythingOf(*app), straight);

    // Cut, or saved over another model: refused, and nothing changes.
    EXPECT_FALSE(AppMoment::restore(*app, moment.data(), bytes - 1));
    std::vector<unsigned char> foreign(moment.begin(), moment.begin() + bytes);
    foreign[0] ^= 1;
    EXPECT_FALSE(AppMoment::restore(*app, foreign.data(), bytes));
    EXPECT_EQ(everythingOf(*app), straight);
}

// Four trucks: the moment holds every truck and which one is driven. Put
// back, the same frames (keys on truck 0, then on truck 2 after a switch)
// give the same bits; a moment of four trucks does not go into one, nor one
// truck's into four.
TEST(History, MomentOfSeveralTrucksHoldsEveryTruck) {
    std::unique_ptr<TruckApp> app(new TruckApp());
    app->historySeconds = 0.0;
    app->setAssetDirectory(DRAVONEL_ASSET_DIR);
    app->setTruckCount(4);
    app->setThreads(2);
    ASSERT_TRUE(app->initSimulation()) << app->failureReason();
    auto several = [&](int from, int to) {
        for (int frame = from; frame < to; ++frame) {
            if (frame == 10) {
                app->key(357, true);
            }
            if (frame == 320) {
                app->selectTruck(2);
                app->key(359, true);
                app->key(356, true);
            }
            app->advance(static_cast<float>(frame / 60.0));
        }
    };
    several(1, 300);
    std::vector<unsigned char> moment(AppMoment::capacity(*app));
    const size_t bytes = AppMoment::save(*app, moment.data(), moment.size());
    ASSERT_GT(bytes, 0u);
    several(300, 420);
    const uint64_t straight = app->positionsHash();
    ASSERT_TRUE(AppMoment::restore(*app, moment.data(), bytes));
    EXPECT_EQ(app->selectedTruck(), 0);
    several(300, 420);
    EXPECT_EQ(app->positionsHash(), straight);
    EXPECT_EQ(app->selectedTruck(), 2);

    auto one = loadedApp(0.0);
    EXPECT_FALSE(AppMoment::restore(*one, moment.data(), bytes));
    std::vector<unsigned char> single(AppMoment::capacity(*one));
    const size_t singleBytes = AppMoment::save(*one, single.data(), single.size());
    EXPECT_FALSE(AppMoment::restore(*app, single.data(), singleBytes));
    EXPECT_EQ(app->positionsHash(), straight);
}

TEST(History, ReplaySoughtBackAndOnPlaysToTheSameEnd) {
    auto stamps = loadedApp(0.0);
    TempFolder folder;
    const std::string path = folder.file("drive.txt");
    RecordingWriter writer;
    ASSERT_TRUE(writer.open(path.c_str(), stamps->modelHash, stamps->groundHash));
    for (int frame = 1; frame <= 1800; ++frame) {
        if (frame == 5 || frame == 1200) {
            writer.key(357, frame == 5);
        }
        if (frame == 400 || frame == 520) {
            writer.key(356, frame == 400);
        }
        if (frame == 900) {
            writer.input(InputEvent::makeRewind(2.2f));
        }
        writer.frame(static_cast<float>(frame / 60.0));
    }
    ASSERT_TRUE(writer.close());

    // Each frame's hash as the plain replay passes it.
    Recording plain;
    ASSERT_TRUE(plain.load(path.c_str())) << plain.failureReason();
    auto reference = loadedApp();
    std::vector<uint64_t> hashes(1, hashOf(*reference));
    float time = 0.0f;
    while (plain.nextFrame(reference.get(), &time)) {
        reference->advance(time);
        hashes.push_back(hashOf(*reference));
    }

    Recording recording;
    ASSERT_TRUE(recording.load(path.c_str()));
    auto app = loadedApp();
    ReplayControl control;
    control.attach(app.get(), &recording);
    // Seeks back (before and after the rewind), on, to the start and the
    // end, each landing on the frame the plain replay had there.
    for (double to : {20.0, 16.1, 14.9, 3.3, 8.3, 0.0, 30.0, 25.0, 15.1}) {
        SCOPED_TRACE(to);
        control.seek(to, 0.0);
        // The last frame whose recorded (32-bit) time is at or before it.
        long frame = 0;
        while (frame < 1800 && static_cast<float>((frame + 1) / 60.0) <= to) {
            ++frame;
        }
        EXPECT_EQ(hashOf(*app), hashes[frame]);
        EXPECT_EQ(control.lastPlayedTime(), frame > 0 ? static_cast<float>(frame / 60.0) : 0.0f);
    }
    // And played on from there, it ends where the plain replay ended.
    while (recording.nextFrame(app.get(), &time)) {
        app->advance(time);
    }
    EXPECT_EQ(hashOf(*app), hashes.back());
}

TEST(History, HeldBackspaceGoesBackTwiceAsFastAndPausesOnRelease) {
    auto app = loadedApp();
    drive(*app, 1, 600);
    const float before = app->clockTime;
    app->key(8, true);
    EXPECT_TRUE(app->rewindControl.held());
    for (int frame = 600; frame < 660; ++frame) {
        app->advance(static_cast<float>(frame / 60.0));
    }
    // A second of frames, two seconds back; the overlay says so.
    EXPECT_NEAR(before - app->clockTime, 2.0, 0.02);
    EXPECT_STREQ(app->rewindControl.text(), "rewind \xe2\x88\x92"
                                            "2.0 s");
    app->hud.format(*app, 11.0f);
    EXPECT_STREQ(app->hud.line(1), "rewind \xe2\x88\x92"
                                   "2.0 s");
    app->key(8, false);
    const float landed = app->clockTime;
    for (int frame = 660; frame < 700; ++frame) {
        app->advance(static_cast<float>(frame / 60.0));
    }
    EXPECT_TRUE(app->timeControl.paused());
    EXPECT_EQ(app->clockTime, landed);
    // A driving key goes on from there.
    app->key(359, true);
    for (int frame = 700; frame < 760; ++frame) {
        app->advance(static_cast<float>(frame / 60.0));
    }
    EXPECT_FALSE(app->timeControl.paused());
    EXPECT_NEAR(app->clockTime - landed, 1.0, 0.02);

    // A driver that takes each landing's offset into its own clock in whole
    // frames, as the simulator does, goes back as far.
    auto sim = loadedApp();
    drive(*sim, 1, 600);
    sim->key(8, true);
    long behind = 0;
    for (int frame = 600; frame < 660; ++frame) {
        sim->advance(static_cast<float>((frame - behind) / 60.0));
        behind += std::lround(sim->timelineOffset * 60.0);
        sim->timelineOffset = 0.0;
    }
    EXPECT_NEAR(before - sim->clockTime, 2.0, 0.02);
}
