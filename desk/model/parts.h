// SPDX-License-Identifier: LGPL-2.1-or-later
// The parts that carry out Lumadesk's commands: pictures, the sequence, movies, the real camera
// and preview, directory playback and the play service. The window routes every command to its
// part; while a part is not installed (PartSet::setPicture() and the like) its commands stay
// disabled.
//
// Every part runs on the user-interface thread. A part signals whenever something its enable
// rules read has changed.
#pragma once

#include <functional>
#include <string>

#include <QRect>
#include <QString>

#include "camera/camera_link.h"
#include "platform/hresult.h"

class QKeyEvent;
class QMouseEvent;
class QPainter;

namespace lumaghost {

/// The picture document and view: the current picture, its folder, zoom, the pick frame and
/// setting a picture on the camera.
class PicturePart {
public:
    virtual ~PicturePart() = default;

    /// The document's open operation for a picture file (isPictureName):
    /// load it, make its folder the browsing list and repaint. The document has already put
    /// the path on the picture list and sets the title to the file name afterwards.
    virtual void openPicture(const QString &path) = 0;

    virtual void zoomIn() = 0;
    virtual void zoomOut() = 0;
    virtual void zoomOff() = 0;
    virtual void togglePickFrame() = 0;
    virtual void setCameraPicture() = 0;
    virtual void paste() = 0;
    virtual void showPrevious() = 0;
    virtual void showNext() = 0;
    /// The switch to sequence mode shows the pick frame when it is hidden.
    virtual void ensurePickFrameShown() = 0;
    /// Before a picture is set or a source starts: when the camera took another frame size,
    /// says so, opens the camera link again and gives the pick frame the new size. True when
    /// it did.
    virtual bool followCameraFormat() { return false; }

    virtual bool clipboardHasImage() const = 0;
    virtual bool hasPrevious() const = 0;
    virtual bool hasNext() const = 0;
    /// The pick frame in view coordinates; empty while it is not known. The camera preview
    /// takes its place and size.
    virtual QRect pickFrame() const;

    /// The view's painting and pointer, forwarded.
    virtual void paint(QPainter &painter, const QRect &exposed) = 0;
    virtual void mousePress(QMouseEvent &) {}
    virtual void mouseMove(QMouseEvent &) {}
    virtual void mouseRelease(QMouseEvent &) {}
    /// A key pressed in the view; true when the part took it.
    virtual bool keyPress(QKeyEvent &) { return false; }
    virtual void scrolled(int dx, int dy) { (void)dx, (void)dy; }
};

inline QRect PicturePart::pickFrame() const {
    return QRect();
}

/// The sequence: the strip's items and the display-time bar, editing, saving and playback.
class SequencePart {
public:
    virtual ~SequencePart() = default;

    /// The document's open operation for a .lgs file: load it into the strip. The document
    /// puts it on the sequence list, sets the title and switches to sequence mode.
    virtual void openSequence(const QString &path) = 0;
    /// Save (57603) and "Save as..." (57604): ask for a name, write, remember, offer auto play.
    virtual void save() = 0;
    virtual void addItem() = 0;
    virtual void deleteItem() = 0;
    virtual void play() = 0;
    virtual void stop() = 0;

    virtual int itemCount() const = 0;
    /// The selected item, -1 for none.
    virtual int selectedItem() const = 0;
    virtual bool isPlaying() const = 0;
};

/// The answer of the close check's graph query.
enum class GraphState { Stopped, Running, Unknown };

/// Movie playback and the graph that the movie, the real camera and directory playback share.
class MoviePart {
public:
    virtual ~MoviePart() = default;

    /// The outcome of a movie start that went on after playMovieFile() returned.
    using MovieStarted = std::function<void(HResult)>;

    /// "Play Movie" (32794): the open dialog, then playMovieFile().
    virtual void playMovieCommand() = 0;
    /// Builds the movie graph and starts it; a negative result when it could not. The start
    /// goes on without blocking: `started` gets its outcome later, unless Stop, another
    /// source or the part's end cancelled it. The document shows "Play File Error" for a
    /// failure and puts a success on the movie list.
    virtual HResult playMovieFile(const QString &path, MovieStarted started = {}) = 0;
    /// "Stop Above" (32804) and every new camera source: stops and releases the graph.
    virtual void stopGraphPlayback() = 0;

    /// A movie or real-camera graph exists, started or starting.
    virtual bool graphExists() const = 0;
    /// The graph's state, waiting at most `timeoutMs`; Unknown when the query fails or does
    /// not settle. Asked by the close check.
    virtual GraphState queryGraphState(int timeoutMs) = 0;
};

/// Real-camera passthrough and the camera preview.
class RealCameraPart {
public:
    virtual ~RealCameraPart() = default;

    /// Builds the preview on the open camera link, right after the camera start; false when
    /// that failed (the view then shows msg::kInitializeFailed and keeps the camera, without
    /// preview).
    virtual bool setUpPreview(CameraLink &link) = 0;
    /// The preview was built: Preview may start it.
    virtual bool previewReady() const { return true; }
    virtual void setupRealCamera() = 0;
    virtual void switchToRealCamera(int index) = 0;
    virtual void startPreview() = 0;
    virtual void stopPreview() = 0;

    virtual bool isPreviewing() const = 0;
    /// The camera chosen last (its item is checked), -1 for none.
    virtual int selectedCamera() const = 0;
};

/// Directory playback.
class DirectoryPart {
public:
    virtual ~DirectoryPart() = default;
    virtual void startDirectoryPlayback() = 0;
};

/// The play service as the desktop controls it: the Service command and the button's image.
/// Its calls go through the play service's controller, which runs them off this thread.
class ServicePart {
public:
    virtual ~ServicePart() = default;
    /// The Service command (32791).
    virtual void serviceCommand() = 0;
    /// The last known service state for the Service button's image: 0 running, 1 installed
    /// and not running, 2 missing or unknown.
    virtual int serviceImageState() const = 0;
};

}  // namespace lumaghost
