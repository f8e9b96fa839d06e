// SPDX-License-Identifier: LGPL-2.1-or-later
// lumaghostsrc: a live source of what a Lumaghost camera shows.
#pragma once

#include <gst/base/gstpushsrc.h>

G_BEGIN_DECLS

#define LUMA_TYPE_GHOST_SRC (luma_ghost_src_get_type())
G_DECLARE_FINAL_TYPE(LumaGhostSrc, luma_ghost_src, LUMA, GHOST_SRC, GstPushSrc)

G_END_DECLS
