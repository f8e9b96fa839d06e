// SPDX-License-Identifier: LGPL-2.1-or-later
// The picture view: the window part in the middle of the main window. It starts the camera and
// keeps what the camera start found, the play service's controller and its copies of the
// settings, all of which the parts (desk/model/part_set.h) borrow; it shows the picture part and
// handles the commands of its own: the mode switch, Setup, help and the maker's page.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QAbstractScrollArea>

#include "camera/camera_link.h"
#include "desk/model/camera_state.h"
#include "desk/model/desk_settings.h"
#include "desk/model/parts.h"
#include "platform/hresult.h"

namespace lumaghost {

struct DeskContext;
class CMainFrame;
class PlayServiceControl;

class CLumadeskView : public QAbstractScrollArea {
    Q_OBJECT
public:
    CLumadeskView(DeskContext &context, CMainFrame &frame, QWidget *parent = nullptr);
    ~CLumadeskView() override;

    // The camera.
    /// Starts the camera on a worker thread; cameraStartFinished() follows on this thread,
    /// after the driver messages.
    void startCamera();
    /// What the camera start found; the parts borrow it.
    CameraState &camera() { return camera_; }
    /// The camera start has finished, with its messages.
    bool cameraStarted() const { return camera_.started; }
    bool cameraAvailable() const { return camera_.available; }
    CameraLink &cameraLink() { return camera_.link; }
    const std::string &driverKey() const { return camera_.driverKey; }
    const std::vector<std::string> &realCameras() const { return camera_.realCameras; }

    /// The play service's controller, created with the view (none without a service manager).
    PlayServiceControl *serviceControl() const { return serviceControl_.get(); }
    /// The installed service's start type from "Auto play the picture sequence".
    void ApplyStartType(bool autoStart);

    const DeskSettings &settings() const { return settings_; }
    /// Reads the view's settings again.
    void readSettings();

    // The document's open operation, per kind of file.
    void openSequenceFile(const QString &path);
    void openPictureFile(const QString &path);
    /// MoviePart::playMovieFile(); E_NOTIMPL while no movie part is installed.
    HResult playMovieFile(const QString &path, MoviePart::MovieStarted started = {});

    // Commands of the view.
    void onSequenceMode();
    void onSetup();
    void onHelpTopics();
    void onHomepage();

    /// Hides the main window in the tray: when the Setup value asks for it, or always with
    /// `force` (the close check's offer). Without a tray the window is minimised instead.
    void goToTray(bool force);

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
    /// What installs the camera on this system: the installer where it lies beside the
    /// program's data, else the package.
    QString cameraSetupAdvice() const;
    /// After the Setup dialog, by OK or Cancel.
    void applySetupResult();

    DeskContext &context_;
    CMainFrame &frame_;
    DeskSettings settings_;
    CameraState camera_;
    std::unique_ptr<PlayServiceControl> serviceControl_;
    std::thread cameraThread_;
};

}  // namespace lumaghost
