// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/window/picture_parts.h"

#include <memory>

#include "desk/model/camera_gate.h"
#include "desk/picture/picture_view.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/service/play_service_command.h"
#include "desk/window/lumadesk_view.h"

namespace lumaghost {

void InstallPictureParts(CLumadeskView &view, DeskContext &context, CMainFrame &frame) {
    auto camera = std::make_shared<CameraGate>(view.cameraLink());
    view.setPicturePart(std::make_unique<PictureView>(view, context, camera));
    view.setSequencePart(std::make_unique<SequenceEditor>(view, context, frame, camera));
    view.setServicePart(std::make_unique<PlayServiceCommand>(view, context, frame));
}

}  // namespace lumaghost
