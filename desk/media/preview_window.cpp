// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/media/preview_window.h"

#include <QCloseEvent>
#include <QPainter>

#include "lang/pack_ids.h"
#include "lang/relabel.h"

namespace lumaghost {

PreviewWindow::PreviewWindow(QWidget *owner)
    : QWidget(owner,
              Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("PreviewWindow"));
    const QString title = LoadPackQString(appLanguagePacks(), pack_ids::kPreviewTitle);
    setWindowTitle(title);
    setAccessibleName(title);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_ShowWithoutActivating);
    move(100, 100);
    resize(400, 340);
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
    // Only the Camera menu's Stop (or the sequence's) takes the preview away.
    event->ignore();
}

}  // namespace lumaghost
