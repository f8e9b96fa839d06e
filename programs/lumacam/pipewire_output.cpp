// SPDX-License-Identifier: LGPL-2.1-or-later
#include "programs/lumacam/pipewire_output.h"

#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include <cstring>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "frames/frame_convert.h"

namespace lumaghost {

class PipeWireConnection {
public:
    pw_thread_loop *loop = nullptr;
    pw_context *context = nullptr;
    pw_core *core = nullptr;

    ~PipeWireConnection() {
        if (loop)
            pw_thread_loop_stop(loop);
        if (core)
            pw_core_disconnect(core);
        if (context)
            pw_context_destroy(context);
        if (loop)
            pw_thread_loop_destroy(loop);
    }
};

namespace {

// Holds a loop's lock for as long as it lives: the loop thread runs the streams' events holding
// it, so whatever they touch changes only under it.
class LoopLock {
public:
    explicit LoopLock(pw_thread_loop *loop) : loop_(loop) { pw_thread_loop_lock(loop_); }
    ~LoopLock() { pw_thread_loop_unlock(loop_); }
    LoopLock(const LoopLock &) = delete;
    LoopLock &operator=(const LoopLock &) = delete;

private:
    pw_thread_loop *loop_;
};

}  // namespace

std::shared_ptr<PipeWireConnection> connectPipeWire() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
    auto c = std::make_shared<PipeWireConnection>();
    c->loop = pw_thread_loop_new("lumacam-pipewire", nullptr);
    if (!c->loop)
        return nullptr;
    c->context = pw_context_new(pw_thread_loop_get_loop(c->loop), nullptr, 0);
    if (!c->context)
        return nullptr;
    if (pw_thread_loop_start(c->loop) < 0)
        return nullptr;
    {
        LoopLock lock(c->loop);
        c->core = pw_context_connect(c->context, nullptr, 0);
    }
    if (!c->core)
        return nullptr;
    return c;
}

struct PipeWireOutput::State {
    PipeWireConnection *connection = nullptr;
    pw_stream *stream = nullptr;
    spa_hook listener{};
    int width = 0, height = 0, fps = 30;

    // The loop lock guards the rest: the loop thread runs the stream's events holding it.
    spa_video_format format = SPA_VIDEO_FORMAT_UNKNOWN;  // as negotiated
    spa_rectangle negotiated{0, 0};                      // the negotiated frame size

    // The frame on show, of readyGeneration, for consumers of readyFormat: as converted for
    // another output (ready), or where it lies, to convert straight into the buffer (source).
    SharedBytes ready;
    FrameSource source;
    spa_video_format readyFormat = SPA_VIDEO_FORMAT_UNKNOWN;
    uint64_t readyGeneration = 0;

    // What each buffer holds, so that a frame shown again is not copied into a buffer that
    // has it already.
    struct Held {
        uint64_t generation;
        spa_video_format format;
    };
    std::unordered_map<pw_buffer *, Held> held;
    uint64_t unreadable = ~uint64_t(0);  // the generation the channel failed to give

    static FrameLayout layoutOf(spa_video_format format) {
        switch (format) {
            case SPA_VIDEO_FORMAT_YUY2:
                return FrameLayout::Yuyv;
            case SPA_VIDEO_FORMAT_I420:
                return FrameLayout::I420;
            default:
                return FrameLayout::Bgrx;
        }
    }
    size_t imageSize(spa_video_format f) const { return layoutSize(layoutOf(f), width, height); }
    int stride(spa_video_format f) const {
        switch (layoutOf(f)) {
            case FrameLayout::Yuyv:
                return (width + 1) / 2 * 4;
            case FrameLayout::I420:
                return width;
            case FrameLayout::Bgrx:
                break;
        }
        return width * 4;
    }

    static void onParamChanged(void *data, uint32_t id, const spa_pod *param) {
        auto *s = static_cast<State *>(data);
        if (id != SPA_PARAM_Format)
            return;
        spa_video_info_raw info{};
        if (!param || spa_format_video_raw_parse(param, &info) < 0) {
            s->format = SPA_VIDEO_FORMAT_UNKNOWN;
            return;
        }
        s->format = info.format;
        s->negotiated = info.size;
        uint8_t buffer[512];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        const spa_pod *params[1];
        params[0] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
            SPA_PARAM_BUFFERS_size, SPA_POD_Int(int(s->imageSize(info.format))),
            SPA_PARAM_BUFFERS_stride, SPA_POD_Int(s->stride(info.format)),
            SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd))));
        pw_stream_update_params(s->stream, params, 1);
    }

    // One EnumFormat per pixel format, the preferred first: WebRTC takes only formats whose
    // pixel format is a single fixed value and skips a parameter that offers a choice. `params`
    // gets kFormats entries built in `buffer`.
    static constexpr spa_video_format kFormats[] = {SPA_VIDEO_FORMAT_YUY2, SPA_VIDEO_FORMAT_I420,
                                                    SPA_VIDEO_FORMAT_BGRx};
    static constexpr size_t kFormatCount = sizeof(kFormats) / sizeof(kFormats[0]);
    void enumFormats(uint8_t (&buffer)[kFormatCount * 256],
                     const spa_pod *(&params)[kFormatCount]) {
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        spa_rectangle size = SPA_RECTANGLE(uint32_t(width), uint32_t(height));
        spa_fraction rate = SPA_FRACTION(uint32_t(fps), 1);
        for (size_t i = 0; i < kFormatCount; ++i)
            params[i] = static_cast<const spa_pod *>(spa_pod_builder_add_object(
                &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
                SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
                SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format, SPA_POD_Id(kFormats[i]),
                SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size), SPA_FORMAT_VIDEO_framerate,
                SPA_POD_Fraction(&rate)));
    }

    static void onRemoveBuffer(void *data, pw_buffer *buffer) {
        static_cast<State *>(data)->held.erase(buffer);
    }

    // Fills a free buffer with the frame on show in the negotiated format, unless it holds
    // that frame already, and queues it; black until there is one. False when every buffer
    // is with the consumers.
    bool queueFrame() {
        // Until the consumers took the camera's new size, nothing of it goes to them.
        if (negotiated.width != uint32_t(width) || negotiated.height != uint32_t(height))
            return false;
        pw_buffer *b = pw_stream_dequeue_buffer(stream);
        if (!b)
            return false;
        spa_data &d = b->buffer->datas[0];
        const size_t size = imageSize(format);
        if (d.data && d.maxsize >= size) {
            const bool current = readyFormat == format;
            const SharedBytes frame = current ? ready : nullptr;
            const FrameSource *from = current && source ? &source : nullptr;
            const uint64_t generation = current ? readyGeneration : 0;
            auto *out = static_cast<uint8_t *>(d.data);
            const FrameLayout layout = layoutOf(format);
            auto it = held.find(b);
            const bool has = (frame || from) && it != held.end() &&
                             it->second.generation == generation && it->second.format == format;
            bool filled = has;  // a frame shown again: the buffer has it
            if (!filled && frame && frame->size() == size) {
                std::memcpy(out, frame->data(), size);
                filled = true;
            } else if (!filled && from && generation != unreadable) {
                filled = (*from)(
                    [&](const uint8_t *image) { convertFrame(layout, image, width, height, out); });
                if (!filled) {
                    // Not tried again until the next frame; what was converted is torn.
                    unreadable = generation;
                    held.erase(b);
                    it = held.end();
                }
            }
            if (filled) {
                held[b] = {generation, format};
            } else if (it == held.end()) {
                // A buffer that holds an earlier frame keeps it; a new one shows black.
                const std::vector<uint8_t> black(size_t(width) * height * 3, 0);
                convertFrame(layout, black.data(), width, height, out);
            }
            d.chunk->offset = 0;
            d.chunk->size = uint32_t(size);
            d.chunk->stride = stride(format);
        }
        pw_stream_queue_buffer(stream, b);
        return true;
    }

    // A graph that another node drives asks for the frame when it runs; a graph that this
    // stream drives got it with the cycle's trigger.
    static void onProcess(void *data) {
        auto *s = static_cast<State *>(data);
        if (!pw_stream_is_driving(s->stream))
            (void)s->queueFrame();
    }
};

namespace {

const pw_stream_events kStreamEvents = [] {
    pw_stream_events e{};
    e.version = PW_VERSION_STREAM_EVENTS;
    e.param_changed = PipeWireOutput::State::onParamChanged;
    e.process = PipeWireOutput::State::onProcess;
    e.remove_buffer = PipeWireOutput::State::onRemoveBuffer;
    return e;
}();

}  // namespace

std::unique_ptr<PipeWireOutput> PipeWireOutput::create(
    std::shared_ptr<PipeWireConnection> connection, const std::string &nodeName,
    const std::string &description, int width, int height, int fps) {
    if (!connection || width <= 0 || height <= 0 || fps <= 0)
        return nullptr;
    std::unique_ptr<PipeWireOutput> output(new PipeWireOutput);
    output->connection_ = connection;
    output->state_ = std::make_unique<State>();
    State *s = output->state_.get();
    s->connection = connection.get();
    s->width = width;
    s->height = height;
    s->fps = fps;

    pw_properties *props =
        pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                          PW_KEY_MEDIA_ROLE, "Camera", PW_KEY_MEDIA_CLASS, "Video/Source",
                          PW_KEY_NODE_NAME, nodeName.c_str(), PW_KEY_NODE_DESCRIPTION,
                          description.c_str(), PW_KEY_NODE_NICK, description.c_str(), nullptr);

    LoopLock lock(connection->loop);
    s->stream = pw_stream_new(connection->core, nodeName.c_str(), props);
    if (!s->stream)
        return nullptr;
    pw_stream_add_listener(s->stream, &s->listener, &kStreamEvents, s);

    uint8_t buffer[State::kFormatCount * 256];
    const spa_pod *params[State::kFormatCount];
    s->enumFormats(buffer, params);
    const int r =
        pw_stream_connect(s->stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                          pw_stream_flags(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS),
                          params, State::kFormatCount);
    if (r < 0)
        return nullptr;
    return output;
}

PipeWireOutput::~PipeWireOutput() {
    if (state_ && state_->stream) {
        LoopLock lock(connection_->loop);
        pw_stream_destroy(state_->stream);
    }
}

void PipeWireOutput::setFormat(int width, int height, int fps,
                               const std::function<void()> &change) {
    State *s = state_.get();
    LoopLock lock(connection_->loop);
    if (change)
        change();
    const bool same = s->width == width && s->height == height && s->fps == fps;
    s->width = width;
    s->height = height;
    s->fps = fps;
    // Nothing converted at the old size is handed out again.
    s->ready.reset();
    s->source = FrameSource();
    s->readyFormat = SPA_VIDEO_FORMAT_UNKNOWN;
    s->held.clear();
    s->unreadable = ~uint64_t(0);
    if (same)
        return;
    uint8_t buffer[State::kFormatCount * 256];
    const spa_pod *params[State::kFormatCount];
    s->enumFormats(buffer, params);
    pw_stream_update_params(s->stream, params, State::kFormatCount);
}

void PipeWireOutput::publish(uint64_t generation, ConvertedFrames &converted,
                             const FrameSource &source) {
    State *s = state_.get();
    LoopLock lock(connection_->loop);
    // Only while a consumer takes frames: converted straight into the stream's buffer, or
    // copied from the conversion another output made.
    if (pw_stream_get_state(s->stream, nullptr) == PW_STREAM_STATE_STREAMING &&
        s->format != SPA_VIDEO_FORMAT_UNKNOWN) {
        SharedBytes ready = converted.peek(State::layoutOf(s->format), generation);
        s->source = ready ? FrameSource() : source;
        s->ready = std::move(ready);
        s->readyFormat = s->format;
        s->readyGeneration = generation;
        // As the driver of its graph the stream runs one cycle per frame, with the frame
        // queued before the cycle starts: a cycle triggered first could go out empty.
        if (pw_stream_is_driving(s->stream))
            (void)s->queueFrame();
        pw_stream_trigger_process(s->stream);
    }
}

}  // namespace lumaghost
