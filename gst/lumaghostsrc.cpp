// SPDX-License-Identifier: LGPL-2.1-or-later
// lumaghostsrc: captures the committed frames of a Lumaghost camera, by FriendlyName, as upright
// BGR at the camera's size and rate. A new commit is delivered at once; without one, the last
// frame is repeated at the camera's rate; before the first, the frames are black.
//
//   gst-launch-1.0 lumaghostsrc device=Lumaghost ! videoconvert ! autovideosink
#include "gst/lumaghostsrc.h"

#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/camera_link.h"
#include "camera/camera_reader.h"

GST_DEBUG_CATEGORY_STATIC(luma_ghost_src_debug);
#define GST_CAT_DEFAULT luma_ghost_src_debug

static GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("BGR")));

enum { PROP_0, PROP_DEVICE };

namespace {

struct SourceState {
    std::mutex propertiesMutex;  // guards device
    std::string device = lumaghost::kCameraName;

    std::unique_ptr<lumaghost::CameraReader> camera;  // the streaming thread's
    lumaghost::ChannelFormat format;                  // the stream's, taken at the start
    GstVideoInfo info{};
    std::vector<uint8_t> frame, latest;
    uint64_t seen = 0;
    GstClockTime nextDeadline = GST_CLOCK_TIME_NONE;
    std::atomic<bool> flushing{false};
};

GstClockTime monotonicNow() {
    return GstClockTime(g_get_monotonic_time()) * GST_USECOND;
}

}  // namespace

struct _LumaGhostSrc {
    GstPushSrc parent;
    SourceState *state;
};

G_DEFINE_TYPE(LumaGhostSrc, luma_ghost_src, GST_TYPE_PUSH_SRC)

static void luma_ghost_src_set_property(GObject *object, guint id, const GValue *value,
                                        GParamSpec *pspec) {
    SourceState *s = LUMA_GHOST_SRC(object)->state;
    if (id != PROP_DEVICE) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    std::lock_guard lock(s->propertiesMutex);
    const gchar *name = g_value_get_string(value);
    s->device = name ? name : "";
}

static void luma_ghost_src_get_property(GObject *object, guint id, GValue *value,
                                        GParamSpec *pspec) {
    SourceState *s = LUMA_GHOST_SRC(object)->state;
    if (id != PROP_DEVICE) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    std::lock_guard lock(s->propertiesMutex);
    g_value_set_string(value, s->device.c_str());
}

static gboolean luma_ghost_src_start(GstBaseSrc *src) {
    SourceState *s = LUMA_GHOST_SRC(src)->state;
    std::string device;
    {
        std::lock_guard lock(s->propertiesMutex);
        device = s->device;
    }
    const lumaghost::HResult r = lumaghost::CameraReader::open(device, s->camera);
    if (r.failed()) {
        GST_ELEMENT_ERROR(src, RESOURCE, OPEN_READ,
                          ("Could not open the Lumaghost camera \"%s\".", device.c_str()),
                          ("%s", r.toString().c_str()));
        return FALSE;
    }
    s->format = s->camera->format();
    gst_video_info_set_format(&s->info, GST_VIDEO_FORMAT_BGR, s->format.width, s->format.height);
    GST_VIDEO_INFO_FPS_N(&s->info) = gint(s->format.fps);
    GST_VIDEO_INFO_FPS_D(&s->info) = 1;
    s->frame.assign(s->camera->frameBytes(), 0);
    s->seen = s->camera->commitSequence();
    s->nextDeadline = GST_CLOCK_TIME_NONE;
    s->flushing = false;
    return TRUE;
}

static gboolean luma_ghost_src_stop(GstBaseSrc *src) {
    LUMA_GHOST_SRC(src)->state->camera.reset();
    return TRUE;
}

static GstCaps *luma_ghost_src_get_caps(GstBaseSrc *src, GstCaps *filter) {
    SourceState *s = LUMA_GHOST_SRC(src)->state;
    GstCaps *caps = s->camera ? gst_video_info_to_caps(&s->info)
                              : gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(src));
    if (filter) {
        GstCaps *both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

static gboolean luma_ghost_src_unlock(GstBaseSrc *src) {
    LUMA_GHOST_SRC(src)->state->flushing = true;
    return TRUE;
}

static gboolean luma_ghost_src_unlock_stop(GstBaseSrc *src) {
    LUMA_GHOST_SRC(src)->state->flushing = false;
    return TRUE;
}

static GstFlowReturn luma_ghost_src_create(GstPushSrc *push, GstBuffer **out) {
    SourceState *s = LUMA_GHOST_SRC(push)->state;
    const GstClockTime period = gst_util_uint64_scale_int(GST_SECOND, 1, gint(s->format.fps));
    if (!GST_CLOCK_TIME_IS_VALID(s->nextDeadline))
        s->nextDeadline = monotonicNow();
    // A channel that was re-created or damaged is opened afresh and checked again; while the
    // file holds no channel of this stream's frame size, the last frame is repeated. The
    // stream keeps the rate it started with.
    if (s->camera->followReplacedChannel())
        s->seen = 0;

    // Wait for a commit until the next frame is due, waking at once when one comes.
    for (;;) {
        if (s->flushing)
            return GST_FLOW_FLUSHING;
        const GstClockTime now = monotonicNow();
        if (s->camera->commitSequence() != s->seen || now >= s->nextDeadline)
            break;
        const GstClockTime left = std::min<GstClockTime>(s->nextDeadline - now, 50 * GST_MSECOND);
        s->camera->waitForCommit(s->seen, int(std::max<GstClockTime>(left / GST_MSECOND, 1)));
    }
    // A frame that cannot be read leaves the last one on show, until the next commit.
    if (s->camera->readLatest(s->latest, &s->seen))
        s->frame.swap(s->latest);
    else
        s->seen = s->camera->commitSequence();
    s->nextDeadline = monotonicNow() + period;

    GstBuffer *buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&s->info), nullptr);
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &s->info, buffer, GST_MAP_WRITE)) {
        gst_buffer_unref(buffer);
        return GST_FLOW_ERROR;
    }
    // The camera's frame is bottom-up: its last row is the picture's top.
    const size_t rowBytes = size_t(s->format.width) * 3;
    auto *dst = static_cast<uint8_t *>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const gint stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    for (uint32_t y = 0; y < s->format.height; ++y)
        std::memcpy(dst + size_t(y) * stride,
                    s->frame.data() + size_t(s->format.height - 1 - y) * rowBytes, rowBytes);
    gst_video_frame_unmap(&frame);
    GST_BUFFER_DURATION(buffer) = period;
    *out = buffer;
    return GST_FLOW_OK;
}

static void luma_ghost_src_finalize(GObject *object) {
    delete LUMA_GHOST_SRC(object)->state;
    G_OBJECT_CLASS(luma_ghost_src_parent_class)->finalize(object);
}

static void luma_ghost_src_init(LumaGhostSrc *self) {
    self->state = new SourceState;
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
    gst_base_src_set_do_timestamp(GST_BASE_SRC(self), TRUE);
}

static void luma_ghost_src_class_init(LumaGhostSrcClass *klass) {
    GObjectClass *object = G_OBJECT_CLASS(klass);
    GstElementClass *element = GST_ELEMENT_CLASS(klass);
    GstBaseSrcClass *base = GST_BASE_SRC_CLASS(klass);
    GstPushSrcClass *push = GST_PUSH_SRC_CLASS(klass);

    GST_DEBUG_CATEGORY_INIT(luma_ghost_src_debug, "lumaghostsrc", 0, "Lumaghost camera source");

    object->set_property = luma_ghost_src_set_property;
    object->get_property = luma_ghost_src_get_property;
    object->finalize = luma_ghost_src_finalize;
    g_object_class_install_property(
        object, PROP_DEVICE,
        g_param_spec_string(
            "device", "Device", "FriendlyName of the Lumaghost camera", lumaghost::kCameraName,
            GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY)));

    gst_element_class_set_static_metadata(element, "Lumaghost camera source", "Source/Video",
                                          "Captures the frames of a Lumaghost virtual camera",
                                          "Lumaghost developers");
    gst_element_class_add_static_pad_template(element, &srcTemplate);

    base->start = luma_ghost_src_start;
    base->stop = luma_ghost_src_stop;
    base->get_caps = luma_ghost_src_get_caps;
    base->unlock = luma_ghost_src_unlock;
    base->unlock_stop = luma_ghost_src_unlock_stop;
    push->create = luma_ghost_src_create;
}
