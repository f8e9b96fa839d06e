// SPDX-License-Identifier: LGPL-2.1-or-later
// Test media made by GStreamer pipelines, for the tests that play files.
#pragma once

#include <filesystem>
#include <string>

#include <gst/gst.h>
#include <gtest/gtest.h>

namespace lumaghost::test {

/// Runs `pipeline` into a file sink at `path` until its end of stream.
inline void writeMediaFile(const std::filesystem::path &path, const std::string &pipeline) {
    gst_init(nullptr, nullptr);  // a test may make its files before anything else starts GStreamer
    GError *error = nullptr;
    GstElement *p =
        gst_parse_launch((pipeline + " ! filesink location=" + path.string()).c_str(), &error);
    EXPECT_EQ(error, nullptr);
    gst_element_set_state(p, GST_STATE_PLAYING);
    GstBus *bus = gst_element_get_bus(p);
    GstMessage *m = gst_bus_timed_pop_filtered(bus, 20 * GST_SECOND,
                                               GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    EXPECT_TRUE(m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS);
    if (m)
        gst_message_unref(m);
    gst_object_unref(bus);
    gst_element_set_state(p, GST_STATE_NULL);
    gst_object_unref(p);
}

}  // namespace lumaghost::test
