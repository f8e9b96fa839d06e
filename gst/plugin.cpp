// SPDX-License-Identifier: LGPL-2.1-or-later
// The "lumaghost" plugin for gst-launch-1.0 and other GStreamer programs (GST_PLUGIN_PATH).
#include <gst/gst.h>

#include "gst/elements.h"

namespace lumaghost {
gboolean lumaghostPluginInit(GstPlugin *plugin);
}

static gboolean pluginInit(GstPlugin *plugin) {
    return lumaghost::lumaghostPluginInit(plugin);
}

#define PACKAGE "lumaghost"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, lumaghost, lumaghost::kPluginDescription,
                  pluginInit, lumaghost::kPluginVersion, lumaghost::kPluginLicense,
                  lumaghost::kPluginPackage, lumaghost::kPluginOrigin)
