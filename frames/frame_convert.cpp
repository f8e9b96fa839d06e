// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frames/frame_convert.h"

#include <algorithm>
#include <initializer_list>

#include "frames/frame_convert_kernels.h"

namespace lumaghost {

namespace {

// The upright row y of a bottom-up frame.
inline const uint8_t *uprightRow(const uint8_t *frame, ptrdiff_t stride, int height, int y) {
    return frame + ptrdiff_t(height - 1 - y) * stride;
}

// The rows converted next are fetched while these are: a frame fresh from another process is
// rarely in this core's cache, and the rows run bottom to top, which the processor's own
// prefetching follows poorly.
constexpr int kRowsAhead = 2;
// Columns converted between two fetches of the row ahead: a multiple of every kernel's step.
constexpr int kPieceColumns = 256;
void prefetchRow(const uint8_t *row, size_t bytes) {
    for (size_t i = 0; i < bytes; i += 64)
        __builtin_prefetch(row + i);
    __builtin_prefetch(row + bytes - 1);
}

// Pixels x (even) to the end of a row to YUYV.
void yuyvSpan(const uint8_t *row, int x, int width, uint8_t *out) {
    for (out += size_t(x) * 2; x < width; x += 2) {
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

// Pixels x (even) to the end of one or two rows to I420: the luma of each row and the chroma
// of the blocks, each the rounded mean of the pixels it covers. `bottom` is null for a last row
// alone.
void i420Span(const uint8_t *top, const uint8_t *bottom, int x, int width, uint8_t *topLuma,
              uint8_t *bottomLuma, uint8_t *u, uint8_t *v) {
    for (int i = x; i < width; ++i)
        topLuma[i] = lumaOf(top[3 * i + 2], top[3 * i + 1], top[3 * i]);
    if (bottom) {
        for (int i = x; i < width; ++i)
            bottomLuma[i] = lumaOf(bottom[3 * i + 2], bottom[3 * i + 1], bottom[3 * i]);
    }
    for (; x < width; x += 2) {
        int r = 0, g = 0, b = 0, n = 0;
        for (const uint8_t *row : {top, bottom}) {
            if (!row)
                continue;
            for (int i = x; i < x + 2 && i < width; ++i)
                b += row[3 * i], g += row[3 * i + 1], r += row[3 * i + 2], ++n;
        }
        r = (r + n / 2) / n, g = (g + n / 2) / n, b = (b + n / 2) / n;
        u[x / 2] = blueDifferenceOf(r, g, b);
        v[x / 2] = redDifferenceOf(r, g, b);
    }
}

}  // namespace

bool convertPathAvailable(ConvertPath path) {
    switch (path) {
        case ConvertPath::Scalar:
            return true;
        case ConvertPath::Avx2:
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2");
        case ConvertPath::Avx512:
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                   __builtin_cpu_supports("avx512vbmi");
    }
    return false;
}

ConvertPath fastestConvertPath() {
    static const ConvertPath fastest =
        convertPathAvailable(ConvertPath::Avx512) ? ConvertPath::Avx512
        : convertPathAvailable(ConvertPath::Avx2) ? ConvertPath::Avx2
                                                  : ConvertPath::Scalar;
    return fastest;
}

const char *convertPathName(ConvertPath path) {
    switch (path) {
        case ConvertPath::Scalar:
            return "scalar";
        case ConvertPath::Avx2:
            return "avx2";
        case ConvertPath::Avx512:
            return "avx512";
    }
    return "?";
}

size_t yuyvSize(int width, int height) {
    return size_t((width + 1) / 2) * 4 * size_t(height);
}

size_t i420Size(int width, int height) {
    return size_t(width) * height + 2 * size_t((width + 1) / 2) * size_t((height + 1) / 2);
}

void bgrToYuyv(const uint8_t *frame, int width, int height, uint8_t *out) {
    bgrToYuyv(frame, width, height, ptrdiff_t(width) * 3, out, fastestConvertPath());
}

void bgrToI420(const uint8_t *frame, int width, int height, uint8_t *out) {
    bgrToI420(frame, width, height, ptrdiff_t(width) * 3, out, fastestConvertPath());
}

void bgrToYuyv(const uint8_t *frame, int width, int height, ptrdiff_t stride, uint8_t *out,
               ConvertPath path) {
    const size_t outStride = size_t((width + 1) / 2) * 4;
    for (int y = 0; y < height; ++y, out += outStride) {
        const uint8_t *row = uprightRow(frame, stride, height, y);
        const uint8_t *ahead =
            y + kRowsAhead < height ? uprightRow(frame, stride, height, y + kRowsAhead) : nullptr;
        // In pieces, each fetching its part of the row ahead: all of it at once would stall on
        // the lines in flight.
        int done = 0;
        for (int x = 0; x < width; x += kPieceColumns) {
            const int n = std::min(kPieceColumns, width - x);
            if (ahead)
                prefetchRow(ahead + size_t(x) * 3, size_t(n) * 3);
            int piece = 0;
            if (path == ConvertPath::Avx512)
                piece = convert_kernels::yuyvAvx512(row + size_t(x) * 3, n, out + size_t(x) * 2);
            else if (path == ConvertPath::Avx2)
                piece = convert_kernels::yuyvAvx2(row + size_t(x) * 3, n, out + size_t(x) * 2);
            done = x + piece;
            if (piece < n)
                break;
        }
        yuyvSpan(row, done, width, out);
    }
}

void bgrToI420(const uint8_t *frame, int width, int height, ptrdiff_t stride, uint8_t *out,
               ConvertPath path) {
    const int cw = (width + 1) / 2, ch = (height + 1) / 2;
    uint8_t *luma = out, *u = out + size_t(width) * height, *v = u + size_t(cw) * ch;
    for (int y = 0; y < height; y += 2) {
        const uint8_t *top = uprightRow(frame, stride, height, y);
        const uint8_t *bottom = y + 1 < height ? uprightRow(frame, stride, height, y + 1) : nullptr;
        uint8_t *topLuma = luma + size_t(y) * width, *bottomLuma = topLuma + width;
        uint8_t *uRow = u + size_t(y / 2) * cw, *vRow = v + size_t(y / 2) * cw;
        const uint8_t *ahead[2] = {nullptr, nullptr};
        for (int k = 0; k < 2 && y + kRowsAhead + k < height; ++k)
            ahead[k] = uprightRow(frame, stride, height, y + kRowsAhead + k);
        // In pieces, as the YUYV conversion goes.
        int done = 0;
        for (int x = 0; bottom && x < width; x += kPieceColumns) {
            const int n = std::min(kPieceColumns, width - x);
            for (const uint8_t *row : ahead)
                if (row)
                    prefetchRow(row + size_t(x) * 3, size_t(n) * 3);
            int piece = 0;
            if (path == ConvertPath::Avx512)
                piece = convert_kernels::i420Avx512(top + size_t(x) * 3, bottom + size_t(x) * 3, n,
                                                    topLuma + x, bottomLuma + x, uRow + x / 2,
                                                    vRow + x / 2);
            else if (path == ConvertPath::Avx2)
                piece = convert_kernels::i420Avx2(top + size_t(x) * 3, bottom + size_t(x) * 3, n,
                                                  topLuma + x, bottomLuma + x, uRow + x / 2,
                                                  vRow + x / 2);
            done = x + piece;
            if (piece < n)
                break;
        }
        i420Span(top, bottom, done, width, topLuma, bottomLuma, uRow, vRow);
    }
}

void bgrToBgrx(const uint8_t *frame, int width, int height, uint8_t *out, ptrdiff_t stride) {
    bgrToBgrx(frame, width, height, out, stride, fastestConvertPath());
}

void bgrToBgrx(const uint8_t *frame, int width, int height, uint8_t *out, ptrdiff_t stride,
               ConvertPath path) {
    const bool vector = path != ConvertPath::Scalar;
    for (int y = 0; y < height; ++y) {
        const uint8_t *row = uprightRow(frame, ptrdiff_t(width) * 3, height, y);
        uint8_t *o = out + y * stride;
        const int done = vector ? convert_kernels::bgrxAvx2(row, width, o) : 0;
        row += size_t(done) * 3;
        o += size_t(done) * 4;
        for (int x = done; x < width; ++x, row += 3, o += 4) {
            o[0] = row[0];
            o[1] = row[1];
            o[2] = row[2];
            o[3] = 255;
        }
    }
}

}  // namespace lumaghost
