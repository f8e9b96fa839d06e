// Picture files as the programs read them: BMP and DIB, GIF, ICO, JPG and PNG through Qt's
// image readers, EMF and WMF rendered from their vector records. The kind is told from the
// data, not from the file name. A picture comes at its natural size (96 pixels per inch for
// metafiles), as 32-bit pixels composed over black.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include "frame_compose.h"

namespace lumaghost {

/// Decodes picture data; a null image when it is no known picture.
QImage DecodePicture(const QByteArray &data);

/// Reads and decodes a picture file; on failure a null image and the reason in `error`.
QImage LoadPictureFile(const QString &path, QString *error = nullptr);

/// The image's pixels (Format_RGB32) for the frame composition.
ImageView imageView(const QImage &image);

/// 0.01 mm to pixels at 96 per inch, rounded as the platform's multiply-divide rounds.
int himetricToPixels(int himetric);

}  // namespace lumaghost
