// The "lumaghost" plugin for gst-launch-1.0 and other GStreamer programs (GST_PLUGIN_PATH).
#include <gst/gst.h>

namespace lumaghost {
gboolean lumaghostPluginInit(GstPlugin *plugin);
}

static gboolean pluginInit(GstPlugin *plugin) {
    return lumaghost::lumaghostPluginInit(plugin);
}

#define PACKAGE "lumaghost"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, lumaghost,
                  "Lumaghost virtual camera elements", pluginInit, "0.1.0", "LGPL", "Lumaghost",
                  "file:///usr/share/doc/lumaghost")
