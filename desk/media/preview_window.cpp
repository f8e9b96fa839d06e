// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/media/preview_window.h"

#include <algorithm>

#include <QCloseEvent>
#include <QPainter>

#include "lang/pack_ids.h"
#include "lang/relabel.h"

namespace lumaghost {

PreviewWindow::PreviewWindow(QWidget *owner)
    : QWidget(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("PreviewWindow"));
    const QString title = loadPackQString(appLanguagePacks(), pack_ids::kPreviewTitle);
    setWindowTitle(title);
    setAccessibleName(title);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_ShowWithoutActivating);
    resize(400, 340);
}

QRect PreviewWindow::placeBeside(const QRect &owner, QSize size, const QRect &screen) {
    const QSize fitted = size.boundedTo(screen.size());
    const int gap = 8;
    auto vertical = [&](int x) {
        const int y = std::clamp(owner.top(), screen.top(), screen.bottom() + 1 - fitted.height());
        return QRect(QPoint(x, y), fitted);
    };
    auto horizontal = [&](int y) {
        const int x = std::clamp(owner.left(), screen.left(), screen.right() + 1 - fitted.width());
        return QRect(QPoint(x, y), fitted);
    };
    const QRect candidates[] = {
        vertical(owner.right() + 1 + gap),
        vertical(owner.left() - gap - fitted.width()),
        horizontal(owner.bottom() + 1 + gap),
        horizontal(owner.top() - gap - fitted.height()),
    };
    for (const QRect &place : candidates) {
        if (screen.contains(place))
            return place;
    }
    // No room beside it: over the owner's lower right, clear of its menu bar.
    QRect place(QPoint(owner.right() + 1 - fitted.width(), owner.bottom() + 1 - fitted.height()),
                fitted);
    place.moveLeft(std::clamp(place.left(), screen.left(), screen.right() + 1 - fitted.width()));
    place.moveTop(std::clamp(place.top(), screen.top(), screen.bottom() + 1 - fitted.height()));
    return place;
}

void PreviewWindow::showFrame(const QImage &frame) {
    frame_ = frame;
    ++framesShown_;
    update();
}

void PreviewWindow::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    if (frame_.isNull())
        painter.fillRect(rect(), Qt::black);
    else
        painter.drawImage(rect(), frame_);
}

void PreviewWindow::closeEvent(QCloseEvent *event) {
    // Hidden, not destroyed: the owner stops the preview and shows the window again next time.
    event->ignore();
    emit closeRequested();
}

}  // namespace lumaghost
