// SPDX-License-Identifier: LGPL-2.1-or-later
// The movie file types this machine's GStreamer plays: those of a list of common movie
// extensions whose container a typefinder names and an installed demuxer, parser or decoder
// takes.
#pragma once

#include <string>
#include <vector>

namespace lumaghost {

/// The extensions (lower case, without the dot) of `candidates` that GStreamer can play here,
/// in their order; empty when GStreamer cannot start.
std::vector<std::string> playableMovieTypes(const std::vector<std::string> &candidates);

/// The common movie extensions playableMovieTypes() is asked about for the open dialogs.
const std::vector<std::string> &commonMovieTypes();
/// playableMovieTypes(commonMovieTypes()), asked once.
const std::vector<std::string> &playableCommonMovieTypes();

}  // namespace lumaghost
