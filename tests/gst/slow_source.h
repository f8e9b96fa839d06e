// SPDX-License-Identifier: LGPL-2.1-or-later
// A source that takes its time, as a file on a slow share or a camera that is slow to answer:
// its change to READY (where a device or file is opened) blocks for `openMs`, and its first
// buffer comes `firstBufferMs` later than it could. As "slowfile://PATH" it reads a file for
// playbin; as a camera it is a live test pattern.
#pragma once

#include <gst/gst.h>

#include <string>

namespace lumaghost::test {

struct SlowTimes {
    int openMs = 0;
    int firstBufferMs = 0;
};

/// Registers the element and its URI scheme in this process; safe to call more than once.
bool registerSlowSource();

/// The times of the sources made from a "slowfile://" URI from now on.
void setSlowFileTimes(SlowTimes times);

/// "slowfile://" and the absolute `path`.
std::string slowFileUri(const std::string &path);

/// A live 160 × 120 test pattern at 30 fps that is slow to start; a floating reference.
GstElement *makeSlowCamera(SlowTimes times);

}  // namespace lumaghost::test
