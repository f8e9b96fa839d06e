// SPDX-License-Identifier: LGPL-2.1-or-later
// The elements in real pipelines, against a test camera device in a private root.
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

#include "camera/camera_link.h"
#include "device/frame_channel.h"
#include "device/installed_devices.h"
#include "frames/planar_scaler.h"
#include "frames/renderer_core.h"
#include "gst/elements.h"
#include "platform/device_tree.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "tests/device/test_camera.h"
#include "tests/test_support.h"

namespace lumaghost {
namespace {

struct GstFixture : ::testing::Test {
    test::TempRoot root;
    DeviceInstance device{"MEDIA", "0000"};
    std::unique_ptr<FrameChannel> channel;

    static void SetUpTestSuite() {
        gst_init(nullptr, nullptr);
        ASSERT_TRUE(registerGstElements());
    }

    void install(ChannelFormat format) {
        ASSERT_TRUE(test::installCamera(device, "Lumaghost", format).succeeded());
        ASSERT_TRUE(FrameChannel::open(frameChannelPath(device), channel).succeeded());
    }

    // A top-down frame of the format with every pixel naming its place.
    static GstBuffer *pattern(const GstVideoInfo &info, uint8_t salt) {
        GstBuffer *buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
        GstVideoFrame f;
        gst_video_frame_map(&f, &info, buffer, GST_MAP_WRITE);
        const int bpp = GST_VIDEO_INFO_COMP_PSTRIDE(&info, 0);
        for (int y = 0; y < GST_VIDEO_INFO_HEIGHT(&info); ++y) {
            auto *row = static_cast<uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(&f, 0)) +
                        y * GST_VIDEO_FRAME_PLANE_STRIDE(&f, 0);
            for (int x = 0; x < GST_VIDEO_INFO_WIDTH(&info); ++x) {
                row[x * bpp + 0] = uint8_t(x + salt);
                row[x * bpp + 1] = uint8_t(y);
                row[x * bpp + 2] = uint8_t(x ^ y);
                if (bpp == 4)
                    row[x * bpp + 3] = 0xFF;
            }
        }
        gst_video_frame_unmap(&f);
        return buffer;
    }

    // What the camera frame must hold for that input.
    static std::vector<uint8_t> expected(GstBuffer *buffer, const GstVideoInfo &info,
                                         FitFlags flags, std::vector<uint8_t> frame, int camW,
                                         int camH) {
        GstVideoFrame f;
        gst_video_frame_map(&f, &info, buffer, GST_MAP_READ);
        InputFrame in{GST_VIDEO_INFO_WIDTH(&info), GST_VIDEO_INFO_HEIGHT(&info),
                      GST_VIDEO_INFO_COMP_PSTRIDE(&info, 0),
                      static_cast<const uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(&f, 0)),
                      GST_VIDEO_FRAME_PLANE_STRIDE(&f, 0)};
        RendererCore core;
        EXPECT_EQ(core.compose(in, flags, frame.data(), camW, camH, frame.size()), S_OK);
        gst_video_frame_unmap(&f);
        return frame;
    }

    // Runs appsrc ! lumarenderer over the buffers; returns the bus's first error, if any.
    static std::string play(const std::string &caps, const std::string &sinkProps,
                            std::vector<GstBuffer *> buffers, std::function<void(int)> between = {},
                            const std::string &filters = "") {
        std::string description = "appsrc name=src format=time caps=\"" + caps + "\" ! " + filters +
                                  " lumarenderer name=sink sync=false " + sinkProps;
        GError *error = nullptr;
        GstElement *pipeline = gst_parse_launch(description.c_str(), &error);
        EXPECT_EQ(error, nullptr);
        GstElement *src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        for (size_t i = 0; i < buffers.size(); ++i) {
            GST_BUFFER_PTS(buffers[i]) = i * GST_SECOND / 30;
            gst_app_src_push_buffer(GST_APP_SRC(src), buffers[i]);
            if (between) {
                // Let the sink take this buffer before the next step.
                GstBus *bus = gst_element_get_bus(pipeline);
                gst_element_get_state(pipeline, nullptr, nullptr, 5 * GST_SECOND);
                g_usleep(100000);
                gst_object_unref(bus);
                between(int(i));
            }
        }
        gst_app_src_end_of_stream(GST_APP_SRC(src));
        GstBus *bus = gst_element_get_bus(pipeline);
        GstMessage *msg = gst_bus_timed_pop_filtered(
            bus, 10 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        std::string result = msg == nullptr ? "timeout" : "";
        if (msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR) {
            GError *e = nullptr;
            gst_message_parse_error(msg, &e, nullptr);
            result = e->message;
            g_error_free(e);
        }
        if (msg)
            gst_message_unref(msg);
        gst_object_unref(bus);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(src);
        gst_object_unref(pipeline);
        return result;
    }
};

/// Whether the sink's pad accepts each format at 320x240, 30 fps, as expected.
void expectAccepted(GstElement *sink,
                    std::initializer_list<std::pair<const char *, bool>> formats) {
    GstPad *pad = gst_element_get_static_pad(sink, "sink");
    for (auto [format, ok] : formats) {
        GstCaps *caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, format, "width",
                                            G_TYPE_INT, 320, "height", G_TYPE_INT, 240, "framerate",
                                            GST_TYPE_FRACTION, 30, 1, nullptr);
        EXPECT_EQ(bool(gst_pad_query_accept_caps(pad, caps)), ok) << format;
        gst_caps_unref(caps);
    }
    gst_object_unref(pad);
}

// Only BGRx and BGR are accepted at negotiation.
TEST_F(GstFixture, OnlyRgb32AndRgb24AreAccepted) {
    GstElement *sink = gst_element_factory_make("lumarenderer", nullptr);
    ASSERT_NE(sink, nullptr);
    expectAccepted(sink, {{"BGRx", true},
                          {"BGR", true},
                          {"RGB15", false},
                          {"RGB8P", false},
                          {"RGB16", false},
                          {"RGBx", false},
                          {"I420", false}});
    gst_object_unref(sink);

    // Pushed anyway, a refused format stops the stream with an error.
    install({320, 240, 30});
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_RGB15, 320, 240);
    GstBuffer *buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
    EXPECT_NE(play("video/x-raw,format=RGB15,width=320,height=240,framerate=30/1", "", {buffer}),
              "");
    EXPECT_EQ(channel->commitSequence(), 0u);
}

// With planar=true, I420 and NV12 are taken too where the scaler's vector path runs (else
// videoconvert converts them to RGB before the sink, as without it); nothing else is.
TEST_F(GstFixture, PlanarTakesI420AndNv12) {
    const bool vector = planarPathAvailable(PlanarPath::Avx512);
    GstElement *sink = gst_element_factory_make("lumarenderer", nullptr);
    ASSERT_NE(sink, nullptr);
    g_object_set(sink, "planar", TRUE, nullptr);
    expectAccepted(sink, {{"BGRx", true},
                          {"BGR", true},
                          {"I420", vector},
                          {"NV12", vector},
                          {"YV12", false},
                          {"YUY2", false}});
    gst_object_unref(sink);
}

// A planar frame scaled in the sink is the renderer's scaling of its planes, with its strides,
// by its caps' matrix (checked against the matrices' own Kr and Kb); and it shows what
// GStreamer's conversion to BGRx before the sink shows, within the rounding of videoconvert's
// fast path, whose matrix has 8-bit precision (up to 6 levels off in strong colours; the
// scaler's own conversion is within a level of the matrices' definition, see the frames tests).
TEST_F(GstFixture, PlanarFramesShowWhatTheirConversionShows) {
    install({320, 240, 30});
    const bool vector = planarPathAvailable(PlanarPath::Avx512);
    struct Matrix {
        const char *colorimetry;
        YuvColours colours;
    };
    for (const char *format : {"I420", "NV12"}) {
        for (const Matrix &m :
             {Matrix{"bt709", {0.2126, 0.0722, false}}, Matrix{"bt601", {0.299, 0.114, false}}}) {
            GstVideoInfo info;
            const std::string caps =
                std::string("video/x-raw,format=") + format +
                ",width=640,height=360,framerate=30/1,colorimetry=" + m.colorimetry;
            GstCaps *parsed = gst_caps_from_string(caps.c_str());
            ASSERT_TRUE(gst_video_info_from_caps(&info, parsed));
            gst_caps_unref(parsed);
            const bool nv12 = GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_NV12;
            // Smooth ramps of luma and of both chroma differences.
            GstBuffer *buffer =
                gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&info), nullptr);
            GstVideoFrame f;
            gst_video_frame_map(&f, &info, buffer, GST_MAP_WRITE);
            auto plane = [&](int i) {
                return static_cast<uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(&f, i));
            };
            auto stride = [&](int i) { return GST_VIDEO_FRAME_PLANE_STRIDE(&f, i); };
            for (int y = 0; y < 360; ++y)
                for (int x = 0; x < 640; ++x)
                    plane(0)[y * stride(0) + x] = uint8_t(40 + x / 4);
            for (int y = 0; y < 180; ++y)
                for (int x = 0; x < 320; ++x) {
                    const auto u = uint8_t(64 + x * 2 / 5), v = uint8_t(192 - y * 2 / 3);
                    if (nv12) {
                        plane(1)[y * stride(1) + 2 * x] = u;
                        plane(1)[y * stride(1) + 2 * x + 1] = v;
                    } else {
                        plane(1)[y * stride(1) + x] = u;
                        plane(2)[y * stride(2) + x] = v;
                    }
                }
            PlanarFrame planar;
            planar.layout = nv12 ? PlanarLayout::Nv12 : PlanarLayout::I420;
            planar.width = 640;
            planar.height = 360;
            for (int i = 0; i < (nv12 ? 2 : 3); ++i) {
                planar.planes[i] = plane(i);
                planar.strides[i] = stride(i);
            }
            planar.colours = m.colours;
            // The bands the letterbox leaves are never written: the slots' zeros.
            std::vector<uint8_t> expected(320 * 240 * 3, 0);
            RendererCore core;
            InputFrame in{640, 360, 0, nullptr, 0, &planar};
            ASSERT_EQ(core.compose(in, kFitLetterbox, expected.data(), 320, 240, expected.size()),
                      S_OK);
            gst_video_frame_unmap(&f);

            gst_buffer_ref(buffer);
            if (!vector) {
                // Refused at negotiation: the graphs convert such frames to RGB first.
                EXPECT_NE(play(caps, "planar=true", {buffer}), "");
                gst_buffer_unref(buffer);
                continue;
            }
            ASSERT_EQ(play(caps, "planar=true", {buffer}), "");
            std::vector<uint8_t> ours, theirs;
            ASSERT_TRUE(channel->readLatest(ours));
            EXPECT_EQ(ours, expected) << format << " " << m.colorimetry;
            ASSERT_EQ(play(caps, "", {buffer}, {}, "videoconvert ! video/x-raw,format=BGRx !"), "");
            ASSERT_TRUE(channel->readLatest(theirs));
            ASSERT_EQ(ours.size(), theirs.size());
            int most = 0;
            double total = 0;
            for (size_t i = 0; i < ours.size(); ++i) {
                const int d = std::abs(int(ours[i]) - int(theirs[i]));
                most = std::max(most, d);
                total += d;
            }
            EXPECT_LE(most, 6) << format << " " << m.colorimetry;
            EXPECT_LE(total / double(ours.size()), 2.0) << format << " " << m.colorimetry;
        }
    }
}

// An odd-width 24-bit frame goes through the pipeline with its padded stride, upright.
TEST_F(GstFixture, OddWidthRgb24ReachesTheCamera) {
    install({320, 240, 30});
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_BGR, 161, 121);
    for (FitFlags f : {FitFlags{0, 0, 0}, FitFlags{1, 1, 0}, FitFlags{1, 1, 1}}) {
        GstBuffer *buffer = pattern(info, 3);
        gst_buffer_ref(buffer);
        const std::string props = std::string("stretch=") + (f.stretch ? "true" : "false") +
                                  " keep-ratio=" + (f.keepRatio ? "true" : "false") +
                                  " center=" + (f.center ? "true" : "false");
        ASSERT_EQ(
            play("video/x-raw,format=BGR,width=161,height=121,framerate=30/1", props, {buffer}),
            "");
        std::vector<uint8_t> frame;
        ASSERT_TRUE(channel->readLatest(frame));
        // The slot written keeps what it held where the video does not reach, so compare only
        // the bytes the video covers: those that do not depend on what the frame held.
        auto want = expected(buffer, info, f, std::vector<uint8_t>(frame.size(), 0x00), 320, 240);
        auto other = expected(buffer, info, f, std::vector<uint8_t>(frame.size(), 0xFF), 320, 240);
        size_t covered = 0;
        for (size_t i = 0; i < frame.size(); ++i) {
            if (want[i] != other[i])
                continue;
            ++covered;
            ASSERT_EQ(frame[i], want[i]) << i;
        }
        EXPECT_GE(covered, size_t(161 * 121 * 3));
        gst_buffer_unref(buffer);
    }
}

// The same-size RGB32 frame lands upright: the camera's first row is the frame's last.
TEST_F(GstFixture, SameSizeFrameIsUpright) {
    install({64, 48, 30});
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_BGRx, 64, 48);
    ASSERT_EQ(
        play("video/x-raw,format=BGRx,width=64,height=48,framerate=30/1", "", {pattern(info, 0)}),
        "");
    std::vector<uint8_t> frame;
    ASSERT_TRUE(channel->readLatest(frame));
    for (int row = 0; row < 48; ++row)
        for (int x = 0; x < 64; ++x) {
            const uint8_t *p = &frame[(size_t(row) * 64 + x) * 3];
            ASSERT_EQ(p[0], uint8_t(x));
            ASSERT_EQ(p[1], uint8_t(47 - row));
        }
}

// A camera that grows while playing is followed; the work buffers grow with it.
TEST_F(GstFixture, CameraGrowingWhilePlayingIsFollowed) {
    install({160, 120, 30});
    GstVideoInfo info;
    gst_video_info_set_format(&info, GST_VIDEO_FORMAT_BGRx, 640, 480);
    const std::string caps = "video/x-raw,format=BGRx,width=640,height=480,framerate=30/1";
    std::string error = play(caps, "", {pattern(info, 1), pattern(info, 2)}, [&](int i) {
        if (i == 0) {
            ASSERT_TRUE(FrameChannel::create(frameChannelPath(device), {800, 600, 30}).succeeded());
        }
    });
    ASSERT_EQ(error, "");
    std::unique_ptr<FrameChannel> grown;
    ASSERT_TRUE(FrameChannel::open(frameChannelPath(device), grown).succeeded());
    std::vector<uint8_t> frame;
    ASSERT_TRUE(grown->readLatest(frame));
    GstBuffer *second = pattern(info, 2);
    EXPECT_EQ(frame,
              expected(second, info, {1, 1, 0}, std::vector<uint8_t>(frame.size(), 0), 800, 600));
    gst_buffer_unref(second);
}

// Without a camera the sink fails with an element error, not a crash.
TEST_F(GstFixture, MissingCameraIsAnElementError) {
    std::string error =
        play("video/x-raw,format=BGRx,width=64,height=48,framerate=30/1", "device=Nobody", {});
    EXPECT_NE(error.find("Nobody"), std::string::npos) << error;
}

// lumaghostsrc delivers black before the first commit, then the committed frame, upright.
TEST_F(GstFixture, SourceDeliversCommittedFramesUpright) {
    install({32, 24, 30});
    GError *error = nullptr;
    GstElement *pipeline =
        gst_parse_launch("lumaghostsrc device=Lumaghost ! appsink name=out sync=false", &error);
    ASSERT_EQ(error, nullptr);
    GstElement *out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);

    auto pull = [&]() {
        GstSample *sample = gst_app_sink_try_pull_sample(GST_APP_SINK(out), 5 * GST_SECOND);
        EXPECT_NE(sample, nullptr);
        std::vector<uint8_t> bytes;
        if (!sample)
            return bytes;
        GstVideoInfo info;
        gst_video_info_from_caps(&info, gst_sample_get_caps(sample));
        EXPECT_EQ(GST_VIDEO_INFO_FORMAT(&info), GST_VIDEO_FORMAT_BGR);
        EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), 32);
        EXPECT_EQ(GST_VIDEO_INFO_FPS_N(&info), 30);
        GstMapInfo map;
        GstBuffer *b = gst_sample_get_buffer(sample);
        gst_buffer_map(b, &map, GST_MAP_READ);
        bytes.assign(map.data, map.data + map.size);
        gst_buffer_unmap(b, &map);
        gst_sample_unref(sample);
        return bytes;
    };
    std::vector<uint8_t> first = pull();
    ASSERT_EQ(first.size(), 32u * 24 * 3);
    EXPECT_EQ(first, std::vector<uint8_t>(first.size(), 0));

    CameraLink link;
    ASSERT_EQ(openCameraLink(link), S_OK);
    FrameDescriptor d;
    ASSERT_EQ(getFrameDescriptor(link, d), S_OK);
    for (int row = 0; row < 24; ++row)  // memory row 0 is the bottom
        std::memset(d.buffer() + row * 32 * 3, row, 32 * 3);
    ASSERT_EQ(commitFrame(link, d), S_OK);

    std::vector<uint8_t> shown;
    for (int i = 0; i < 10 && (shown.empty() || shown[0] == 0); ++i)
        shown = pull();
    ASSERT_EQ(shown.size(), 32u * 24 * 3);
    for (int y = 0; y < 24; ++y)
        ASSERT_EQ(shown[size_t(y) * 96], uint8_t(23 - y)) << y;

    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(out);
    gst_object_unref(pipeline);
}

}  // namespace
}  // namespace lumaghost
