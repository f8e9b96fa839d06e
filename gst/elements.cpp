// SPDX-License-Identifier: LGPL-2.1-or-later
#include "gst/elements.h"

#include <gst/gst.h>

#include "gst/lumaghostsrc.h"
#include "gst/lumarenderer.h"

namespace lumaghost {

gboolean lumaghostPluginInit(GstPlugin *plugin) {
    return gst_element_register(plugin, "lumarenderer", GST_RANK_NONE, LUMA_TYPE_RENDERER) &&
           gst_element_register(plugin, "lumaghostsrc", GST_RANK_NONE, LUMA_TYPE_GHOST_SRC);
}

bool registerGstElements() {
    static const bool registered = gst_plugin_register_static(
        GST_VERSION_MAJOR, GST_VERSION_MINOR, "lumaghost", kPluginDescription, lumaghostPluginInit,
        kPluginVersion, kPluginLicense, "lumaghost", kPluginPackage, kPluginOrigin);
    return registered;
}

}  // namespace lumaghost
