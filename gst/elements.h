// The "lumaghost" GStreamer elements, for our programs that link them in.
#pragma once

namespace lumaghost {

/// Registers lumarenderer and lumaghostsrc with GStreamer once; gst_init must have run.
bool registerGstElements();

}  // namespace lumaghost
