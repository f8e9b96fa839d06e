// SPDX-License-Identifier: LGPL-2.1-or-later
#include "gst/media_graph.h"

#include <gst/app/gstappsink.h>
#include <gst/pbutils/missing-plugins.h>
#include <gst/video/video.h>

#include <cmath>
#include <mutex>

#include "camera/system_devices.h"
#include "gst/elements.h"

namespace lumaghost {

namespace {

// Reference time (100 ns) and GStreamer time (ns).
constexpr int64_t kNsPer100 = 100;

// videoconvert ! lumarenderer: decoders' planar frames pass through to the renderer, which
// scales and converts them in one pass; other formats are converted to RGB first.
GstElement *rendererBin(const RendererSettings &settings) {
    GstElement *bin = gst_bin_new("renderer");
    GstElement *convert = gst_element_factory_make("videoconvert", nullptr);
    GstElement *sink = gst_element_factory_make("lumarenderer", "LumaRenderer");
    if (!convert || !sink) {
        if (convert)
            gst_object_unref(convert);
        if (sink)
            gst_object_unref(sink);
        gst_object_unref(bin);
        return nullptr;
    }
    g_object_set(sink, "stretch", gboolean(settings.flags.stretch), "keep-ratio",
                 gboolean(settings.flags.keepRatio), "center", gboolean(settings.flags.center),
                 "device", settings.device.c_str(), "planar", TRUE, nullptr);
    gst_bin_add_many(GST_BIN(bin), convert, sink, nullptr);
    gst_element_link(convert, sink);
    GstPad *pad = gst_element_get_static_pad(convert, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", pad));
    gst_object_unref(pad);
    return bin;
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

MediaGraph::MediaGraph(GstElement *pipeline, Post post)
    : pipeline_(pipeline), post_(std::move(post)), alive_(std::make_shared<MediaGraph *>(this)) {
    GstBus *bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, busSync, this, nullptr);
    gst_object_unref(bus);
}

MediaGraph::~MediaGraph() {
    *alive_ = nullptr;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    GstBus *bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    gst_object_unref(pipeline_);
}

HResult MediaGraph::run() {
    return gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE ? E_FAIL
                                                                                           : S_OK;
}

HResult MediaGraph::pause() {
    return gst_element_set_state(pipeline_, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE ? E_FAIL
                                                                                          : S_OK;
}

HResult MediaGraph::stop() {
    return gst_element_set_state(pipeline_, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE ? E_FAIL
                                                                                         : S_OK;
}

GstState MediaGraph::state() const {
    GstState current = GST_STATE_NULL;
    gst_element_get_state(pipeline_, &current, nullptr, 0);
    return current;
}

std::vector<std::string> MediaGraph::elementNames() const {
    std::vector<std::string> names;
    GstIterator *it = gst_bin_iterate_recurse(GST_BIN(pipeline_));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto *element = GST_ELEMENT(g_value_get_object(&item));
        if (GstElementFactory *factory = gst_element_get_factory(element))
            names.emplace_back(
                gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return names;
}

void MediaGraph::onEvent(const GraphEvent &event) {
    if (handler_)
        handler_(event);
}

void MediaGraph::deliver(const GraphEvent &event) {
    std::weak_ptr<MediaGraph *> alive = alive_;
    post_([alive, event] {
        if (auto self = alive.lock(); self && *self)
            (*self)->onEvent(event);
    });
}

// Runs on whichever thread posted the message: copies what matters and hands it over.
GstBusSyncReply MediaGraph::busSync(GstBus *, GstMessage *message, gpointer data) {
    auto *self = static_cast<MediaGraph *>(data);
    GraphEvent event;
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_EOS:
            event.type = GraphEvent::Complete;
            break;
        case GST_MESSAGE_ERROR: {
            GError *error = nullptr;
            gst_message_parse_error(message, &error, nullptr);
            event.type = error && (error->domain == GST_STREAM_ERROR &&
                                   (error->code == GST_STREAM_ERROR_CODEC_NOT_FOUND ||
                                    error->code == GST_STREAM_ERROR_TYPE_NOT_FOUND ||
                                    error->code == GST_STREAM_ERROR_WRONG_TYPE))
                             ? GraphEvent::RenderFailure
                             : GraphEvent::Error;
            event.text = error ? error->message : "";
            if (event.type == GraphEvent::RenderFailure)
                event.elements = self->elementNames();
            if (error)
                g_error_free(error);
            break;
        }
        case GST_MESSAGE_STATE_CHANGED: {
            if (GST_MESSAGE_SRC(message) != GST_OBJECT(self->pipeline_))
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
    self->deliver(event);
    return GST_BUS_DROP;
}

// --- MovieGraph ------------------------------------------------------------------------------

HResult MovieGraph::create(const std::string &file, const RendererSettings &settings, Post post,
                           std::unique_ptr<MovieGraph> &out) {
    if (!initMediaGraphs())
        return E_FAIL;
    GstElement *playbin = gst_element_factory_make("playbin", "movie");
    GstElement *sink = rendererBin(settings);
    if (!playbin || !sink) {
        if (playbin)
            gst_object_unref(playbin);
        if (sink)
            gst_object_unref(sink);
        return E_FAIL;
    }
    gchar *uri = gst_uri_is_valid(file.c_str()) ? g_strdup(file.c_str())
                                                : gst_filename_to_uri(file.c_str(), nullptr);
    if (!uri) {
        gst_object_unref(playbin);
        gst_object_unref(sink);
        return E_INVALIDARG;
    }
    g_object_set(playbin, "uri", uri, "video-sink", sink, nullptr);
    g_free(uri);
    out.reset(new MovieGraph(playbin, std::move(post)));
    return S_OK;
}

void MovieGraph::onEvent(const GraphEvent &event) {
    GraphEvent e = event;
    // Once the streams are known: a movie without a video stream cannot be rendered.
    if (e.type == GraphEvent::StateChanged && e.state >= GST_STATE_PAUSED && !checkedStreams_) {
        checkedStreams_ = true;
        gint videos = 0;
        g_object_get(pipeline_, "n-video", &videos, nullptr);
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
        gst_element_seek_simple(pipeline_, GST_FORMAT_TIME,
                                GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), 0);
    }
    MediaGraph::onEvent(e);
}

HResult MovieGraph::position(int64_t &out) const {
    gint64 ns = 0;
    if (!gst_element_query_position(pipeline_, GST_FORMAT_TIME, &ns))
        return E_FAIL;
    out = ns / kNsPer100;
    return S_OK;
}

HResult MovieGraph::duration(int64_t &out) const {
    gint64 ns = 0;
    if (!gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &ns) || ns < 0)
        return E_FAIL;
    out = ns / kNsPer100;
    return S_OK;
}

HResult MovieGraph::seek(int64_t position) {
    if (position < 0)
        return E_INVALIDARG;
    return gst_element_seek_simple(pipeline_, GST_FORMAT_TIME,
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
    g_object_set(pipeline_, "volume", volumeToLinear(volume), nullptr);
    return S_OK;
}

long MovieGraph::volume() const {
    gdouble linear = 1.0;
    g_object_get(pipeline_, "volume", &linear, nullptr);
    return linearToVolume(linear);
}

HResult MovieGraph::setMute(bool mute) {
    g_object_set(pipeline_, "mute", gboolean(mute), nullptr);
    return S_OK;
}

bool MovieGraph::muted() const {
    gboolean mute = FALSE;
    g_object_get(pipeline_, "mute", &mute, nullptr);
    return mute;
}

// --- CameraGraph -----------------------------------------------------------------------------

HResult CameraGraph::create(const std::string &source, bool isLumaghost,
                            const RendererSettings &settings, Post post,
                            std::unique_ptr<CameraGraph> &out) {
    if (!initMediaGraphs())
        return E_FAIL;
    GstElement *pipeline = gst_pipeline_new("camera");
    GstElement *src = isLumaghost ? gst_element_factory_make("lumaghostsrc", "source")
                                  : gst_element_factory_make("v4l2src", "source");
    GstElement *sink = rendererBin(settings);
    if (!src || !sink) {
        if (src)
            gst_object_unref(src);
        if (sink)
            gst_object_unref(sink);
        gst_object_unref(pipeline);
        return E_FAIL;
    }
    g_object_set(src, "device", source.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(pipeline), src, sink, nullptr);
    if (!gst_element_link(src, sink)) {
        gst_object_unref(pipeline);
        return E_FAIL;
    }
    out.reset(new CameraGraph(pipeline, std::move(post)));
    return S_OK;
}

// --- PreviewGraph ----------------------------------------------------------------------------

HResult PreviewGraph::create(const std::string &device, FrameCallback callback, Post post,
                             std::unique_ptr<PreviewGraph> &out) {
    if (!initMediaGraphs())
        return E_FAIL;
    GError *error = nullptr;
    GstElement *pipeline = gst_parse_launch(
        "lumaghostsrc name=source ! appsink name=frames sync=false max-buffers=2 drop=true "
        "emit-signals=true",
        &error);
    if (!pipeline || error) {
        if (error)
            g_error_free(error);
        if (pipeline)
            gst_object_unref(pipeline);
        return E_FAIL;
    }
    GstElement *src = gst_bin_get_by_name(GST_BIN(pipeline), "source");
    g_object_set(src, "device", device.c_str(), nullptr);
    gst_object_unref(src);
    std::unique_ptr<PreviewGraph> graph(new PreviewGraph(pipeline, std::move(post)));
    graph->callback_ = std::move(callback);
    GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "frames");
    g_signal_connect(sink, "new-sample", G_CALLBACK(onSample), graph.get());
    gst_object_unref(sink);
    out = std::move(graph);
    return S_OK;
}

GstFlowReturn PreviewGraph::onSample(GstElement *sink, gpointer data) {
    auto *self = static_cast<PreviewGraph *>(data);
    GstSample *sample = gst_app_sink_pull_sample(GST_APP_SINK(sink));
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
    gst_sample_unref(sample);
    return GST_FLOW_OK;
}

}  // namespace lumaghost
