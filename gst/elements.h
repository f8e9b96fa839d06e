// SPDX-License-Identifier: LGPL-2.1-or-later
// The "lumaghost" GStreamer elements, for our programs that link them in.
#pragma once

#include "platform/project_info.h"

namespace lumaghost {

/// The plugin as gst-inspect-1.0 shows it, for the plugin file and for the programs alike.
inline constexpr char kPluginDescription[] = "Lumaghost virtual camera elements";
inline constexpr const char *kPluginVersion = kProjectVersion;
/// GStreamer's name for the project's licence, the LGPL 2.1 or later.
inline constexpr char kPluginLicense[] = "LGPL";
inline constexpr char kPluginPackage[] = "Lumaghost";
inline constexpr char kPluginOrigin[] = "file:///usr/share/doc/lumaghost";

/// Registers lumarenderer and lumaghostsrc with GStreamer once; gst_init must have run.
bool registerGstElements();

}  // namespace lumaghost
