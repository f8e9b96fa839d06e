// SPDX-License-Identifier: LGPL-2.1-or-later
// The parts that carry out Lumadesk's commands (desk/model/parts.h), owned here for the window,
// and how the parts find one another. A part may be replaced or removed at any time, so a part
// asks here for another whenever it needs it instead of keeping it.
#pragma once

#include <memory>

#include <QObject>
#include <QString>

#include "desk/model/on_camera.h"
#include "desk/model/parts.h"

namespace lumaghost {

class PartSet final : public QObject {
    Q_OBJECT
public:
    PartSet() = default;
    ~PartSet() override;

    PicturePart *picture() const { return picture_.get(); }
    SequencePart *sequence() const { return sequence_.get(); }
    MoviePart *movie() const { return movie_.get(); }
    RealCameraPart *realCamera() const { return realCamera_.get(); }
    DirectoryPart *directory() const { return directory_.get(); }
    ServicePart *service() const { return service_.get(); }

    // Installing a part enables its commands; nullptr removes it and disables them.
    void setPicture(std::unique_ptr<PicturePart> part);
    void setSequence(std::unique_ptr<SequencePart> part);
    void setMovie(std::unique_ptr<MoviePart> part);
    void setRealCamera(std::unique_ptr<RealCameraPart> part);
    void setDirectory(std::unique_ptr<DirectoryPart> part);
    void setService(std::unique_ptr<ServicePart> part);

    /// Ends whatever feeds the camera: the movie or real-camera graph and directory playback
    /// (the movie part's stopGraphPlayback()) and the sequence playback. Every source calls it
    /// before it feeds the camera, so that no two ever do at once.
    void stopCameraSources();

    /// The sequence opened last, which the Service command makes the play service's item;
    /// empty at start.
    const QString &currentItemPath() const { return currentItemPath_; }
    void setCurrentItemPath(const QString &path) { currentItemPath_ = path; }

    /// A part has started feeding the camera, or the one that fed it has ended.
    void reportOnCamera(const OnCamera &source) { emit onCameraChanged(source); }

signals:
    /// A part was installed, replaced or removed.
    void changed();
    /// What feeds the camera now, as a part reported it.
    void onCameraChanged(const OnCamera &source);

private:
    QString currentItemPath_;
    // Torn down in the reverse order: directory playback and the graphs go first, while the
    // camera's other users still exist; the play service's part goes last.
    std::unique_ptr<ServicePart> service_;
    std::unique_ptr<PicturePart> picture_;
    std::unique_ptr<SequencePart> sequence_;
    std::unique_ptr<RealCameraPart> realCamera_;
    std::unique_ptr<MoviePart> movie_;
    std::unique_ptr<DirectoryPart> directory_;
};

}  // namespace lumaghost
