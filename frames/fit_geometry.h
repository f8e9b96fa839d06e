// SPDX-License-Identifier: LGPL-2.1-or-later
// Where a picture or a video frame goes in the camera frame, by the three fit switches.
#pragma once

namespace lumaghost {

struct FitFlags {
    int stretch = 1;
    int keepRatio = 1;
    int center = 1;
};

/// Scaled with its aspect ratio kept to fill the camera, showing its middle: a picture's
/// switches unless set otherwise (lumacam send).
inline constexpr FitFlags kFitFill{1, 1, 1};
/// Scaled with its aspect ratio kept to lie wholly in the camera, black beside or above it: the
/// renderer's switches unless set otherwise, and the play service's for frames of another size.
inline constexpr FitFlags kFitLetterbox{1, 1, 0};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size &, const Size &) = default;
};

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect &, const Rect &) = default;
};

/// The largest rectangle with the aspect ratio of a that fits inside b, each side truncated but
/// at least 1 (0 × 0 when either is empty).
Size fitAspect(int aWidth, int aHeight, int bWidth, int bHeight);

/// A picture drawn into a target surface: which part of it, drawn over which part of the
/// target (top-down coordinates of both). Sizes that differ are scaled.
struct PictureFit {
    Rect source;
    Rect destination;
    friend bool operator==(const PictureFit &, const PictureFit &) = default;
};
PictureFit fitPicture(Size picture, Size target, FitFlags flags);

/// A video frame in the camera frame, in memory order: an optional crop of the input, an
/// optional scaling, then the rectangle of the (cropped, scaled) image copied to a place in
/// the camera frame. Frame pixels outside it are not written.
struct VideoFit {
    bool crop = false;
    Rect cropRect;  // in the input
    bool scale = false;
    Size scaleFrom;  // the input or its crop
    Size scaleTo;
    Rect copySource;  // in the image the copy reads (input, crop or scaled)
    int frameColumn = 0;
    int frameRow = 0;
    friend bool operator==(const VideoFit &, const VideoFit &) = default;
};
VideoFit fitVideo(Size input, Size camera, FitFlags flags);

}  // namespace lumaghost
