// SPDX-License-Identifier: LGPL-2.1-or-later
// The picture side of the view: the current picture and the picture files of its folder, the
// zoom, the pick frame of the camera's size that the user drags over the picture, setting the
// picked region on the camera, and pasting a picture from the clipboard.
#pragma once

#include <memory>

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QStringList>

class QAbstractScrollArea;

#include "desk/model/part_context.h"
#include "desk/model/parts.h"
#include "frames/frame_compose.h"

namespace lumaghost {

class CameraGate;

/// Where the view draws the picture at a zoom level: the top-left corner (x, y) in the view's
/// scrolled coordinates, the drawn size and the scroll extent (w, h).
struct PictureLayout {
    int x = 0;
    int y = 0;
    int drawWidth = 0;
    int drawHeight = 0;
    int w = 0;  // scroll extent
    int h = 0;
    friend bool operator==(const PictureLayout &, const PictureLayout &) = default;
};

/// The drawing geometry of a picture of size `picture` in a client area of size `client` at
/// zoom level `zoom` (-50 ... 50): centred while it fits, drawn (zoom + 1) times its size from
/// level 0 up, 1 / (1 - zoom) of it below; the scroll extent is two pixels less than the drawn
/// size from level 0 up.
PictureLayout layoutPicture(QSize client, QSize picture, int zoom);

/// The picture files of a folder, as the browsing list.
struct PictureFolder {
    QStringList files;  // full paths, in name order
    int index = 1;      // 1-based place of the current file; 1 when it is not among them
    int count() const { return int(files.size()); }
};

/// The picture files (isPictureName) of the folder of `current`, or of the working directory
/// when it is empty, with the index of `current`.
PictureFolder scanPictureFolder(const QString &current);

class PictureEditor final : public QObject, public PicturePart {
    Q_OBJECT
public:
    static constexpr int kMaxZoom = 50;
    static constexpr int kMinZoom = -50;
    /// The pick rectangle before it was ever sized to the camera.
    static constexpr QRect kInitialPick{QPoint(50, 50), QPoint(369, 289)};
    /// How much of the pick frame stays in the window, at least, whatever moves it.
    static constexpr int kPickGrip = 16;
    /// The arrow keys move the frame a pixel, with Shift this many.
    static constexpr int kPickLargeStep = 10;

    /// The picture part of the view `area`, whose viewport it paints; its frames go to the
    /// camera through `camera`.
    PictureEditor(QAbstractScrollArea &area, const PartContext &part,
                  std::shared_ptr<CameraGate> camera);
    ~PictureEditor() override;

    // PicturePart.
    void openPicture(const QString &path) override;
    void zoomIn() override;
    void zoomOut() override;
    void zoomOff() override;
    void togglePickFrame() override;
    void setCameraPicture() override;
    void paste() override;
    void showPrevious() override;
    void showNext() override;
    void ensurePickFrameShown() override;
    bool followCameraFormat() override;
    bool clipboardHasImage() const override { return clipboardImage_; }
    bool hasPrevious() const override { return folder_.index > 1; }
    bool hasNext() const override { return folder_.index < folder_.count(); }
    QRect pickFrame() const override { return pick_.shown ? pickRect() : QRect(); }
    void paint(QPainter &painter, const QRect &exposed) override;
    void mousePress(QMouseEvent &event) override;
    void mouseMove(QMouseEvent &event) override;
    void mouseRelease(QMouseEvent &event) override;
    bool keyPress(QKeyEvent &event) override;
    void scrolled(int dx, int dy) override;

    /// What the view shows in `windowRect` (view-window coordinates), without the pick frame's
    /// outline: the picture at its zoom on the view's background, which also fills whatever
    /// lies outside the window. Top-down, 32-bit, `scale` pixels to the window's pixel (the
    /// screen's device pixel ratio; 1 for the camera).
    QImage renderRegion(const QRect &windowRect, qreal scale = 1.0) const;
    /// The pick rectangle in view-window coordinates.
    QRect pickRect() const;
    bool pickFrameShown() const { return pick_.shown; }

    const QImage &picture() const { return picture_; }
    int zoom() const { return zoom_; }
    const PictureLayout &layout() const { return layout_; }
    const PictureFolder &folder() const { return folder_; }
    /// The colour of the view where no picture is.
    QColor background() const;

signals:
    /// Something the commands' rules read has changed.
    void stateChanged();
    /// The document's title: the picture's file name, or "Default".
    void titleChanged(const QString &title);

private:
    bool eventFilter(QObject *watched, QEvent *event) override;
    /// The geometry for the current picture, zoom and client size; the scroll bars follow.
    void relayout();
    /// Loads a picture file and tells why it cannot be loaded: the file error, no memory, or no
    /// picture. The current picture stays on failure.
    bool loadFile(const QString &path, bool report);
    /// The built-in default picture.
    void loadDefault();
    /// Next, Previous: the file of the list at the new index, at zoom 0; a file that does not
    /// load gives the default picture and "Not a known picture type".
    void showListed(const QString &path);
    void setPicture(QImage image);
    /// Sizes the pick frame to the camera's size around its centre and shows it.
    void placeAtCameraSize(int width, int height);
    void movePickFrame(QPoint offset);
    /// Moves the pick frame back until kPickGrip pixels of it are in the window each way.
    void keepGripInView();
    void drawScene(QPainter &painter, const QRect &windowRect) const;
    QPoint scrollOffset() const;
    void clipboardChanged();

    QAbstractScrollArea &area_;
    PartContext part_;
    DeskContext &context_;
    std::shared_ptr<CameraGate> camera_;

    QImage picture_;       // always a picture once constructed
    QString pictureName_;  // its file name, as the status bar names it on the camera
    PictureFolder folder_;
    int zoom_ = 0;
    PictureLayout layout_;
    bool relayingOut_ = false;

    PickFrame pick_{kInitialPick.left(), kInitialPick.top(), kInitialPick.right() + 1,
                    kInitialPick.bottom() + 1, false};
    bool dragging_ = false;
    QPoint lastPoint_;
    bool clipboardImage_ = false;
};

}  // namespace lumaghost
