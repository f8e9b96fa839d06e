// SPDX-License-Identifier: LGPL-2.1-or-later
#include "gst/media_graph.h"

#include <gst/app/gstappsink.h>
#include <gst/pbutils/missing-plugins.h>
#include <gst/video/video.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "camera/system_devices.h"
#include "gst/elements.h"

namespace lumaghost {

namespace {

// Reference time (100 ns) and GStreamer time (ns).
constexpr int64_t kNsPer100 = 100;

/// videoconvert into lumarenderer, as a bin with one sink pad; a new reference, floating.
/// Decoders' planar frames pass through to the renderer, which scales and converts them in one
/// pass; other formats are converted to RGB first.
GstElement *rendererBin(const RendererSettings &settings) {
    GstRef<GstElement> convert = sunk(gst_element_factory_make("videoconvert", nullptr));
    GstRef<GstElement> sink = sunk(gst_element_factory_make("lumarenderer", "LumaRenderer"));
    if (!convert || !sink)
        return nullptr;
    g_object_set(sink.get(), "stretch", gboolean(settings.flags.stretch), "keep-ratio",
                 gboolean(settings.flags.keepRatio), "center", gboolean(settings.flags.center),
                 "device", settings.device.c_str(), "planar", TRUE, nullptr);
    GstElement *bin = gst_bin_new("renderer");
    gst_bin_add_many(GST_BIN(bin), convert.get(), sink.get(), nullptr);
    gst_element_link(convert.get(), sink.get());
    GstRef<GstPad> pad(gst_element_get_static_pad(convert.get(), "sink"));
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", pad.get()));
    return bin;
}

std::vector<std::string> elementNamesOf(GstElement *pipeline) {
    std::vector<std::string> names;
    g_autoptr(GstIterator) it = gst_bin_iterate_recurse(GST_BIN(pipeline));
    g_auto(GValue) item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto *element = GST_ELEMENT(g_value_get_object(&item));
        if (GstElementFactory *factory = gst_element_get_factory(element))
            names.emplace_back(
                gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME));
        g_value_reset(&item);
    }
    return names;
}

/// Graphs that went during their start, stopping on threads of their own.
struct Retired {
    std::mutex mutex;  // guards count
    std::condition_variable none;
    int count = 0;
};

Retired &retired() {
    static Retired *r = new Retired;  // threads may still use it while the program ends
    return *r;
}

}  // namespace

bool initMediaGraphs() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once,
                   [] { ok = gst_init_check(nullptr, nullptr, nullptr) && registerGstElements(); });
    return ok;
}

void listElementFactories(std::vector<std::unique_ptr<Moniker>> &monikers) {
    GList *factories = gst_registry_get_feature_list(gst_registry_get(), GST_TYPE_ELEMENT_FACTORY);
    for (GList *f = factories; f; f = f->next) {
        auto *factory = GST_ELEMENT_FACTORY(f->data);
        const gchar *longName =
            gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME);
        if (longName)
            monikers.push_back(std::make_unique<NamedMoniker>(
                FilterKind::Element, longName,
                gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory))));
    }
    gst_plugin_feature_list_free(factories);
}

HResult createMediaDeviceEnumerator(std::unique_ptr<DeviceEnumerator> &out) {
    if (!initMediaGraphs())
        return E_FAIL;
    return createSystemDeviceEnumerator(out, listElementFactories);
}

// --- MediaGraph ------------------------------------------------------------------------------

/// What the bus's streaming threads and the start's worker reach the graph through. It lives
/// as long as the bus, and hands nothing over once the graph has gone.
struct MediaGraph::Channel : std::enable_shared_from_this<Channel> {
    Channel(GstElement *graph, Post posting) : pipeline(graph), post(std::move(posting)) {}

    /// Runs `task` on the owner's thread while the owner is there.
    void send(std::function<void(MediaGraph &)> task) {
        std::lock_guard lock(mutex);
        if (!owner)
            return;
        post([self = shared_from_this(), task = std::move(task)] {
            // The owner's own thread clears it, so no lock is needed here.
            if (self->owner)
                task(*self->owner);
        });
    }
    void release() {
        std::lock_guard lock(mutex);
        owner = nullptr;
    }

    GstElement *const pipeline;  // not owned: the bus goes with it
    const Post post;
    std::mutex mutex;  // guards owner against the other threads' reads
    MediaGraph *owner = nullptr;
};

MediaGraph::MediaGraph(GstRef<GstElement> pipeline, Post post)
    : pipeline_(std::move(pipeline)),
      channel_(std::make_shared<Channel>(pipeline_.get(), std::move(post))) {
    channel_->owner = this;
    g_autoptr(GstBus) bus = gst_element_get_bus(pipeline_.get());
    gst_bus_set_sync_handler(bus, busSync, new std::shared_ptr<Channel>(channel_),
                             [](gpointer p) { delete static_cast<std::shared_ptr<Channel> *>(p); });
}

MediaGraph::~MediaGraph() {
    channel_->release();
    if (!worker_.joinable()) {
        gst_element_set_state(pipeline_.get(), GST_STATE_NULL);
        return;
    }
    // The start may hold the graph's state lock: stopping waits for it elsewhere.
    Retired &r = retired();
    {
        std::lock_guard lock(r.mutex);
        ++r.count;
    }
    std::thread([pipeline = std::move(pipeline_), worker = std::move(worker_),
                 gate = std::move(startGate_), &r]() mutable {
        {
            std::lock_guard lock(gate->mutex);
            gate->cancelled = true;
        }
        gst_element_set_state(pipeline.get(), GST_STATE_NULL);
        worker.join();
        pipeline.reset();
        std::lock_guard lock(r.mutex);
        if (--r.count == 0)
            r.none.notify_all();
    }).detach();
}

bool MediaGraph::awaitRetiredGraphs(int timeoutMs) {
    Retired &r = retired();
    std::unique_lock lock(r.mutex);
    return r.none.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return r.count == 0; });
}

HResult MediaGraph::run() {
    return gst_element_set_state(pipeline_.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE
               ? E_FAIL
               : S_OK;
}

void MediaGraph::startAsync(GstState target, int timeoutMs, Started started) {
    if (worker_.joinable())
        worker_.join();
    std::weak_ptr<Channel> channel = channel_;
    startGate_ = std::make_shared<StartGate>();
    // The worker's own reference: the graph may go while it waits.
    worker_ =
        std::thread([pipeline = GstRef<GstElement>(GST_ELEMENT(gst_object_ref(pipeline_.get()))),
                     target, timeoutMs, channel, gate = startGate_, started = std::move(started)] {
            GstStateChangeReturn change;
            {
                std::lock_guard lock(gate->mutex);
                if (gate->cancelled)
                    return;
                change = gst_element_set_state(pipeline.get(), target);
            }
            if (change == GST_STATE_CHANGE_ASYNC)
                change = gst_element_get_state(pipeline.get(), nullptr, nullptr,
                                               GstClockTime(std::max(timeoutMs, 0)) * GST_MSECOND);
            if (auto to = channel.lock())
                to->send([change, started](MediaGraph &graph) {
                    graph.worker_.join();  // it has handed over: nothing is left for it to do
                    if (started)
                        started(change);
                });
        });
}

HResult MediaGraph::pause() {
    return gst_element_set_state(pipeline_.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE
               ? E_FAIL
               : S_OK;
}

HResult MediaGraph::stop() {
    return gst_element_set_state(pipeline_.get(), GST_STATE_READY) == GST_STATE_CHANGE_FAILURE
               ? E_FAIL
               : S_OK;
}

GstState MediaGraph::state() const {
    GstState current = GST_STATE_NULL;
    gst_element_get_state(pipeline_.get(), &current, nullptr, 0);
    return current;
}

std::vector<std::string> MediaGraph::elementNames() const {
    return elementNamesOf(pipeline_.get());
}

void MediaGraph::onEvent(const GraphEvent &event) {
    if (handler_)
        handler_(event);
}

// Runs on whichever thread posted the message: copies what matters and hands it over.
GstBusSyncReply MediaGraph::busSync(GstBus *, GstMessage *message, gpointer data) {
    Channel &channel = **static_cast<std::shared_ptr<Channel> *>(data);
    GraphEvent event;
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_EOS:
            event.type = GraphEvent::Complete;
            break;
        case GST_MESSAGE_ERROR: {
            g_autoptr(GError) error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            event.type = error && (error->domain == GST_STREAM_ERROR &&
                                   (error->code == GST_STREAM_ERROR_CODEC_NOT_FOUND ||
                                    error->code == GST_STREAM_ERROR_TYPE_NOT_FOUND ||
                                    error->code == GST_STREAM_ERROR_WRONG_TYPE))
                             ? GraphEvent::RenderFailure
                             : GraphEvent::Error;
            event.text = error ? error->message : "";
            if (event.type == GraphEvent::RenderFailure)
                event.elements = elementNamesOf(channel.pipeline);
            break;
        }
        case GST_MESSAGE_STATE_CHANGED: {
            if (GST_MESSAGE_SRC(message) != GST_OBJECT(channel.pipeline))
                return GST_BUS_DROP;
            GstState old, current;
            gst_message_parse_state_changed(message, &old, &current, nullptr);
            event.type = GraphEvent::StateChanged;
            event.state = current;
            break;
        }
        default:
            return GST_BUS_DROP;
    }
    channel.send([event](MediaGraph &graph) { graph.onEvent(event); });
    return GST_BUS_DROP;
}

// --- MovieGraph ------------------------------------------------------------------------------

HResult MovieGraph::create(const std::string &file, const RendererSettings &settings, Post post,
                           std::unique_ptr<MovieGraph> &out) {
    if (!initMediaGraphs())
        return E_FAIL;
    GstRef<GstElement> playbin = sunk(gst_element_factory_make("playbin", "movie"));
    GstRef<GstElement> sink = sunk(rendererBin(settings));
    if (!playbin || !sink)
        return E_FAIL;
    g_autofree gchar *uri = gst_uri_is_valid(file.c_str())
                                ? g_strdup(file.c_str())
                                : gst_filename_to_uri(file.c_str(), nullptr);
    if (!uri)
        return E_INVALIDARG;
    g_object_set(playbin.get(), "uri", uri, "video-sink", sink.get(), nullptr);
    out.reset(new MovieGraph(std::move(playbin), std::move(post)));
    return S_OK;
}

void MovieGraph::onEvent(const GraphEvent &event) {
    GraphEvent e = event;
    // Once the streams are known: a movie without a video stream cannot be rendered.
    if (e.type == GraphEvent::StateChanged && e.state >= GST_STATE_PAUSED && !checkedStreams_) {
        checkedStreams_ = true;
        gint videos = 0;
        g_object_get(pipeline_.get(), "n-video", &videos, nullptr);
        if (videos == 0) {
            GraphEvent failure;
            failure.type = GraphEvent::RenderFailure;
            failure.text = "The file has no video stream.";
            failure.elements = elementNames();
            MediaGraph::onEvent(failure);
            return;
        }
    }
    if (e.type == GraphEvent::Complete && looping_) {
        ++loops_;
        gst_element_seek_simple(pipeline_.get(), GST_FORMAT_TIME,
                                GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), 0);
    }
    MediaGraph::onEvent(e);
}

HResult MovieGraph::position(int64_t &out) const {
    gint64 ns = 0;
    if (!gst_element_query_position(pipeline_.get(), GST_FORMAT_TIME, &ns))
        return E_FAIL;
    out = ns / kNsPer100;
    return S_OK;
}

HResult MovieGraph::duration(int64_t &out) const {
    gint64 ns = 0;
    if (!gst_element_query_duration(pipeline_.get(), GST_FORMAT_TIME, &ns) || ns < 0)
        return E_FAIL;
    out = ns / kNsPer100;
    return S_OK;
}

HResult MovieGraph::seek(int64_t position) {
    if (position < 0)
        return E_INVALIDARG;
    return gst_element_seek_simple(pipeline_.get(), GST_FORMAT_TIME,
                                   GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                                   position * kNsPer100)
               ? S_OK
               : E_FAIL;
}

double MovieGraph::volumeToLinear(long volume) {
    if (volume <= -10000)
        return 0.0;
    return std::pow(10.0, double(std::min(volume, 0L)) / 2000.0);
}

long MovieGraph::linearToVolume(double linear) {
    if (linear <= 0.00001)
        return -10000;
    return std::max(-10000L, std::min(0L, std::lround(2000.0 * std::log10(linear))));
}

HResult MovieGraph::setVolume(long volume) {
    if (volume < -10000 || volume > 0)
        return E_INVALIDARG;
    g_object_set(pipeline_.get(), "volume", volumeToLinear(volume), nullptr);
    return S_OK;
}

long MovieGraph::volume() const {
    gdouble linear = 1.0;
    g_object_get(pipeline_.get(), "volume", &linear, nullptr);
    return linearToVolume(linear);
}

HResult MovieGraph::setMute(bool mute) {
    g_object_set(pipeline_.get(), "mute", gboolean(mute), nullptr);
    return S_OK;
}

bool MovieGraph::muted() const {
    gboolean mute = FALSE;
    g_object_get(pipeline_.get(), "mute", &mute, nullptr);
    return mute;
}

// --- CameraGraph -----------------------------------------------------------------------------

HResult CameraGraph::create(const std::string &source, bool isLumaghost,
                            const RendererSettings &settings, Post post,
                            std::unique_ptr<CameraGraph> &out) {
    if (!initMediaGraphs())
        return E_FAIL;
    GstElement *src = isLumaghost ? gst_element_factory_make("lumaghostsrc", "source")
                                  : gst_element_factory_make("v4l2src", "source");
    if (src)
        g_object_set(src, "device", source.c_str(), nullptr);
    return create(src, settings, std::move(post), out);
}

HResult CameraGraph::create(GstElement *source, const RendererSettings &settings, Post post,
                            std::unique_ptr<CameraGraph> &out) {
    GstRef<GstElement> src = sunk(source);
    if (!initMediaGraphs())
        return E_FAIL;
    GstRef<GstElement> pipeline = sunk(gst_pipeline_new("camera"));
    GstRef<GstElement> sink = sunk(rendererBin(settings));
    if (!src || !sink)
        return E_FAIL;
    gst_bin_add_many(GST_BIN(pipeline.get()), src.get(), sink.get(), nullptr);
    if (!gst_element_link(src.get(), sink.get()))
        return E_FAIL;
    out.reset(new CameraGraph(std::move(pipeline), std::move(post)));
    return S_OK;
}

// --- PreviewGraph ----------------------------------------------------------------------------

HResult PreviewGraph::create(const std::string &device, FrameCallback callback, Post post,
                             std::unique_ptr<PreviewGraph> &out) {
    if (!initMediaGraphs())
        return E_FAIL;
    g_autoptr(GError) error = nullptr;
    GstRef<GstElement> pipeline = sunk(gst_parse_launch(
        "lumaghostsrc name=source ! appsink name=frames sync=false max-buffers=2 drop=true "
        "emit-signals=true",
        &error));
    if (!pipeline || error)
        return E_FAIL;
    GstBin *bin = GST_BIN(pipeline.get());
    GstRef<GstElement> src(gst_bin_get_by_name(bin, "source"));
    g_object_set(src.get(), "device", device.c_str(), nullptr);
    GstRef<GstElement> sink(gst_bin_get_by_name(bin, "frames"));
    std::unique_ptr<PreviewGraph> graph(new PreviewGraph(std::move(pipeline), std::move(post)));
    graph->callback_ = std::move(callback);
    g_signal_connect(sink.get(), "new-sample", G_CALLBACK(onSample), graph.get());
    out = std::move(graph);
    return S_OK;
}

PreviewGraph::~PreviewGraph() {
    gst_element_set_state(pipeline(), GST_STATE_NULL);
}

GstFlowReturn PreviewGraph::onSample(GstElement *sink, gpointer data) {
    auto *self = static_cast<PreviewGraph *>(data);
    g_autoptr(GstSample) sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
    if (!sample)
        return GST_FLOW_OK;
    GstVideoInfo info;
    GstVideoFrame frame;
    if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
        gst_video_frame_map(&frame, &info, gst_sample_get_buffer(sample), GST_MAP_READ)) {
        if (self->callback_)
            self->callback_(static_cast<const uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                            GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
                            GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
        gst_video_frame_unmap(&frame);
    }
    return GST_FLOW_OK;
}

}  // namespace lumaghost
