// SPDX-License-Identifier: LGPL-2.1-or-later
// "Setup your real camera" (CDialogRealCameraSetup, template 186), and the property dialog of
// one camera that its "&Setup" opens: built from the device's controls, every change applied
// to the device at once.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>

#include "desk/media/camera_controls.h"
#include "desk/media/media_services.h"

class QComboBox;
class QPushButton;

namespace lumaghost {

struct DeskContext;

class CameraPropertiesDialog final : public QDialog {
    Q_OBJECT
public:
    /// The dialog of `device` for `controls` as listed (each shown at its current value).
    CameraPropertiesDialog(const QString &device, CameraControls &controls,
                           const std::vector<CameraControl> &list, QWidget *parent = nullptr);

    /// The widget of a control: a slider, check box, list or button; nullptr for none.
    QWidget *controlWidget(uint32_t id) const;

private:
    void apply(uint32_t id, int32_t value);

    CameraControls &controls_;
    std::map<uint32_t, QWidget *> widgets_;
};

class CDialogRealCameraSetup final : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 186;
    static constexpr int kCameraList = 1038;
    static constexpr int kSetup = 1039;

    /// `cameras`: the real camera list, in order; the first is selected.
    CDialogRealCameraSetup(DeskContext &context, const std::vector<std::string> &cameras,
                           ControlsOpener openControls, QWidget *parent = nullptr);

    /// "&Setup": the selected camera's property dialog; "No Property Setup Page" for a camera
    /// without controls. Nothing for an empty list or a camera that is no longer there.
    void onSetup();

    QComboBox *cameraList() const { return cameras_; }
    QPushButton *setupButton() const { return setup_; }

private:
    DeskContext &context_;
    ControlsOpener openControls_;
    QComboBox *cameras_ = nullptr;
    QPushButton *setup_ = nullptr;
};

}  // namespace lumaghost
