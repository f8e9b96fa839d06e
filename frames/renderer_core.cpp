// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frames/renderer_core.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

#include "frames/resampler.h"

namespace lumaghost {

namespace {

constexpr size_t kInitialPixels = 320 * 240;
// Bands thinner than this are not worth a thread.
constexpr int kMinimumBandRows = 16;

// An image of 32-bit pixels in bitmap memory order: row 0 first, rows `stride` bytes apart.
struct Image32 {
    const uint8_t *first = nullptr;
    int width = 0;
    int height = 0;
    ptrdiff_t stride = 0;
};

}  // namespace

RendererCore::RendererCore()
    : scaled_(kInitialPixels * 4),
      scaledCapacity_(kInitialPixels),
      source_(kInitialPixels * 4),
      sourceCapacity_(kInitialPixels) {}

void RendererCore::growScaled(size_t pixels) {
    if (pixels > scaledCapacity_) {
        scaled_.assign(pixels * 4, 0);
        scaledCapacity_ = pixels;
    }
}

void RendererCore::growSource(size_t pixels) {
    if (pixels > sourceCapacity_) {
        source_.assign(pixels * 4, 0);
        sourceCapacity_ = pixels;
    }
}

// The destination rows in bands, one per thread, the calling thread taking the first.
void RendererCore::resample(const uint8_t *source, int sourceWidth, int sourceHeight,
                            ptrdiff_t sourceStride, uint8_t *destination, int destinationWidth,
                            int destinationHeight, ptrdiff_t destinationStride,
                            int bytesPerPixel) const {
    const PixelLayout layout = bytesPerPixel == 3 ? PixelLayout::Bgr24 : PixelLayout::Bgrx32;
    unsigned threads = threads_ ? threads_ : std::max(1u, std::thread::hardware_concurrency());
    threads = std::min<unsigned>(
        {threads, 64u, unsigned(std::max(1, destinationHeight / kMinimumBandRows))});
    if (threads <= 1) {
        resampleInto(source, sourceWidth, sourceHeight, sourceStride, destination, destinationWidth,
                     destinationHeight, destinationStride, layout);
        return;
    }
    auto band = [&](unsigned i) {
        const int first = int(int64_t(destinationHeight) * i / threads);
        const int last = int(int64_t(destinationHeight) * (i + 1) / threads);
        resampleRows(source, sourceWidth, sourceHeight, sourceStride, destination, destinationWidth,
                     destinationHeight, destinationStride, layout, first, last - first);
    };
    std::vector<std::thread> helpers;
    helpers.reserve(threads - 1);
    for (unsigned i = 1; i < threads; ++i)
        helpers.emplace_back(band, i);
    band(0);
    for (auto &t : helpers)
        t.join();
}

void RendererCore::sizeBuffers(int cameraWidth, int cameraHeight, const InputFrame &input) {
    growScaled(size_t(std::max(cameraWidth, 0)) * size_t(std::max(cameraHeight, 0)));
    growSource(size_t(std::max(input.width, 0)) * size_t(std::max(input.height, 0)));
}

HResult RendererCore::compose(const InputFrame &input, FitFlags flags, uint8_t *frame,
                              int cameraWidth, int cameraHeight, size_t frameBytes) {
    if ((input.bytesPerPixel != 3 && input.bytesPerPixel != 4) || !input.topDown ||
        input.width <= 0 || input.height <= 0 || cameraWidth <= 0 || cameraHeight <= 0)
        return E_FAIL;
    const int inW = input.width, inH = input.height;
    const bool sameSize = inW == cameraWidth && inH == cameraHeight;
    const VideoFit fit = fitVideo({inW, inH}, {cameraWidth, cameraHeight}, flags);

    // Bitmap row i is the input's row inH - 1 - i.
    const uint8_t *bitmapFirst = input.topDown + ptrdiff_t(inH - 1) * input.stride;
    const ptrdiff_t bitmapStride = -input.stride;

    // Source stage: the 32-bit image the later stages read.
    const Rect part = fit.crop ? fit.cropRect : Rect{0, 0, inW, inH};
    Image32 image;
    if (input.bytesPerPixel == 4) {
        // Read in place, the crop too: its rows are those of the input, from its first column.
        image = {bitmapFirst + ptrdiff_t(part.top) * bitmapStride + ptrdiff_t(part.left) * 4,
                 part.width, part.height, bitmapStride};
    } else {
        growSource(size_t(part.width) * part.height);
        uint8_t *out = source_.data();
        for (int y = 0; y < part.height; ++y) {
            const uint8_t *row = bitmapFirst + ptrdiff_t(part.top + y) * bitmapStride +
                                 ptrdiff_t(part.left) * input.bytesPerPixel;
            for (int x = 0; x < part.width; ++x, row += 3, out += 4) {
                out[0] = row[0];
                out[1] = row[1];
                out[2] = row[2];
                out[3] = 0;
            }
        }
        image = {source_.data(), part.width, part.height, ptrdiff_t(part.width) * 4};
    }

    // Fit and copy stages at once: the scaling writes straight into the camera frame when the
    // placed rectangle lies wholly inside it.
    const size_t frameRowBytes = size_t(cameraWidth) * 3;
    if (fit.scale && !sameSize && fit.frameColumn >= 0 && fit.frameRow >= 0 &&
        fit.frameColumn + fit.scaleTo.width <= cameraWidth &&
        fit.frameRow + fit.scaleTo.height <= cameraHeight &&
        size_t(fit.frameRow + fit.scaleTo.height) * frameRowBytes <= frameBytes) {
        resample(image.first, image.width, image.height, image.stride,
                 frame + size_t(fit.frameRow) * frameRowBytes + size_t(fit.frameColumn) * 3,
                 fit.scaleTo.width, fit.scaleTo.height, ptrdiff_t(frameRowBytes), 3);
        return S_OK;
    }

    // Fit stage.
    if (fit.scale && !sameSize) {
        growScaled(size_t(fit.scaleTo.width) * fit.scaleTo.height);
        resample(image.first, image.width, image.height, image.stride, scaled_.data(),
                 fit.scaleTo.width, fit.scaleTo.height, ptrdiff_t(fit.scaleTo.width) * 4, 4);
        image = {scaled_.data(), fit.scaleTo.width, fit.scaleTo.height,
                 ptrdiff_t(fit.scaleTo.width) * 4};
    }

    // Copy stage: each pixel's blue, green and red, bounded by the image and the frame.
    const Rect &copy = fit.copySource;
    for (int y = 0; y < copy.height; ++y) {
        const int frameRow = fit.frameRow + y;
        const int imageRow = copy.top + y;
        if (frameRow < 0 || frameRow >= cameraHeight || imageRow < 0 || imageRow >= image.height)
            continue;
        const size_t rowStart = size_t(frameRow) * frameRowBytes + size_t(fit.frameColumn) * 3;
        if (rowStart >= frameBytes)
            break;
        const int columns =
            std::min({copy.width, image.width - copy.left, cameraWidth - fit.frameColumn,
                      int((frameBytes - rowStart) / 3)});
        const uint8_t *src =
            image.first + ptrdiff_t(imageRow) * image.stride + size_t(copy.left) * 4;
        uint8_t *dst = frame + rowStart;
        for (int x = 0; x < columns; ++x, src += 4, dst += 3) {
            dst[0] = src[0];
            dst[1] = src[1];
            dst[2] = src[2];
        }
    }
    return S_OK;
}

}  // namespace lumaghost
