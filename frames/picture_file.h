// SPDX-License-Identifier: LGPL-2.1-or-later
// Picture files as the programs read them: BMP and DIB, GIF, ICO, JPG and PNG through Qt's
// image readers, EMF and WMF rendered from their vector records. The kind is told from the
// data, not from the file name. A picture comes at its natural size (96 pixels per inch for
// metafiles), as 32-bit pixels composed over black.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include "frames/frame_compose.h"

namespace lumaghost {

/// The largest picture file read.
inline constexpr qint64 kMaxPictureFileBytes = qint64{256} << 20;
/// The largest picture decoded, in bytes of 32-bit pixels (64 Mpixel, e.g. 8192 × 8192), or
/// Qt's image allocation limit (QImageReader::allocationLimit) when that is lower.
inline constexpr qint64 kMaxPictureBytes = qint64{256} << 20;

/// Decodes picture data; on failure a null image and the reason in `error`: no known picture,
/// or one larger than the bound above once decoded (refused before its pixels are allocated
/// wherever its size is known beforehand).
QImage decodePicture(const QByteArray &data, QString *error = nullptr);

/// The most bytes of 32-bit pixels a decoded picture may take: kMaxPictureBytes, or Qt's own
/// allocation limit for image readers when that is lower.
qint64 pictureByteLimit();

/// What kept decodePicture from a picture, told from its reason: data of no known picture type,
/// a picture beyond the size bound, no memory for its pixels, or data that is damaged or cut
/// short (every other reason).
enum class PictureProblem { UnknownType, TooLarge, NoMemory, Damaged };
PictureProblem pictureProblemOf(const QString &error);

/// Reads and decodes a picture file; on failure a null image and the reason in `error`. Only a
/// regular file of at most kMaxPictureFileBytes is read; anything else (a FIFO, a device, a
/// directory) cannot be opened, and is refused without blocking.
QImage loadPictureFile(const QString &path, QString *error = nullptr);

/// The extensions of the pictures read, lower case without the dot: BMP, DIB, EMF, GIF, ICO,
/// JPG and WMF, JPEG also as .jpeg and .jpe, and every other format this machine's Qt image
/// readers load (PNG, and WebP, TIFF and the like where their plugins are installed).
const QStringList &pictureExtensions();

/// Whether a file's name ends in a picture extension, in any letter case.
bool isPictureName(const QString &path);

/// The picture extensions as file dialog patterns, "*.bmp *.dib ...".
QString pictureNamePatterns();

/// The image's pixels (Format_RGB32) for the frame composition.
ImageView imageView(const QImage &image);

/// 0.01 mm to pixels at 96 per inch, rounded as the platform's multiply-divide rounds.
int himetricToPixels(int himetric);

}  // namespace lumaghost
