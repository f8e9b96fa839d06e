// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/gst/slow_source.h"

#include <atomic>
#include <mutex>

namespace {

std::atomic<int> fileOpenMs{0};
std::atomic<int> fileFirstBufferMs{0};

}  // namespace

struct LumaSlowSrc {
    GstBin parent;
    GstElement *child;  // the bin's
    GstPad *ghost;      // the element's
    gchar *uri;
    int openMs;
    int firstBufferMs;
    GMutex lock;  // guards cancelled and first
    GCond wake;
    gboolean cancelled;
    gboolean first;
};

struct LumaSlowSrcClass {
    GstBinClass parent_class;
};

static void luma_slow_src_uri_init(gpointer iface, gpointer data);

G_DEFINE_TYPE_WITH_CODE(LumaSlowSrc, luma_slow_src, GST_TYPE_BIN,
                        G_IMPLEMENT_INTERFACE(GST_TYPE_URI_HANDLER, luma_slow_src_uri_init))

static GstStaticPadTemplate slowSrcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS_ANY);

static LumaSlowSrc *slowSrc(gpointer object) {
    return G_TYPE_CHECK_INSTANCE_CAST(object, luma_slow_src_get_type(), LumaSlowSrc);
}

// The first buffer waits, unless the element stops meanwhile.
static GstPadProbeReturn delayFirstBuffer(GstPad *, GstPadProbeInfo *, gpointer data) {
    LumaSlowSrc *self = slowSrc(data);
    g_mutex_lock(&self->lock);
    if (self->first) {
        self->first = FALSE;
        const gint64 end =
            g_get_monotonic_time() + gint64(self->firstBufferMs) * G_TIME_SPAN_MILLISECOND;
        while (!self->cancelled && g_cond_wait_until(&self->wake, &self->lock, end)) {
        }
    }
    g_mutex_unlock(&self->lock);
    return GST_PAD_PROBE_OK;
}

/// `child` inside, its data pushed out through `tail` (the child itself without one).
static void setChild(LumaSlowSrc *self, GstElement *child, GstElement *tail = nullptr) {
    self->child = child;
    gst_bin_add(GST_BIN(self), child);
    if (tail) {
        gst_bin_add(GST_BIN(self), tail);
        gst_element_link(child, tail);
    } else {
        tail = child;
    }
    GstPad *pad = gst_element_get_static_pad(tail, "src");
    gst_ghost_pad_set_target(GST_GHOST_PAD(self->ghost), pad);
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, delayFirstBuffer, self, nullptr);
    gst_object_unref(pad);
}

static GstStateChangeReturn luma_slow_src_change_state(GstElement *element,
                                                       GstStateChange transition) {
    LumaSlowSrc *self = slowSrc(element);
    switch (transition) {
        case GST_STATE_CHANGE_NULL_TO_READY:
            // As an open() that the device answers late.
            g_usleep(gulong(self->openMs) * 1000);
            break;
        case GST_STATE_CHANGE_READY_TO_PAUSED:
            g_mutex_lock(&self->lock);
            self->cancelled = FALSE;
            self->first = TRUE;
            g_mutex_unlock(&self->lock);
            break;
        case GST_STATE_CHANGE_PAUSED_TO_READY:
            g_mutex_lock(&self->lock);
            self->cancelled = TRUE;
            g_cond_broadcast(&self->wake);
            g_mutex_unlock(&self->lock);
            break;
        default:
            break;
    }
    return GST_ELEMENT_CLASS(luma_slow_src_parent_class)->change_state(element, transition);
}

static void luma_slow_src_finalize(GObject *object) {
    LumaSlowSrc *self = slowSrc(object);
    g_free(self->uri);
    g_mutex_clear(&self->lock);
    g_cond_clear(&self->wake);
    G_OBJECT_CLASS(luma_slow_src_parent_class)->finalize(object);
}

static void luma_slow_src_class_init(LumaSlowSrcClass *klass) {
    GstElementClass *element = GST_ELEMENT_CLASS(klass);
    G_OBJECT_CLASS(klass)->finalize = luma_slow_src_finalize;
    element->change_state = luma_slow_src_change_state;
    gst_element_class_add_static_pad_template(element, &slowSrcTemplate);
    gst_element_class_set_static_metadata(element, "Slow source", "Source",
                                          "A source that is slow to open and to start",
                                          "Lumaghost tests");
}

static void luma_slow_src_init(LumaSlowSrc *self) {
    g_mutex_init(&self->lock);
    g_cond_init(&self->wake);
    GstPadTemplate *pads = gst_static_pad_template_get(&slowSrcTemplate);
    self->ghost = gst_ghost_pad_new_no_target_from_template("src", pads);
    gst_object_unref(pads);
    gst_element_add_pad(GST_ELEMENT(self), self->ghost);
}

static GstURIType slowUriType(GType) {
    return GST_URI_SRC;
}

static const gchar *const *slowUriProtocols(GType) {
    static const gchar *const protocols[] = {"slowfile", nullptr};
    return protocols;
}

static gchar *slowUriGet(GstURIHandler *handler) {
    return g_strdup(slowSrc(handler)->uri);
}

static gboolean slowUriSet(GstURIHandler *handler, const gchar *uri, GError **error) {
    LumaSlowSrc *self = slowSrc(handler);
    gchar *location = gst_uri_get_location(uri);
    if (!location) {
        g_set_error(error, GST_URI_ERROR, GST_URI_ERROR_BAD_URI, "No file in %s", uri);
        return FALSE;
    }
    // Pushed through a queue, as a network source pushes: nothing pulls past the delay.
    if (!self->child)
        setChild(self, gst_element_factory_make("filesrc", nullptr),
                 gst_element_factory_make("queue", nullptr));
    g_object_set(self->child, "location", location, nullptr);
    g_free(location);
    g_free(self->uri);
    self->uri = g_strdup(uri);
    self->openMs = fileOpenMs;
    self->firstBufferMs = fileFirstBufferMs;
    return TRUE;
}

static void luma_slow_src_uri_init(gpointer iface, gpointer) {
    auto *handler = static_cast<GstURIHandlerInterface *>(iface);
    handler->get_type = slowUriType;
    handler->get_protocols = slowUriProtocols;
    handler->get_uri = slowUriGet;
    handler->set_uri = slowUriSet;
}

namespace lumaghost::test {

bool registerSlowSource() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        ok = gst_init_check(nullptr, nullptr, nullptr) &&
             gst_element_register(nullptr, "lumaslowsrc", GST_RANK_PRIMARY,
                                  luma_slow_src_get_type());
    });
    return ok;
}

void setSlowFileTimes(SlowTimes times) {
    fileOpenMs = times.openMs;
    fileFirstBufferMs = times.firstBufferMs;
}

std::string slowFileUri(const std::string &path) {
    return "slowfile://" + path;
}

GstElement *makeSlowCamera(SlowTimes times) {
    if (!registerSlowSource())
        return nullptr;
    LumaSlowSrc *self = slowSrc(g_object_new(luma_slow_src_get_type(), nullptr));
    self->openMs = times.openMs;
    self->firstBufferMs = times.firstBufferMs;
    GstElement *pattern = gst_element_factory_make("videotestsrc", nullptr);
    g_object_set(pattern, "is-live", TRUE, nullptr);
    setChild(self, pattern);
    return GST_ELEMENT(self);
}

}  // namespace lumaghost::test
