// SPDX-License-Identifier: LGPL-2.1-or-later
#include "gst/media_graph.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "camera/camera_link.h"
#include "camera/device_discovery.h"
#include "device/frame_channel.h"
#include "device/installed_devices.h"
#include "platform/device_tree.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/device/test_camera.h"
#include "tests/gst/media_files.h"
#include "tests/gst/slow_source.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

// The caller's thread: tasks posted from streaming threads run here when the test pumps them.
class TaskQueue {
public:
    Post post() {
        return [this](std::function<void()> task) {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
            ready_.notify_all();
        };
    }
    // Runs tasks until `done` holds or the time is up.
    bool pumpUntil(const std::function<bool()> &done, int seconds = 15) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done()) {
            std::unique_lock lock(mutex_);
            if (!ready_.wait_until(lock, deadline, [&] { return !tasks_.empty(); }))
                return done();
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
        }
        return true;
    }

private:
    std::mutex mutex_;  // guards tasks_
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
};

struct GraphFixture : ::testing::Test {
    test::TempRoot root;
    TaskQueue queue;
    std::vector<GraphEvent> events;

    static void SetUpTestSuite() {
        ASSERT_TRUE(initMediaGraphs());
        ASSERT_TRUE(test::registerSlowSource());
    }

    std::unique_ptr<FrameChannel> install(const char *number, const char *name, ChannelFormat f) {
        DeviceInstance d{"MEDIA", number};
        EXPECT_TRUE(test::installCamera(d, name, f).succeeded());
        std::unique_ptr<FrameChannel> c;
        EXPECT_TRUE(FrameChannel::open(frameChannelPath(d), c).succeeded());
        return c;
    }

    std::string make(const std::string &name, const std::string &pipeline) {
        const std::string path = (root.path() / name).string();
        test::writeMediaFile(path, pipeline);
        return path;
    }

    std::string clip() {
        return make("clip.avi",
                    "videotestsrc num-buffers=10 ! video/x-raw,width=160,height=120,"
                    "framerate=30/1 ! jpegenc ! avimux");
    }

    /// Polls `done` while pumping, for `seconds`.
    bool pollUntil(const std::function<bool()> &done, int seconds = 10) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            queue.pumpUntil([] { return false; }, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return done();
    }

    bool saw(GraphEvent::Type type) const {
        for (const auto &e : events)
            if (e.type == type)
                return true;
        return false;
    }
};

// A movie plays into the camera and starts again at its end, for ever.
TEST_F(GraphFixture, MovieLoopsIntoTheCamera) {
    auto camera = install("0000", "Lumaghost", {320, 240, 30});
    std::unique_ptr<MovieGraph> movie;
    ASSERT_EQ(MovieGraph::create(clip(), {}, queue.post(), movie), S_OK);
    movie->setEventHandler([&](const GraphEvent &e) { events.push_back(e); });
    ASSERT_EQ(movie->run(), S_OK);
    ASSERT_TRUE(queue.pumpUntil([&] { return movie->loops() >= 2; }));
    EXPECT_FALSE(saw(GraphEvent::Error));
    EXPECT_FALSE(saw(GraphEvent::RenderFailure));
    EXPECT_GT(camera->commitSequence(), 20u);  // more than the clip's ten frames
    movie.reset();
    // Nothing posted after the graph went away runs against it.
    queue.pumpUntil([] { return false; }, 1);
}

TEST_F(GraphFixture, PositionDurationAndSeek) {
    auto camera = install("0000", "Lumaghost", {320, 240, 30});
    std::unique_ptr<MovieGraph> movie;
    ASSERT_EQ(MovieGraph::create(clip(), {}, queue.post(), movie), S_OK);
    ASSERT_EQ(movie->pause(), S_OK);
    ASSERT_EQ(gst_element_get_state(movie->pipeline(), nullptr, nullptr, 10 * GST_SECOND),
              GST_STATE_CHANGE_SUCCESS);
    int64_t duration = 0, position = -1;
    ASSERT_EQ(movie->duration(duration), S_OK);
    EXPECT_NEAR(double(duration), 10 * 10'000'000.0 / 30, 10'000.0);  // 100 ns units
    ASSERT_EQ(movie->seek(duration / 2), S_OK);
    gst_element_get_state(movie->pipeline(), nullptr, nullptr, 10 * GST_SECOND);
    ASSERT_EQ(movie->position(position), S_OK);
    EXPECT_NEAR(double(position), double(duration / 2), 400'000.0);
    EXPECT_EQ(movie->seek(-1), E_INVALIDARG);
}

// -10000 ... 0 hundredths of a decibel map onto the linear volume.
TEST_F(GraphFixture, VolumeAndMute) {
    EXPECT_DOUBLE_EQ(MovieGraph::volumeToLinear(0), 1.0);
    EXPECT_NEAR(MovieGraph::volumeToLinear(-2000), 0.1, 1e-12);
    EXPECT_NEAR(MovieGraph::volumeToLinear(-600), 0.501, 0.001);
    EXPECT_EQ(MovieGraph::volumeToLinear(-10000), 0.0);
    for (long v : {0L, -1L, -600L, -2000L, -9999L, -10000L})
        EXPECT_EQ(MovieGraph::linearToVolume(MovieGraph::volumeToLinear(v)), v);

    auto camera = install("0000", "Lumaghost", {320, 240, 30});
    std::unique_ptr<MovieGraph> movie;
    ASSERT_EQ(MovieGraph::create(clip(), {}, queue.post(), movie), S_OK);
    ASSERT_EQ(movie->setVolume(-2000), S_OK);
    EXPECT_EQ(movie->volume(), -2000);
    EXPECT_EQ(movie->setVolume(1), E_INVALIDARG);
    EXPECT_EQ(movie->setVolume(-10001), E_INVALIDARG);
    ASSERT_EQ(movie->setMute(true), S_OK);
    EXPECT_TRUE(movie->muted());
}

// Sound without video, and data no decoder takes, are render failures naming the elements.
TEST_F(GraphFixture, MoviesThatCannotBeRenderedAreReported) {
    auto camera = install("0000", "Lumaghost", {320, 240, 30});
    const std::string sound = make("sound.wav", "audiotestsrc num-buffers=20 ! wavenc");
    test::writeFile(root.path() / "noise.avi", std::string(4096, '\x42'));
    for (const std::string &file : {sound, (root.path() / "noise.avi").string()}) {
        events.clear();
        std::unique_ptr<MovieGraph> movie;
        ASSERT_EQ(MovieGraph::create(file, {}, queue.post(), movie), S_OK);
        movie->setEventHandler([&](const GraphEvent &e) { events.push_back(e); });
        (void)movie->run();  // may fail at once for data no element takes
        ASSERT_TRUE(queue.pumpUntil([&] { return saw(GraphEvent::RenderFailure); })) << file;
        for (const auto &e : events) {
            if (e.type == GraphEvent::RenderFailure) {
                EXPECT_FALSE(e.elements.empty()) << file;
            }
        }
    }
    EXPECT_EQ(camera->commitSequence(), 0u);
}

// GStreamer's elements stand in for the legacy filter category.
TEST_F(GraphFixture, ElementsAreFoundByLongName) {
    std::unique_ptr<BaseFilter> filter;
    ASSERT_EQ(findFilterByName(CLSID_LegacyAmFilterCategory, "Lumaghost renderer", filter,
                               createMediaDeviceEnumerator),
              S_OK);
    EXPECT_EQ(filter->kind(), FilterKind::Element);
    EXPECT_EQ(filter->location(), "lumarenderer");
    EXPECT_TRUE(findFilterByName(CLSID_LegacyAmFilterCategory, "lumaghost renderer", filter,
                                 createMediaDeviceEnumerator)
                    .failed());
    // The system's own enumerator has no legacy filters: nothing fills them in behind it.
    EXPECT_EQ(findFilterByName(CLSID_LegacyAmFilterCategory, "Lumaghost renderer", filter),
              VFW_E_NOT_FOUND);
}

// One Lumaghost camera passed through into another, and a preview of it.
TEST_F(GraphFixture, CameraPassthroughAndPreview) {
    auto target = install("0000", "Lumaghost", {64, 48, 30});
    auto real = install("0001", "Real Cam", {64, 48, 30});
    std::unique_ptr<CameraGraph> passthrough;
    ASSERT_EQ(CameraGraph::create("Real Cam", true, {}, queue.post(), passthrough), S_OK);
    std::mutex m;
    int previews = 0;
    uint8_t topLeft = 0;
    std::unique_ptr<PreviewGraph> preview;
    ASSERT_EQ(PreviewGraph::create(
                  "Lumaghost",
                  [&](const uint8_t *p, int w, int h, int stride) {
                      std::lock_guard lock(m);
                      EXPECT_EQ(w, 64);
                      EXPECT_EQ(h, 48);
                      EXPECT_GE(stride, 64 * 3);
                      topLeft = p[0];
                      ++previews;
                  },
                  queue.post(), preview),
              S_OK);
    ASSERT_EQ(passthrough->run(), S_OK);
    ASSERT_EQ(preview->run(), S_OK);

    CameraLink link;
    ASSERT_EQ(openCameraLink(link, "Real Cam"), S_OK);
    FrameDescriptor d;
    ASSERT_EQ(getFrameDescriptor(link, d), S_OK);
    std::memset(d.buffer(), 0, d.byteCount);
    std::memset(d.buffer() + (47 * 64) * 3, 200, 64 * 3);  // the top row
    ASSERT_EQ(commitFrame(link, d), S_OK);

    auto shown = [&] {
        std::lock_guard lock(m);
        return previews > 0 && topLeft == 200;
    };
    ASSERT_TRUE(queue.pumpUntil(shown, 10));
    std::vector<uint8_t> frame;
    ASSERT_TRUE(target->readLatest(frame));
    EXPECT_EQ(frame[47 * 64 * 3], 200);
    EXPECT_EQ(frame[0], 0);
}

// A start runs on a worker: the call returns before the graph has settled, and the outcome
// comes through the caller's queue once the slow file has prerolled.
TEST_F(GraphFixture, MovieStartsOffTheCallersThread) {
    auto camera = install("0000", "Lumaghost", {320, 240, 30});
    test::setSlowFileTimes({200, 600});
    std::unique_ptr<MovieGraph> movie;
    ASSERT_EQ(MovieGraph::create(test::slowFileUri(clip()), {}, queue.post(), movie), S_OK);
    std::vector<GstStateChangeReturn> outcomes;
    movie->startAsync(GST_STATE_PAUSED, 10000,
                      [&](GstStateChangeReturn change) { outcomes.push_back(change); });
    EXPECT_TRUE(movie->starting());
    EXPECT_TRUE(outcomes.empty());  // it comes through the queue only
    ASSERT_TRUE(queue.pumpUntil([&] { return !outcomes.empty(); }));
    EXPECT_EQ(outcomes, std::vector<GstStateChangeReturn>({GST_STATE_CHANGE_SUCCESS}));
    EXPECT_FALSE(movie->starting());
    EXPECT_EQ(movie->state(), GST_STATE_PAUSED);
    ASSERT_EQ(movie->run(), S_OK);
    ASSERT_TRUE(pollUntil([&] { return camera->commitSequence() > 2; }));
}

// A start that does not settle in time says so; a graph whose start fails says FAILURE.
TEST_F(GraphFixture, StartOutcomesOfTimeoutAndFailure) {
    auto camera = install("0000", "Lumaghost", {320, 240, 30});
    test::setSlowFileTimes({0, 3000});
    std::unique_ptr<MovieGraph> slow;
    ASSERT_EQ(MovieGraph::create(test::slowFileUri(clip()), {}, queue.post(), slow), S_OK);
    std::vector<GstStateChangeReturn> outcomes;
    slow->startAsync(GST_STATE_PAUSED, 100,
                     [&](GstStateChangeReturn change) { outcomes.push_back(change); });
    ASSERT_TRUE(queue.pumpUntil([&] { return !outcomes.empty(); }));
    EXPECT_EQ(outcomes, std::vector<GstStateChangeReturn>({GST_STATE_CHANGE_ASYNC}));

    std::unique_ptr<CameraGraph> missing;
    ASSERT_EQ(CameraGraph::create("/nonexistent/video7", false, {}, queue.post(), missing), S_OK);
    outcomes.clear();
    missing->startAsync(GST_STATE_PLAYING, 5000,
                        [&](GstStateChangeReturn change) { outcomes.push_back(change); });
    ASSERT_TRUE(queue.pumpUntil([&] { return !outcomes.empty(); }));
    EXPECT_EQ(outcomes, std::vector<GstStateChangeReturn>({GST_STATE_CHANGE_FAILURE}));
}

// A graph that goes while its start is under way tells nothing afterwards, and stops on a
// thread of its own: nothing it would have shown reaches the camera.
TEST_F(GraphFixture, GraphGoingDuringItsStartStopsAndTellsNothing) {
    auto camera = install("0000", "Lumaghost", {320, 240, 30});
    const std::string movieFile = clip();
    // Whatever the new camera shows of its own has come: nothing changes for half a second.
    for (uint64_t seen = ~uint64_t{0}; seen != camera->commitSequence();) {
        seen = camera->commitSequence();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    for (test::SlowTimes times : {test::SlowTimes{0, 1500}, test::SlowTimes{800, 0}}) {
        test::setSlowFileTimes(times);
        std::unique_ptr<MovieGraph> movie;
        ASSERT_EQ(MovieGraph::create(test::slowFileUri(movieFile), {}, queue.post(), movie), S_OK);
        bool told = false;
        movie->setEventHandler([&](const GraphEvent &) { told = true; });
        movie->startAsync(GST_STATE_PAUSED, 10000, [&](GstStateChangeReturn) { told = true; });
        const uint64_t before = camera->commitSequence();
        movie.reset();
        EXPECT_TRUE(MediaGraph::awaitRetiredGraphs(10000));
        queue.pumpUntil([] { return false; }, 1);
        EXPECT_FALSE(told) << times.openMs;
        EXPECT_EQ(camera->commitSequence(), before) << times.openMs;
    }
}

// A camera that is slow to open and to send its first frame starts off the caller's thread
// and then passes through.
TEST_F(GraphFixture, SlowCameraStartsOffTheCallersThread) {
    auto camera = install("0000", "Lumaghost", {64, 48, 30});
    std::unique_ptr<CameraGraph> graph;
    ASSERT_EQ(CameraGraph::create(test::makeSlowCamera({300, 300}), {}, queue.post(), graph), S_OK);
    std::vector<GstStateChangeReturn> outcomes;
    graph->startAsync(GST_STATE_PLAYING, 10000,
                      [&](GstStateChangeReturn change) { outcomes.push_back(change); });
    EXPECT_TRUE(outcomes.empty());
    ASSERT_TRUE(queue.pumpUntil([&] { return !outcomes.empty(); }));
    EXPECT_EQ(outcomes, std::vector<GstStateChangeReturn>({GST_STATE_CHANGE_SUCCESS}));
    EXPECT_EQ(graph->state(), GST_STATE_PLAYING);
    ASSERT_TRUE(pollUntil([&] { return camera->commitSequence() > 2; }));
}

}  // namespace
}  // namespace lumaghost
