// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frames/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/gd.h>

#include "platform/posix_file.h"

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

// The reasons decodePicture gives that pictureProblemOf tells apart.
constexpr char kUnknownTypeReason[] = "Not a known picture type";
constexpr char kNoMemoryReason[] = "Not enough memory for the picture";
constexpr char kTooLargeReason[] = "The picture is too large";
constexpr char kMetafileTooLargeReason[] = "The metafile is too large";

QImage refuse(QString *error, const QString &why) {
    if (error)
        *error = why;
    return {};
}

// Whether a picture of this size may be decoded; otherwise the reason in `error`.
bool pictureSizeAllowed(qint64 width, qint64 height, QString *error) {
    const qint64 limit = pictureByteLimit();
    if (width > 0 && height > 0 && width * height * 4 <= limit)
        return true;
    refuse(error, width > 0 && height > 0
                      ? QString::fromLatin1(kTooLargeReason) +
                            QStringLiteral(" (%1 x %2 pixels, at most %3 Mpixel)")
                                .arg(width)
                                .arg(height)
                                .arg(limit / 4 >> 20)
                      : QStringLiteral("The picture has no size"));
    return false;
}

// Transparent parts show the black the picture is drawn over: the premultiplied pixels are the
// composed colours. The decoded image is released before the result is made, so at most two
// copies of the pixels exist at once.
QImage overBlack(QImage image) {
    if (image.format() == QImage::Format_RGB32)
        return image;
    QImage out = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    image = QImage();
    out.reinterpretAsFormat(QImage::Format_RGB32);
    return out;
}

QImage decodeEmf(const QByteArray &data, QString *error) {
    // rclFrame, in 0.01 mm, gives the natural size.
    const auto left = static_cast<int32_t>(le32(data, 24)),
               top = static_cast<int32_t>(le32(data, 28));
    const auto right = static_cast<int32_t>(le32(data, 32)),
               bottom = static_cast<int32_t>(le32(data, 36));
    const int width = himetricToPixels(int(int64_t{right} - left)),
              height = himetricToPixels(int(int64_t{bottom} - top));
    if (!pictureSizeAllowed(width, height, error))
        return {};
    if (width > kMaxMetafilePixels || height > kMaxMetafilePixels)
        return refuse(error, QString::fromLatin1(kMetafileTooLargeReason));

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
        return refuse(error, QString::fromLatin1(kUnknownTypeReason));

    QSvgRenderer renderer(svgText);
    if (!renderer.isValid())
        return refuse(error, QString::fromLatin1(kUnknownTypeReason));
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return refuse(error, QString::fromLatin1(kNoMemoryReason));
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    return overBlack(std::move(image));
}

QImage decodeWmf(const QByteArray &data, QString *error) {
    wmfAPI *api = nullptr;
    wmfAPI_Options options{};
    options.function = wmf_gd_function;
    if (wmf_api_create(&api, WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL, &options) != wmf_E_None) {
        if (api)
            wmf_api_destroy(api);
        return refuse(error, QStringLiteral("Cannot render the metafile"));
    }
    QImage result;
    QString why = QString::fromLatin1(kUnknownTypeReason);
    QByteArray copy = data;
    wmfD_Rect bbox{};
    unsigned int width = 0, height = 0;
    if (wmf_mem_open(api, reinterpret_cast<unsigned char *>(copy.data()), long(copy.size())) ==
            wmf_E_None &&
        wmf_scan(api, 0, &bbox) == wmf_E_None &&
        wmf_display_size(api, &width, &height, 96, 96) == wmf_E_None &&
        pictureSizeAllowed(width, height, &why) && width <= unsigned(kMaxMetafilePixels) &&
        height <= unsigned(kMaxMetafilePixels)) {
        wmf_gd_t *gd = WMF_GD_GetData(api);
        gd->type = wmf_gd_image;
        gd->bbox = bbox;
        gd->width = width;
        gd->height = height;
        if (wmf_play(api, 0, &bbox) == wmf_E_None && gd->gd_image) {
            // True-colour gd pixels: 7-bit alpha (127 = transparent) above 8-bit red, green, blue.
            const int *pixels = wmf_gd_image_pixels(gd->gd_image);
            QImage image(int(width), int(height), QImage::Format_ARGB32);
            if (image.isNull()) {
                why = QString::fromLatin1(kNoMemoryReason);
            } else {
                for (unsigned y = 0; y < height; ++y) {
                    auto *row = reinterpret_cast<QRgb *>(image.scanLine(int(y)));
                    for (unsigned x = 0; x < width; ++x) {
                        const auto p = static_cast<uint32_t>(pixels[size_t(y) * width + x]);
                        const int alpha = 255 - int((p >> 24) & 0x7F) * 255 / 127;
                        row[x] =
                            qRgba(int(p >> 16) & 0xFF, int(p >> 8) & 0xFF, int(p) & 0xFF, alpha);
                    }
                }
                result = overBlack(std::move(image));
            }
        }
        wmf_mem_close(api);
    }
    wmf_api_destroy(api);
    if (result.isNull())
        return refuse(error, why);
    return result;
}

// Reads a regular file of at most kMaxPictureFileBytes; 0 or an errno value (EINVAL for
// anything but a regular file, EFBIG for a larger one).
int readPictureFile(const QString &path, QByteArray &out) {
    UniqueFd fd;
    if (int err = openRegularFile(QFile::encodeName(path).toStdString(), O_RDONLY, fd))
        return err;
    struct stat st;
    if (::fstat(fd.get(), &st) < 0)
        return errno;
    if (st.st_size > kMaxPictureFileBytes)
        return EFBIG;
    out.clear();
    out.reserve(qsizetype(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return 0;
        // The file may grow while it is read.
        if (out.size() + n > kMaxPictureFileBytes)
            return EFBIG;
        out.append(buffer, qsizetype(n));
    }
}

}  // namespace

int himetricToPixels(int himetric) {
    // MulDiv rounds half away from zero.
    const int64_t product = int64_t{himetric} * 96;
    return static_cast<int>(product >= 0 ? (product + 1270) / 2540 : (product - 1270) / 2540);
}

qint64 pictureByteLimit() {
    const qint64 qtLimit = qint64{QImageReader::allocationLimit()} << 20;
    return qtLimit > 0 ? std::min(qtLimit, kMaxPictureBytes) : kMaxPictureBytes;
}

PictureProblem pictureProblemOf(const QString &error) {
    if (error == QLatin1String(kUnknownTypeReason))
        return PictureProblem::UnknownType;
    if (error == QLatin1String(kNoMemoryReason))
        return PictureProblem::NoMemory;
    if (error.startsWith(QLatin1String(kTooLargeReason)) ||
        error == QLatin1String(kMetafileTooLargeReason))
        return PictureProblem::TooLarge;
    return PictureProblem::Damaged;
}

QImage decodePicture(const QByteArray &data, QString *error) {
    if (isEmf(data))
        return decodeEmf(data, error);
    if (isWmf(data))
        return decodeWmf(data, error);
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // The size, where the header tells it, is checked before any pixel is allocated.
    const QSize size = reader.size();
    if (size.isValid() && !pictureSizeAllowed(size.width(), size.height(), error))
        return {};
    QImage image = reader.read();
    if (image.isNull())
        return refuse(error, reader.error() == QImageReader::UnsupportedFormatError
                                 ? QString::fromLatin1(kUnknownTypeReason)
                                 : reader.errorString());
    if (!pictureSizeAllowed(image.width(), image.height(), error))
        return {};
    return overBlack(std::move(image));
}

const QStringList &pictureExtensions() {
    static const QStringList extensions = [] {
        // The seven types of old first, in their order, then what the readers add.
        QStringList list{QStringLiteral("bmp"), QStringLiteral("dib"),  QStringLiteral("emf"),
                         QStringLiteral("gif"), QStringLiteral("ico"),  QStringLiteral("jpg"),
                         QStringLiteral("wmf"), QStringLiteral("jpeg"), QStringLiteral("jpe")};
        for (const QByteArray &format : QImageReader::supportedImageFormats()) {
            const QString extension = QString::fromLatin1(format).toLower();
            if (!list.contains(extension))
                list.append(extension);
        }
        return list;
    }();
    return extensions;
}

bool isPictureName(const QString &path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || dot < slash)
        return false;
    return pictureExtensions().contains(path.mid(dot + 1).toLower());
}

QString pictureNamePatterns() {
    QStringList patterns;
    for (const QString &extension : pictureExtensions())
        patterns.append(QStringLiteral("*.") + extension);
    return patterns.join(u' ');
}

QImage loadPictureFile(const QString &path, QString *error) {
    QByteArray data;
    if (int err = readPictureFile(path, data)) {
        if (error)
            *error = err == EINVAL  ? QStringLiteral("Not a regular file")
                     : err == EFBIG ? QStringLiteral("The file is larger than %1 MB")
                                          .arg(kMaxPictureFileBytes >> 20)
                                    : QString::fromLocal8Bit(std::strerror(err));
        return {};
    }
    return decodePicture(data, error);
}

ImageView imageView(const QImage &image) {
    return {image.constBits(), image.width(), image.height(), size_t(image.bytesPerLine())};
}

}  // namespace lumaghost
