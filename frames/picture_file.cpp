#include "picture_file.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdlib>
#include <cstring>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/gd.h>

namespace lumaghost {

namespace {

constexpr int kMaxMetafilePixels = 16384;

uint32_t le32(const QByteArray &d, int offset) {
    const auto *p = reinterpret_cast<const uint8_t *>(d.constData()) + offset;
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint16_t le16(const QByteArray &d, int offset) {
    const auto *p = reinterpret_cast<const uint8_t *>(d.constData()) + offset;
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

bool isEmf(const QByteArray &d) {
    return d.size() >= 88 && le32(d, 0) == 1 && std::memcmp(d.constData() + 40, " EMF", 4) == 0;
}

bool isWmf(const QByteArray &d) {
    if (d.size() >= 22 && le32(d, 0) == 0x9AC6CDD7u)  // placeable header
        return true;
    // A bare metafile header: type 1 or 2, header size 9 words, version 0x100 or 0x300.
    return d.size() >= 18 && (le16(d, 0) == 1 || le16(d, 0) == 2) && le16(d, 2) == 9 &&
           (le16(d, 4) == 0x100 || le16(d, 4) == 0x300);
}

// Transparent parts show the black the picture is drawn over.
QImage overBlack(const QImage &image) {
    QImage premultiplied = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(premultiplied.size(), QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        std::memcpy(out.scanLine(y), premultiplied.constScanLine(y), size_t(out.width()) * 4);
    return out;
}

QImage decodeEmf(const QByteArray &data) {
    // rclFrame, in 0.01 mm, gives the natural size.
    const auto left = static_cast<int32_t>(le32(data, 24)),
               top = static_cast<int32_t>(le32(data, 28));
    const auto right = static_cast<int32_t>(le32(data, 32)),
               bottom = static_cast<int32_t>(le32(data, 36));
    const int width = himetricToPixels(right - left), height = himetricToPixels(bottom - top);
    if (width <= 0 || height <= 0 || width > kMaxMetafilePixels || height > kMaxMetafilePixels)
        return {};

    generatorOptions options{};
    char svgNamespace[] = "svg";
    options.nameSpace = svgNamespace;
    options.svgDelimiter = true;
    options.emfplus = true;
    options.imgWidth = width;
    options.imgHeight = height;
    char *svg = nullptr;
    size_t svgLength = 0;
    QByteArray copy = data;  // the converter takes a mutable buffer
    const int ok = emf2svg(copy.data(), size_t(copy.size()), &svg, &svgLength, &options);
    QByteArray svgText = ok && svg ? QByteArray(svg, qsizetype(svgLength)) : QByteArray();
    std::free(svg);
    if (svgText.isEmpty())
        return {};

    QSvgRenderer renderer(svgText);
    if (!renderer.isValid())
        return {};
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    return overBlack(image);
}

QImage decodeWmf(const QByteArray &data) {
    wmfAPI *api = nullptr;
    wmfAPI_Options options{};
    options.function = wmf_gd_function;
    if (wmf_api_create(&api, WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL, &options) != wmf_E_None) {
        if (api)
            wmf_api_destroy(api);
        return {};
    }
    QImage result;
    QByteArray copy = data;
    wmfD_Rect bbox{};
    unsigned int width = 0, height = 0;
    if (wmf_mem_open(api, reinterpret_cast<unsigned char *>(copy.data()), long(copy.size())) ==
            wmf_E_None &&
        wmf_scan(api, 0, &bbox) == wmf_E_None &&
        wmf_display_size(api, &width, &height, 96, 96) == wmf_E_None && width > 0 && height > 0 &&
        width <= unsigned(kMaxMetafilePixels) && height <= unsigned(kMaxMetafilePixels)) {
        wmf_gd_t *gd = WMF_GD_GetData(api);
        gd->type = wmf_gd_image;
        gd->bbox = bbox;
        gd->width = width;
        gd->height = height;
        if (wmf_play(api, 0, &bbox) == wmf_E_None && gd->gd_image) {
            // True-colour gd pixels: 7-bit alpha (127 = transparent) above 8-bit red, green, blue.
            const int *pixels = wmf_gd_image_pixels(gd->gd_image);
            QImage image(int(width), int(height), QImage::Format_ARGB32);
            for (unsigned y = 0; y < height; ++y) {
                auto *row = reinterpret_cast<QRgb *>(image.scanLine(int(y)));
                for (unsigned x = 0; x < width; ++x) {
                    const auto p = static_cast<uint32_t>(pixels[size_t(y) * width + x]);
                    const int alpha = 255 - int((p >> 24) & 0x7F) * 255 / 127;
                    row[x] = qRgba(int(p >> 16) & 0xFF, int(p >> 8) & 0xFF, int(p) & 0xFF, alpha);
                }
            }
            result = overBlack(image);
        }
        wmf_mem_close(api);
    }
    wmf_api_destroy(api);
    return result;
}

}  // namespace

int himetricToPixels(int himetric) {
    // MulDiv rounds half away from zero.
    const int64_t product = int64_t{himetric} * 96;
    return static_cast<int>(product >= 0 ? (product + 1270) / 2540 : (product - 1270) / 2540);
}

QImage DecodePicture(const QByteArray &data) {
    if (isEmf(data))
        return decodeEmf(data);
    if (isWmf(data))
        return decodeWmf(data);
    QImage image;
    if (!image.loadFromData(data) || image.isNull())
        return {};
    return overBlack(image);
}

QImage LoadPictureFile(const QString &path, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return {};
    }
    QImage image = DecodePicture(file.readAll());
    if (image.isNull() && error)
        *error = QStringLiteral("Not a known picture type");
    return image;
}

ImageView imageView(const QImage &image) {
    return {image.constBits(), image.width(), image.height(), size_t(image.bytesPerLine())};
}

}  // namespace lumaghost
