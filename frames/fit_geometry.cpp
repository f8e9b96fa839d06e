// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frames/fit_geometry.h"

#include <algorithm>

namespace lumaghost {

Size fitAspect(int aWidth, int aHeight, int bWidth, int bHeight) {
    if (aWidth == bWidth && aHeight == bHeight)
        return {aWidth, aHeight};
    if (aWidth <= 0 || aHeight <= 0 || bWidth <= 0 || bHeight <= 0)
        return {0, 0};
    const double ra = double(aWidth) / aHeight;
    const double rb = double(bWidth) / bHeight;
    // A side that truncates to nothing keeps one pixel: a picture one pixel wide or high still
    // has a part to show and a place to be shown.
    if (ra < rb)
        return {std::max(1, static_cast<int>(bHeight * ra)), bHeight};
    return {bWidth, std::max(1, static_cast<int>(bWidth / ra))};
}

PictureFit fitPicture(Size picture, Size target, FitFlags flags) {
    const int pw = picture.width, ph = picture.height, tw = target.width, th = target.height;
    const Rect wholePicture{0, 0, pw, ph};
    const Rect wholeTarget{0, 0, tw, th};
    if (picture == target)
        return {wholePicture, {0, 0, pw, ph}};

    if (!flags.stretch && !flags.center) {
        const int w = std::min(pw, tw), h = std::min(ph, th);
        return {{0, 0, w, h}, {0, 0, w, h}};
    }
    if (!flags.stretch) {
        PictureFit fit{wholePicture, wholeTarget};
        // One axis at a time: a larger picture shows its middle, a smaller one sits in the middle.
        auto centre = [](int p, int t, int &srcStart, int &srcLength, int &dstStart,
                         int &dstLength) {
            if (p > t) {
                const int d = (p - t) / 2;
                srcStart = d;
                srcLength = p - 2 * d;
                dstStart = 0;
                dstLength = t;
            } else {
                const int d = (t - p) / 2;
                srcStart = 0;
                srcLength = p;
                dstStart = d;
                dstLength = t - 2 * d;
            }
        };
        centre(pw, tw, fit.source.left, fit.source.width, fit.destination.left,
               fit.destination.width);
        centre(ph, th, fit.source.top, fit.source.height, fit.destination.top,
               fit.destination.height);
        return fit;
    }
    if (!flags.keepRatio)
        return {wholePicture, wholeTarget};
    if (!flags.center) {
        const Size s = fitAspect(pw, ph, tw, th);
        return {wholePicture, {(tw - s.width) / 2, (th - s.height) / 2, s.width, s.height}};
    }
    const Size s = fitAspect(tw, th, pw, ph);
    return {{(pw - s.width) / 2, (ph - s.height) / 2, s.width, s.height}, wholeTarget};
}

VideoFit fitVideo(Size input, Size camera, FitFlags flags) {
    VideoFit fit;
    if (input == camera) {
        fit.copySource = {0, 0, input.width, input.height};
        return fit;
    }
    if (!flags.stretch) {
        const int w = std::min(camera.width, input.width);
        const int h = std::min(camera.height, input.height);
        fit.copySource = {0, 0, w, h};
        if (flags.center) {
            fit.copySource.left = (input.width - w) / 2;
            fit.copySource.top = (input.height - h) / 2;
            fit.frameColumn = (camera.width - w) / 2;
            fit.frameRow = (camera.height - h) / 2;
        }
        return fit;
    }
    fit.scale = true;
    fit.scaleFrom = input;
    fit.scaleTo = camera;
    if (flags.keepRatio && !flags.center) {
        fit.scaleTo = fitAspect(input.width, input.height, camera.width, camera.height);
        fit.frameColumn = (camera.width - fit.scaleTo.width) / 2;
        fit.frameRow = (camera.height - fit.scaleTo.height) / 2;
    } else if (flags.keepRatio) {
        const Size crop = fitAspect(camera.width, camera.height, input.width, input.height);
        fit.crop = true;
        fit.cropRect = {(input.width - crop.width) / 2, (input.height - crop.height) / 2,
                        crop.width, crop.height};
        fit.scaleFrom = crop;
    }
    fit.copySource = {0, 0, fit.scaleTo.width, fit.scaleTo.height};
    return fit;
}

}  // namespace lumaghost
