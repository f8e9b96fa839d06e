// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frames/frame_compose.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "frames/resampler.h"

namespace lumaghost {

void readSurfaceIntoFrame(const ImageView &surface, const Rect &rect, uint8_t *frame,
                          size_t frameBytes) {
    if (rect.width <= 0 || rect.height <= 0)
        return;
    uint8_t *out = frame;
    uint8_t *const end = frame + frameBytes;
    for (int r = rect.height - 1; r >= 0; --r) {
        const int y = rect.top + r;
        const bool rowInside = y >= 0 && y < surface.height;
        const uint8_t *row = rowInside ? surface.pixels + size_t(y) * surface.stride : nullptr;
        for (int c = 0; c < rect.width; ++c) {
            if (end - out < 3)
                return;
            const int x = rect.left + c;
            if (rowInside && x >= 0 && x < surface.width) {
                const uint8_t *p = row + size_t(x) * 4;
                out[0] = p[0];
                out[1] = p[1];
                out[2] = p[2];
            } else {
                out[0] = out[1] = out[2] = 0;
            }
            out += 3;
        }
    }
}

namespace {

// Copies a rectangle of an image into a packed buffer; parts outside the image stay black.
std::vector<uint8_t> cropPacked(const ImageView &image, const Rect &rect) {
    std::vector<uint8_t> out(size_t(rect.width) * rect.height * 4, 0);
    for (int y = 0; y < rect.height; ++y) {
        const int sy = rect.top + y;
        if (sy < 0 || sy >= image.height)
            continue;
        const int x0 = std::max(0, -rect.left);
        const int x1 = std::min(rect.width, image.width - rect.left);
        if (x1 > x0)
            std::memcpy(out.data() + (size_t(y) * rect.width + x0) * 4,
                        image.pixels + size_t(sy) * image.stride + size_t(rect.left + x0) * 4,
                        size_t(x1 - x0) * 4);
    }
    return out;
}

}  // namespace

void composePictureFrame(const ImageView &picture, const CameraFrame &frame, FitFlags flags) {
    const int tw = frame.width, th = frame.height;
    if (tw <= 0 || th <= 0)
        return;
    std::vector<uint8_t> surface(size_t(tw) * th * 4, 0);

    if (picture.pixels && picture.width > 0 && picture.height > 0) {
        const PictureFit fit = fitPicture({picture.width, picture.height}, {tw, th}, flags);
        const Rect &src = fit.source, &dst = fit.destination;
        if (src.width > 0 && src.height > 0 && dst.width > 0 && dst.height > 0) {
            std::vector<uint8_t> part = cropPacked(picture, src);
            std::vector<uint8_t> scaled;
            const uint8_t *drawn = part.data();
            if (src.width != dst.width || src.height != dst.height) {
                scaled.resize(size_t(dst.width) * dst.height * 4);
                resampleImage(part.data(), src.width, src.height, scaled.data(), dst.width,
                              dst.height);
                drawn = scaled.data();
            }
            // Draw into the surface, clipped to it.
            for (int y = 0; y < dst.height; ++y) {
                const int ty = dst.top + y;
                if (ty < 0 || ty >= th)
                    continue;
                const int x0 = std::max(0, -dst.left);
                const int x1 = std::min(dst.width, tw - dst.left);
                if (x1 > x0)
                    std::memcpy(surface.data() + (size_t(ty) * tw + dst.left + x0) * 4,
                                drawn + (size_t(y) * dst.width + x0) * 4, size_t(x1 - x0) * 4);
            }
        }
    }
    const ImageView view{surface.data(), tw, th, size_t(tw) * 4};
    readSurfaceIntoFrame(view, {0, 0, tw, th}, frame.pixels, frame.byteCount);
}

void placePickFrame(PickFrame &pick, int cameraWidth, int cameraHeight) {
    if (pick.shown && pick.right - pick.left == cameraWidth)
        return;
    pick.left = (pick.left + pick.right) / 2 - cameraWidth / 2;
    pick.top = (pick.top + pick.bottom) / 2 - cameraHeight / 2;
    pick.right = pick.left + cameraWidth;
    pick.bottom = pick.top + cameraHeight;
    pick.shown = true;
}

void capturePickedRegion(const ImageView &view, PickFrame &pick, const CameraFrame &frame) {
    placePickFrame(pick, frame.width, frame.height);
    readSurfaceIntoFrame(view, {pick.left, pick.top, frame.width, frame.height}, frame.pixels,
                         frame.byteCount);
}

}  // namespace lumaghost
