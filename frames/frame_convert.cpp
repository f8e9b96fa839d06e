#include "frames/frame_convert.h"

namespace lumaghost {

namespace {

// The upright row y of a bottom-up frame.
inline const uint8_t *uprightRow(const uint8_t *frame, int width, int height, int y) {
    return frame + size_t(height - 1 - y) * size_t(width) * 3;
}

}  // namespace

size_t yuyvSize(int width, int height) {
    return size_t((width + 1) / 2) * 4 * size_t(height);
}

size_t i420Size(int width, int height) {
    return size_t(width) * height + 2 * size_t((width + 1) / 2) * size_t((height + 1) / 2);
}

void bgrToYuyv(const uint8_t *frame, int width, int height, uint8_t *out) {
    for (int y = 0; y < height; ++y) {
        const uint8_t *row = uprightRow(frame, width, height, y);
        for (int x = 0; x < width; x += 2) {
            const uint8_t *p0 = row + size_t(x) * 3;
            const uint8_t *p1 = x + 1 < width ? p0 + 3 : p0;
            const int r = (p0[2] + p1[2] + 1) / 2, g = (p0[1] + p1[1] + 1) / 2,
                      b = (p0[0] + p1[0] + 1) / 2;
            *out++ = lumaOf(p0[2], p0[1], p0[0]);
            *out++ = blueDifferenceOf(r, g, b);
            *out++ = lumaOf(p1[2], p1[1], p1[0]);
            *out++ = redDifferenceOf(r, g, b);
        }
    }
}

void bgrToI420(const uint8_t *frame, int width, int height, uint8_t *out) {
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    uint8_t *luma = out, *u = out + size_t(width) * height, *v = u + size_t(cw) * ch;
    for (int y = 0; y < height; ++y) {
        const uint8_t *row = uprightRow(frame, width, height, y);
        for (int x = 0; x < width; ++x)
            luma[size_t(y) * width + x] = lumaOf(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
    }
    for (int cy = 0; cy < ch; ++cy) {
        for (int cx = 0; cx < cw; ++cx) {
            int r = 0, g = 0, b = 0, n = 0;
            for (int dy = 0; dy < 2; ++dy) {
                const int y = 2 * cy + dy;
                if (y >= height)
                    continue;
                const uint8_t *row = uprightRow(frame, width, height, y);
                for (int dx = 0; dx < 2; ++dx) {
                    const int x = 2 * cx + dx;
                    if (x >= width)
                        continue;
                    b += row[3 * x], g += row[3 * x + 1], r += row[3 * x + 2], ++n;
                }
            }
            r = (r + n / 2) / n, g = (g + n / 2) / n, b = (b + n / 2) / n;
            u[size_t(cy) * cw + cx] = blueDifferenceOf(r, g, b);
            v[size_t(cy) * cw + cx] = redDifferenceOf(r, g, b);
        }
    }
}

void bgrToBgrx(const uint8_t *frame, int width, int height, uint8_t *out, ptrdiff_t stride) {
    for (int y = 0; y < height; ++y) {
        const uint8_t *row = uprightRow(frame, width, height, y);
        uint8_t *o = out + y * stride;
        for (int x = 0; x < width; ++x, row += 3, o += 4) {
            o[0] = row[0];
            o[1] = row[1];
            o[2] = row[2];
            o[3] = 255;
        }
    }
}

}  // namespace lumaghost
