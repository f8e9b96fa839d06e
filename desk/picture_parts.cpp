// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/picture_parts.h"

#include <memory>

#include "desk/camera_gate.h"
#include "desk/lumadesk_view.h"
#include "desk/picture_view.h"
#include "desk/sequence_editor.h"
#include "desk/service_control.h"

namespace lumaghost {

void InstallPictureParts(CLumadeskView &view, DeskContext &context, CMainFrame &frame) {
    auto camera = std::make_shared<CameraGate>(view.cameraLink());
    view.setPictureOwner(std::make_unique<PictureView>(view, context, camera));
    view.setSequenceOwner(std::make_unique<SequenceEditor>(view, context, frame, camera));
    view.setServiceOwner(std::make_unique<PlayServiceCommand>(view, context, frame));
}

}  // namespace lumaghost
