// SPDX-License-Identifier: LGPL-2.1-or-later
// Our SVG icons drawn in the colours of the palette of the moment: their ink (the line colour
// #2b3a55) becomes the palette's text colour, and their dark bodies get an outline of it, so
// that they stand out under a dark style as under a light one.
#pragma once

#include <QByteArray>
#include <QIconEngine>
#include <QPalette>

namespace lumaghost {

class PaletteIconEngine final : public QIconEngine {
public:
    /// The icon of the SVG file `path` (a resource, say).
    explicit PaletteIconEngine(const QString &path);

    /// The SVG text of `svg` for the colours of `palette` in `mode`.
    static QByteArray tinted(const QByteArray &svg, const QPalette &palette, QIcon::Mode mode);

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override;
    QSize actualSize(const QSize &size, QIcon::Mode mode, QIcon::State state) override;
    QIconEngine *clone() const override;
    QString key() const override;
    bool isNull() override { return svg_.isEmpty(); }

private:
    QByteArray svg_;
};

}  // namespace lumaghost
