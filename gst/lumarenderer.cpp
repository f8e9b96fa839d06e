// SPDX-License-Identifier: LGPL-2.1-or-later
// lumarenderer: the renderer as a GStreamer video sink.
//
// Every frame is fitted into the camera frame by the fit switches and committed to the camera
// through the sink's own camera link. An incoming frame is read as a bottom-up bitmap (its last
// row first), so the fit geometry works in the bitmap's memory order and pictures arrive
// upright in the camera, whose frames are bottom-up too.
//
//   gst-launch-1.0 videotestsrc num-buffers=90 ! videoconvert ! lumarenderer
//   gst-launch-1.0 filesrc location=movie.mp4 ! decodebin ! videoconvert !
//       lumarenderer stretch=true keep-ratio=true center=true device=Lumaghost
//   (n-threads=4 splits the scaling of large frames across four threads)
#include "gst/lumarenderer.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "camera/camera_link.h"
#include "frames/fit_geometry.h"
#include "frames/renderer_core.h"

GST_DEBUG_CATEGORY_STATIC(luma_renderer_debug);
#define GST_CAT_DEFAULT luma_renderer_debug

static GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("{ BGRx, BGR }")));

enum { PROP_0, PROP_STRETCH, PROP_KEEP_RATIO, PROP_CENTER, PROP_DEVICE, PROP_N_THREADS };

constexpr guint kDefaultThreads = 1;

namespace {

struct RendererState {
    std::mutex propertiesMutex;  // guards the five properties
    lumaghost::FitFlags flags = lumaghost::kFitLetterbox;
    std::string device = lumaghost::kCameraName;
    guint threads = kDefaultThreads;

    // The streaming thread's own.
    lumaghost::CameraLink link;
    lumaghost::RendererCore core;
    GstVideoInfo info{};
    bool firstSample = true;
};

}  // namespace

struct _LumaRenderer {
    GstVideoSink parent;
    RendererState *state;
};

G_DEFINE_TYPE(LumaRenderer, luma_renderer, GST_TYPE_VIDEO_SINK)

static void luma_renderer_set_property(GObject *object, guint id, const GValue *value,
                                       GParamSpec *pspec) {
    RendererState *s = LUMA_RENDERER(object)->state;
    std::lock_guard lock(s->propertiesMutex);
    switch (id) {
        case PROP_STRETCH:
            s->flags.stretch = g_value_get_boolean(value);
            break;
        case PROP_KEEP_RATIO:
            s->flags.keepRatio = g_value_get_boolean(value);
            break;
        case PROP_CENTER:
            s->flags.center = g_value_get_boolean(value);
            break;
        case PROP_DEVICE: {
            const gchar *name = g_value_get_string(value);
            s->device = name ? name : "";
            break;
        }
        case PROP_N_THREADS:
            s->threads = g_value_get_uint(value);
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

static void luma_renderer_get_property(GObject *object, guint id, GValue *value,
                                       GParamSpec *pspec) {
    RendererState *s = LUMA_RENDERER(object)->state;
    std::lock_guard lock(s->propertiesMutex);
    switch (id) {
        case PROP_STRETCH:
            g_value_set_boolean(value, s->flags.stretch);
            break;
        case PROP_KEEP_RATIO:
            g_value_set_boolean(value, s->flags.keepRatio);
            break;
        case PROP_CENTER:
            g_value_set_boolean(value, s->flags.center);
            break;
        case PROP_DEVICE:
            g_value_set_string(value, s->device.c_str());
            break;
        case PROP_N_THREADS:
            g_value_set_uint(value, s->threads);
            break;
        default:
            G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
}

static gboolean luma_renderer_start(GstBaseSink *sink) {
    RendererState *s = LUMA_RENDERER(sink)->state;
    std::string device;
    {
        std::lock_guard lock(s->propertiesMutex);
        device = s->device;
    }
    s->link = lumaghost::CameraLink();
    const lumaghost::HResult r = lumaghost::openCameraLink(s->link, device);
    if (r.failed()) {
        GST_ELEMENT_ERROR(sink, RESOURCE, OPEN_WRITE,
                          ("Could not open the camera \"%s\".", device.c_str()),
                          ("openCameraLink failed: %s", r.toString().c_str()));
        return FALSE;
    }
    s->firstSample = true;
    return TRUE;
}

static gboolean luma_renderer_stop(GstBaseSink *sink) {
    RendererState *s = LUMA_RENDERER(sink)->state;
    s->link = lumaghost::CameraLink();
    return TRUE;
}

static gboolean luma_renderer_set_info(GstVideoSink *sink, GstCaps *, const GstVideoInfo *info) {
    RendererState *s = LUMA_RENDERER(sink)->state;
    s->info = *info;
    return TRUE;
}

static GstFlowReturn luma_renderer_show_frame(GstVideoSink *sink, GstBuffer *buffer) {
    RendererState *s = LUMA_RENDERER(sink)->state;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &s->info, buffer, GST_MAP_READ)) {
        GST_WARNING_OBJECT(sink, "Could not map the frame; dropped");
        return GST_FLOW_OK;
    }
    lumaghost::FitFlags flags;
    {
        std::lock_guard lock(s->propertiesMutex);
        flags = s->flags;
        s->core.setThreadCount(s->threads);
    }
    lumaghost::InputFrame input;
    input.width = GST_VIDEO_FRAME_WIDTH(&frame);
    input.height = GST_VIDEO_FRAME_HEIGHT(&frame);
    input.bytesPerPixel = GST_VIDEO_FRAME_FORMAT(&frame) == GST_VIDEO_FORMAT_BGR ? 3 : 4;
    input.topDown = static_cast<const uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    input.stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);

    // The first sample's descriptor only tells the camera's size, for the work buffers; then
    // every sample is fetched, composed and committed. A camera that took another frame size is
    // opened again at it and the sample goes there.
    lumaghost::HResult r = lumaghost::S_OK;
    for (int attempt = 0; attempt < 2; ++attempt) {
        r = lumaghost::S_OK;
        if (s->firstSample) {
            s->firstSample = false;
            lumaghost::FrameDescriptor d;
            r = lumaghost::getFrameDescriptor(s->link, d);
            if (r.succeeded())
                s->core.sizeBuffers(d.width, d.height, input);
        }
        if (r.succeeded())
            r = lumaghost::pushFrameToCamera(s->link, [&](const lumaghost::FrameDescriptor &d) {
                return s->core.compose(input, flags, d.buffer(), d.width, d.height, d.byteCount);
            });
        if (r != lumaghost::kCameraFormatChanged || attempt > 0)
            break;
        std::string device;
        {
            std::lock_guard lock(s->propertiesMutex);
            device = s->device;
        }
        s->link = lumaghost::CameraLink();
        r = lumaghost::openCameraLink(s->link, device);
        if (r.failed())
            break;
        GST_INFO_OBJECT(sink, "The camera \"%s\" took another frame size", device.c_str());
        s->firstSample = true;
    }
    gst_video_frame_unmap(&frame);
    // A frame the camera did not take is dropped, not an error of the stream.
    if (r.failed())
        GST_WARNING_OBJECT(sink, "Frame not delivered to the camera: %s", r.toString().c_str());
    return GST_FLOW_OK;
}

static void luma_renderer_finalize(GObject *object) {
    delete LUMA_RENDERER(object)->state;
    G_OBJECT_CLASS(luma_renderer_parent_class)->finalize(object);
}

static void luma_renderer_init(LumaRenderer *self) {
    self->state = new RendererState;
}

static void luma_renderer_class_init(LumaRendererClass *klass) {
    GObjectClass *object = G_OBJECT_CLASS(klass);
    GstElementClass *element = GST_ELEMENT_CLASS(klass);
    GstBaseSinkClass *base = GST_BASE_SINK_CLASS(klass);
    GstVideoSinkClass *video = GST_VIDEO_SINK_CLASS(klass);

    GST_DEBUG_CATEGORY_INIT(luma_renderer_debug, "lumarenderer", 0, "Lumaghost renderer");

    object->set_property = luma_renderer_set_property;
    object->get_property = luma_renderer_get_property;
    object->finalize = luma_renderer_finalize;

    const auto flags =
        GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY);
    g_object_class_install_property(
        object, PROP_STRETCH,
        g_param_spec_boolean("stretch", "Stretch", "Scale the video to the camera frame",
                             lumaghost::kFitLetterbox.stretch, flags));
    g_object_class_install_property(
        object, PROP_KEEP_RATIO,
        g_param_spec_boolean("keep-ratio", "Keep ratio",
                             "Keep the video's aspect ratio when scaling",
                             lumaghost::kFitLetterbox.keepRatio, flags));
    g_object_class_install_property(
        object, PROP_CENTER,
        g_param_spec_boolean(
            "center", "Center",
            "Centre the video; with stretch and keep-ratio, fill the frame with its middle",
            lumaghost::kFitLetterbox.center, flags));
    g_object_class_install_property(
        object, PROP_DEVICE,
        g_param_spec_string("device", "Device", "FriendlyName of the camera to feed",
                            lumaghost::kCameraName, flags));
    g_object_class_install_property(
        object, PROP_N_THREADS,
        g_param_spec_uint(
            "n-threads", "Threads",
            "Maximum number of threads to scale with (0: one per processor)", 0, G_MAXUINT,
            kDefaultThreads,
            GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING)));

    gst_element_class_set_static_metadata(element, "Lumaghost renderer", "Sink/Video",
                                          "Fits video frames into the Lumaghost virtual camera",
                                          "Lumaghost developers");
    gst_element_class_add_static_pad_template(element, &sinkTemplate);

    base->start = luma_renderer_start;
    base->stop = luma_renderer_stop;
    video->set_info = luma_renderer_set_info;
    video->show_frame = luma_renderer_show_frame;
}
