// SPDX-License-Identifier: LGPL-2.1-or-later
// The renderer as a GStreamer sink beside GStreamer's videoscale doing the same scaling, and
// the latency from a commit to the camera source's buffer. One streaming thread each
// (lumarenderer n-threads=1 where it has the property). No videoconvert on either side:
// lumarenderer takes the BGRx frames and writes the camera's BGR itself, videoscale's output
// stays BGRx. After the run, a table gives ms per frame and each sink mode's ratio to
// videoscale 4-tap and bilinear.
//
//   Sink/<mode>          1920x1080 BGRx into a 640x480 camera through lumarenderer
//   Videoscale/<method>  1920x1080 BGRx to 640x480 through videoscale n-threads=1
//   Resample/1920x1080/640x480  the resampler alone on the same frame, for the sink's goal of +15 %
#include <benchmark/benchmark.h>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "camera/camera_link.h"
#include "device/frame_channel.h"
#include "device/installed_devices.h"
#include "frames/resampler.h"
#include "gst/elements.h"
#include "platform/device_tree.h"
#include "platform/paths.h"
#include "platform/registry.h"

namespace {

using namespace lumaghost;

// A private root with one camera of the given size.
struct BenchCamera {
    std::filesystem::path root;
    BenchCamera(uint32_t w, uint32_t h) {
        char pattern[] = "/tmp/lumaghost-bench-XXXXXX";
        root = ::mkdtemp(pattern);
        ::setenv("LUMAGHOST_ROOT", root.c_str(), 1);
        RegistryHive hive = machineHive();
        DeviceInstance d{"MEDIA", "0000"};
        (void)hive.setValue(d.keyPath(), kFriendlyNameValue, RegValue::string("Lumaghost"));
        (void)hive.setValue(d.keyPath(), kServiceValue, RegValue::string("lumacam"));
        (void)FrameChannel::create(frameChannelPath(d), {w, h, 30});
    }
    ~BenchCamera() { std::filesystem::remove_all(root); }
};

GstBuffer *noiseFrame() {
    const size_t size = 1920 * 1080 * 4;
    GstBuffer *buffer = gst_buffer_new_allocate(nullptr, size, nullptr);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    std::mt19937 rng(5);
    for (size_t i = 0; i < size; ++i)
        map.data[i] = uint8_t(rng());
    gst_buffer_unmap(buffer, &map);
    return buffer;
}

// ms per frame of the last run of each pipeline benchmark, by name, for the table.
std::map<std::string, double> msPerFrame;

// Pushes one frame per iteration through `downstream` and waits for the last at the end.
void runPipeline(benchmark::State &state, const std::string &name, const std::string &downstream) {
    const std::string description =
        "appsrc name=src format=time is-live=false block=true max-bytes=16588800 "
        "caps=video/x-raw,format=BGRx,width=1920,height=1080,framerate=30/1 ! " +
        downstream;
    GstElement *pipeline = gst_parse_launch(description.c_str(), nullptr);
    GstElement *src = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    GstBuffer *frame = noiseFrame();
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    uint64_t n = 0;
    // Warm up: buffers allocated, caps negotiated.
    for (int i = 0; i < 5; ++i, ++n) {
        GstBuffer *b = gst_buffer_copy(frame);
        GST_BUFFER_PTS(b) = n * GST_SECOND / 30;
        gst_app_src_push_buffer(GST_APP_SRC(src), b);
    }
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        GstBuffer *b = gst_buffer_copy(frame);  // shares the memory: no copy of the pixels
        GST_BUFFER_PTS(b) = n++ * GST_SECOND / 30;
        gst_app_src_push_buffer(GST_APP_SRC(src), b);
    }
    gst_app_src_end_of_stream(GST_APP_SRC(src));
    GstBus *bus = gst_element_get_bus(pipeline);
    GstMessage *msg = gst_bus_timed_pop_filtered(
        bus, 60 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!msg || GST_MESSAGE_TYPE(msg) != GST_MESSAGE_EOS)
        state.SkipWithError("the pipeline did not finish");
    state.counters["ms_per_frame"] = 1000.0 * seconds / double(state.iterations());
    if (msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS)
        msPerFrame[name] = 1000.0 * seconds / double(state.iterations());
    if (msg)
        gst_message_unref(msg);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_buffer_unref(frame);
    gst_object_unref(src);
    gst_object_unref(pipeline);
}

// One streaming thread, as videoscale's n-threads=1, where the renderer can use more.
std::string rendererThreads() {
    GstElementFactory *factory = gst_element_factory_find("lumarenderer");
    if (!factory)
        return "";
    GstPluginFeature *loaded = gst_plugin_feature_load(GST_PLUGIN_FEATURE(factory));
    std::string threads;
    if (loaded) {
        const GType type = gst_element_factory_get_element_type(GST_ELEMENT_FACTORY(loaded));
        auto *klass = static_cast<GObjectClass *>(g_type_class_ref(type));
        if (g_object_class_find_property(klass, "n-threads"))
            threads = "n-threads=1 ";
        g_type_class_unref(klass);
        gst_object_unref(loaded);
    }
    gst_object_unref(factory);
    return threads;
}

void sink(benchmark::State &state, const char *mode, const char *properties) {
    BenchCamera camera(640, 480);
    runPipeline(state, std::string("Sink/") + mode,
                "lumarenderer sync=false " + rendererThreads() + properties);
}

void videoscale(benchmark::State &state, const char *method) {
    runPipeline(state, std::string("Videoscale/") + method,
                std::string("videoscale n-threads=1 method=") + method +
                    " ! video/x-raw,width=640,height=480 ! fakesink sync=false");
}

void printRatios() {
    const char *modes[] = {"stretch", "keep-ratio", "pan-and-scan", "natural-size"};
    const auto found = [](const std::string &name) {
        auto it = msPerFrame.find(name);
        return it == msPerFrame.end() ? 0.0 : it->second;
    };
    const double fourTap = found("Videoscale/4-tap"), bilinear = found("Videoscale/bilinear");
    std::printf(
        "\n1920x1080 BGRx to 640x480, one thread each, no videoconvert on either side\n"
        "%-26s %10s %12s %14s\n",
        "", "ms/frame", "/ 4-tap", "/ bilinear");
    for (const char *mode : modes) {
        const double ms = found(std::string("Sink/") + mode);
        if (ms <= 0)
            continue;
        std::printf("%-26s %10.3f %12.2f %14.2f\n", (std::string("lumarenderer ") + mode).c_str(),
                    ms, fourTap > 0 ? ms / fourTap : 0.0, bilinear > 0 ? ms / bilinear : 0.0);
    }
    if (fourTap > 0)
        std::printf("%-26s %10.3f %12.2f %14.2f\n", "videoscale 4-tap", fourTap, 1.0,
                    bilinear > 0 ? fourTap / bilinear : 0.0);
    if (bilinear > 0)
        std::printf("%-26s %10.3f %12.2f %14.2f\n", "videoscale bilinear", bilinear,
                    fourTap > 0 ? bilinear / fourTap : 0.0, 1.0);
}

void resampleAlone(benchmark::State &state) {
    GstBuffer *frame = noiseFrame();
    GstMapInfo map;
    gst_buffer_map(frame, &map, GST_MAP_READ);
    std::vector<uint8_t> out(640 * 480 * 4);
    for (auto _ : state) {
        resampleImage(map.data, 1920, 1080, out.data(), 640, 480);
        benchmark::DoNotOptimize(out.data());
    }
    gst_buffer_unmap(frame, &map);
    gst_buffer_unref(frame);
}

// From a commit through the camera link to the camera source's buffer holding that frame.
void sourceLatency(benchmark::State &state) {
    BenchCamera camera(640, 480);
    GstElement *pipeline = gst_parse_launch("lumaghostsrc ! appsink name=out sync=false", nullptr);
    GstElement *out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    CameraLink link;
    if (openCameraLink(link).failed()) {
        state.SkipWithError("no camera");
        return;
    }
    uint8_t mark = 0;
    double worst = 0;
    for (auto _ : state) {
        ++mark;
        FrameDescriptor d;
        (void)getFrameDescriptor(link, d);
        std::memset(d.buffer(), mark, d.byteCount);
        auto committed = std::chrono::steady_clock::now();
        (void)commitFrame(link, d);
        for (;;) {
            GstSample *s = gst_app_sink_try_pull_sample(GST_APP_SINK(out), GST_SECOND);
            if (!s)
                break;
            GstMapInfo map;
            GstBuffer *b = gst_sample_get_buffer(s);
            gst_buffer_map(b, &map, GST_MAP_READ);
            const bool seen = map.data[0] == mark;
            gst_buffer_unmap(b, &map);
            gst_sample_unref(s);
            if (seen)
                break;
        }
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - committed)
                .count();
        worst = std::max(worst, ms);
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["worst_ms"] = worst;
    state.counters["frame_period_ms"] = 1000.0 / 30;
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(out);
    gst_object_unref(pipeline);
}

int registerAll() {
    gst_init(nullptr, nullptr);
    registerGstElements();
    benchmark::RegisterBenchmark("Resample/1920x1080/640x480", resampleAlone)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Sink/stretch", sink, "stretch", "stretch=true keep-ratio=false")
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Sink/keep-ratio", sink, "keep-ratio",
                                 "stretch=true keep-ratio=true center=false")
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Sink/pan-and-scan", sink, "pan-and-scan",
                                 "stretch=true keep-ratio=true center=true")
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Sink/natural-size", sink, "natural-size",
                                 "stretch=false center=true")
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Videoscale/bilinear", videoscale, "bilinear")
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("Videoscale/4-tap", videoscale, "4-tap")
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("SourceLatency", sourceLatency)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(60);
    return 0;
}
const int registered = registerAll();

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    printRatios();
    return 0;
}
