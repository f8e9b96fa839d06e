// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/window/palette_icon_engine.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace lumaghost {

namespace {

constexpr char kInk[] = "#2b3a55";
// The dark bodies of the icons (screens, boxes) that the ink outlines.
constexpr const char *kDarkBodies[] = {"#2e3436", "#555753"};

}  // namespace

PaletteIconEngine::PaletteIconEngine(const QString &path) {
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        svg_ = file.readAll();
}

QByteArray PaletteIconEngine::tinted(const QByteArray &svg, const QPalette &palette,
                                     QIcon::Mode mode) {
    const QPalette::ColorGroup group =
        mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active;
    const QByteArray ink = palette.color(group, QPalette::ButtonText).name().toLatin1();
    QByteArray out = svg;
    out.replace(QByteArray("\"") + kInk + '"', '"' + ink + '"');
    for (const char *body : kDarkBodies)
        out.replace(QByteArray("fill=\"") + body + '"',
                    QByteArray("fill=\"") + body + "\" stroke=\"" + ink + "\" stroke-width=\"1\"");
    return out;
}

void PaletteIconEngine::paint(QPainter *painter, const QRect &rect, QIcon::Mode mode,
                              QIcon::State) {
    QSvgRenderer renderer(tinted(svg_, QGuiApplication::palette(), mode));
    if (mode == QIcon::Disabled)
        painter->setOpacity(painter->opacity() * 0.45);
    renderer.render(painter, rect);
    if (mode == QIcon::Disabled)
        painter->setOpacity(painter->opacity() / 0.45);
}

QPixmap PaletteIconEngine::pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) {
    return scaledPixmap(size, mode, state, 1.0);
}

QPixmap PaletteIconEngine::scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state,
                                        qreal scale) {
    // Drawn at the screen's pixels: sharp at every scale factor.
    QPixmap pixmap(size * scale);
    if (pixmap.isNull())
        return pixmap;
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), pixmap.size()), mode, state);
    }
    pixmap.setDevicePixelRatio(scale);
    return pixmap;
}

QSize PaletteIconEngine::actualSize(const QSize &size, QIcon::Mode, QIcon::State) {
    return size;
}

QIconEngine *PaletteIconEngine::clone() const {
    return new PaletteIconEngine(*this);
}

QString PaletteIconEngine::key() const {
    return QStringLiteral("lumaghost-palette-svg");
}

}  // namespace lumaghost
