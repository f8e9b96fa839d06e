// SPDX-License-Identifier: LGPL-2.1-or-later
// A PipeWire camera consumer for the tests, the way a video-call program takes a camera: it
// offers YUY2 at any size and rate, follows every format the node negotiates anew, and checks
// each frame against the format in force when it arrived.
//
//   lumaghost_pipewire_consumer NODE SECONDS
//
// Prints "FORMAT WxH" for each format negotiated, then at the end, per format in order,
// "FRAMES WxH N MISSIZED M MEAN Y" (the mean luma of the format's last frame).
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Seen {
    uint32_t width = 0, height = 0;
    long frames = 0, missized = 0;
    double mean = 0;
};

struct Consumer {
    pw_main_loop *loop = nullptr;
    pw_stream *stream = nullptr;
    std::vector<Seen> formats;
};

void onParamChanged(void *data, uint32_t id, const spa_pod *param) {
    auto *c = static_cast<Consumer *>(data);
    if (id != SPA_PARAM_Format || !param)
        return;
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0)
        return;
    std::printf("FORMAT %ux%u\n", info.size.width, info.size.height);
    std::fflush(stdout);
    c->formats.push_back({info.size.width, info.size.height});
    uint8_t buffer[256];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    const int size = int(info.size.width * 2 * info.size.height);
    const spa_pod *params[1] = {static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
        SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
        SPA_PARAM_BUFFERS_size, SPA_POD_CHOICE_RANGE_Int(size, size, INT32_MAX)))};
    pw_stream_update_params(c->stream, params, 1);
}

void onProcess(void *data) {
    auto *c = static_cast<Consumer *>(data);
    pw_buffer *b = pw_stream_dequeue_buffer(c->stream);
    if (!b)
        return;
    if (!c->formats.empty()) {
        Seen &s = c->formats.back();
        const spa_data &d = b->buffer->datas[0];
        const uint32_t expected = s.width * 2 * s.height;
        ++s.frames;
        if (d.chunk->size != expected || !d.data || d.maxsize < expected) {
            ++s.missized;
        } else {
            const auto *p = static_cast<const uint8_t *>(d.data);
            uint64_t sum = 0;
            for (uint32_t i = 0; i < expected; i += 2)
                sum += p[i];
            s.mean = double(sum) / (expected / 2);
        }
    }
    pw_stream_queue_buffer(c->stream, b);
}

void onTimeout(void *data, uint64_t) {
    pw_main_loop_quit(static_cast<Consumer *>(data)->loop);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "Usage: lumaghost_pipewire_consumer NODE SECONDS\n");
        return 2;
    }
    pw_init(&argc, &argv);
    Consumer c;
    c.loop = pw_main_loop_new(nullptr);
    pw_properties *props =
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                          PW_KEY_MEDIA_ROLE, "Camera", PW_KEY_TARGET_OBJECT, argv[1], nullptr);
    static const pw_stream_events events = [] {
        pw_stream_events e{};
        e.version = PW_VERSION_STREAM_EVENTS;
        e.param_changed = onParamChanged;
        e.process = onProcess;
        return e;
    }();
    c.stream = pw_stream_new_simple(pw_main_loop_get_loop(c.loop), "lumaghost-test-consumer", props,
                                    &events, &c);

    uint8_t buffer[512];
    spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
    spa_rectangle size = SPA_RECTANGLE(320, 240), least = SPA_RECTANGLE(1, 1),
                  most = SPA_RECTANGLE(16384, 16384);
    spa_fraction rate = SPA_FRACTION(30, 1), slowest = SPA_FRACTION(0, 1),
                 fastest = SPA_FRACTION(1000, 1);
    const spa_pod *params[1] = {static_cast<const spa_pod *>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_Id(SPA_VIDEO_FORMAT_YUY2), SPA_FORMAT_VIDEO_size,
        SPA_POD_CHOICE_RANGE_Rectangle(&size, &least, &most), SPA_FORMAT_VIDEO_framerate,
        SPA_POD_CHOICE_RANGE_Fraction(&rate, &slowest, &fastest)))};
    if (pw_stream_connect(c.stream, PW_DIRECTION_INPUT, PW_ID_ANY,
                          pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS),
                          params, 1) < 0) {
        std::fprintf(stderr, "lumaghost_pipewire_consumer: cannot connect\n");
        return 1;
    }
    spa_source *timer = pw_loop_add_timer(pw_main_loop_get_loop(c.loop), onTimeout, &c);
    timespec timeout{std::atol(argv[2]), 0};
    pw_loop_update_timer(pw_main_loop_get_loop(c.loop), timer, &timeout, nullptr, false);
    pw_main_loop_run(c.loop);
    for (const Seen &s : c.formats)
        std::printf("FRAMES %ux%u %ld MISSIZED %ld MEAN %.1f\n", s.width, s.height, s.frames,
                    s.missized, s.mean);
    pw_stream_destroy(c.stream);
    pw_main_loop_destroy(c.loop);
    pw_deinit();
    return 0;
}
