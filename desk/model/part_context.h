// SPDX-License-Identifier: LGPL-2.1-or-later
// What the window lends the parts it makes: the shared context, the parts to find one another,
// the camera as its start left it, the view's settings, the play service's controller and the
// window that owns the parts' dialogs. Everything in it outlives the parts.
#pragma once

class QWidget;

namespace lumaghost {

struct CameraState;
struct DeskContext;
struct DeskSettings;
class PartSet;
class PlayServiceControl;

struct PartContext {
    DeskContext &desk;
    PartSet &parts;
    CameraState &camera;
    const DeskSettings &settings;
    /// None without a service manager.
    PlayServiceControl *service;
    /// The owner of the parts' dialogs and message boxes.
    QWidget *window;
};

}  // namespace lumaghost
