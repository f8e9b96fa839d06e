// SPDX-License-Identifier: LGPL-2.1-or-later
// lumarenderer: a video sink that fits every frame into the Lumaghost camera.
#pragma once

#include <gst/video/gstvideosink.h>

G_BEGIN_DECLS

#define LUMA_TYPE_RENDERER (luma_renderer_get_type())
G_DECLARE_FINAL_TYPE(LumaRenderer, luma_renderer, LUMA, RENDERER, GstVideoSink)

G_END_DECLS
