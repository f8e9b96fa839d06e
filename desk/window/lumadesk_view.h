// SPDX-License-Identifier: LGPL-2.1-or-later
// The picture view: the window part in the middle of the main window. It owns the camera link
// and the parts that carry out the commands (desk/model/parts.h), keeps its copies of the settings,
// and handles the commands of its own: the mode switch, Setup, help and the maker's page.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QAbstractScrollArea>

#include "camera/camera_link.h"
#include "desk/model/on_camera.h"
#include "desk/model/parts.h"

namespace lumaghost {

struct DeskContext;
class CMainFrame;
class PlayServiceControl;

/// The settings the view reads at its construction and after every Setup dialog.
struct ViewSettings {
    int serviceAutoStart = 1;
    int autoSetLastImage = 1;
    int autoSaveSequenceForNext = 0;
    int miniSizeToSystemTray = 1;
    int stretch = 1;
    int keepRatio = 1;
    int center = 1;
};

class CLumadeskView : public QAbstractScrollArea {
    Q_OBJECT
public:
    CLumadeskView(DeskContext &context, CMainFrame &frame, QWidget *parent = nullptr);
    ~CLumadeskView() override;

    // The parts. Installing one enables its commands.
    void setPicturePart(std::unique_ptr<PicturePart> owner);
    void setSequencePart(std::unique_ptr<SequencePart> owner);
    void setMoviePart(std::unique_ptr<MoviePart> owner);
    void setRealCameraPart(std::unique_ptr<RealCameraPart> owner);
    void setDirectoryPart(std::unique_ptr<DirectoryPart> owner);
    void setServicePart(std::unique_ptr<ServicePart> owner);
    PicturePart *picturePart() const { return picture_.get(); }
    SequencePart *sequencePart() const { return sequence_.get(); }
    MoviePart *moviePart() const { return movie_.get(); }
    RealCameraPart *realCameraPart() const { return realCamera_.get(); }
    DirectoryPart *directoryPart() const { return directory_.get(); }
    ServicePart *servicePart() const { return service_.get(); }

    // The camera.
    /// Starts the camera on a worker thread; cameraStartFinished() follows on this thread,
    /// after the driver messages.
    void startCamera();
    /// The camera start has finished, with its messages.
    bool cameraStarted() const { return cameraStarted_; }
    bool cameraAvailable() const { return cameraAvailable_; }
    CameraLink &cameraLink() { return cameraLink_; }
    const std::string &driverKey() const { return driverKey_; }
    const std::vector<std::string> &realCameras() const { return realCameras_; }

    /// The play service's controller, created with the view (none without a service manager).
    PlayServiceControl *serviceControl() const { return serviceControl_.get(); }
    /// The installed service's start type from "Auto play the picture sequence".
    void ApplyStartType(bool autoStart);

    /// The sequence opened last, or the movie or directory played last; empty at start.
    const QString &currentItemPath() const { return currentItemPath_; }
    void setCurrentItemPath(const QString &path) { currentItemPath_ = path; }

    const ViewSettings &settings() const { return settings_; }
    /// Reads the view's settings again.
    void readSettings();

    // The document's open operation, per kind of file.
    void openSequenceFile(const QString &path);
    void openPictureFile(const QString &path);
    /// E_NOTIMPL while no movie part is installed.
    HResult playMovieFile(const QString &path);

    // Commands of the view.
    void onSequenceMode();  // 152
    void onSetup();         // 150
    void onHelpTopics();    // 146
    void onHomepage();      // 147

    /// Hides the main window in the tray: when the Setup value asks for it, or always with
    /// `force` (the close check's offer). Without a tray the window is minimised instead.
    void goToTray(bool force);

    /// A source has started feeding the camera, or the one that fed it has ended: the status
    /// bar names it.
    void reportOnCamera(const OnCamera &source);

    /// A part's state changed: the commands' states are brought up to date.
    void commandStateChanged();

    /// Ends whatever feeds the camera: the movie or real-camera graph and directory playback
    /// (the movie part's stopGraphPlayback()) and the sequence playback. Every source calls it
    /// before it feeds the camera, so that no two ever do at once.
    void stopCameraSources();

    /// The help page's URL (with `fragment`), or an empty URL after "Can't find help file".
    QUrl helpUrl(const QString &fragment = QString());

signals:
    void cameraStartFinished();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct CameraResult;
    void finishCameraStart(std::shared_ptr<CameraResult> result);
    void reportMissingDriver();
    /// After the Setup dialog, by OK or Cancel.
    void applySetupResult();

    DeskContext &context_;
    CMainFrame &frame_;
    ViewSettings settings_;
    QString currentItemPath_;

    std::unique_ptr<PicturePart> picture_;
    std::unique_ptr<SequencePart> sequence_;
    std::unique_ptr<MoviePart> movie_;
    std::unique_ptr<RealCameraPart> realCamera_;
    std::unique_ptr<DirectoryPart> directory_;
    std::unique_ptr<ServicePart> service_;
    std::unique_ptr<PlayServiceControl> serviceControl_;

    CameraLink cameraLink_;
    std::string driverKey_;
    std::vector<std::string> realCameras_;
    bool cameraAvailable_ = false;
    bool cameraStarted_ = false;
    std::thread cameraThread_;
};

}  // namespace lumaghost
