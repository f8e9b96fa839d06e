// SPDX-License-Identifier: LGPL-2.1-or-later
// The preview window "PreView": a small tool window of the main window that shows what the
// camera shows, so the user sees what other programs receive. Its close box hides it, as the
// Camera menu's Stop does.
#pragma once

#include <QImage>
#include <QWidget>

namespace lumaghost {

class PreviewWindow final : public QWidget {
    Q_OBJECT
public:
    explicit PreviewWindow(QWidget *owner);

    /// Shows a frame of the camera (upright); the window draws it over its whole client area.
    void showFrame(const QImage &frame);
    const QImage &frame() const { return frame_; }

    /// Where a preview of `size` goes beside `owner` (a frame rectangle): right of it, else
    /// left, else below, else above, within `screen`'s available area; over the owner's lower
    /// right only when the screen has no room beside it.
    static QRect placeBeside(const QRect &owner, QSize size, const QRect &screen);
    int framesShown() const { return framesShown_; }

signals:
    /// The close box was used: the preview is to stop.
    void closeRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QImage frame_;
    int framesShown_ = 0;
};

}  // namespace lumaghost
