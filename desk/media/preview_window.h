// SPDX-License-Identifier: LGPL-2.1-or-later
// The preview window "PreView": a small top-most window with a caption and no close box that
// shows what the camera shows, so the user sees what other programs receive.
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
    int framesShown() const { return framesShown_; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QImage frame_;
    int framesShown_ = 0;
};

}  // namespace lumaghost
