// SPDX-License-Identifier: LGPL-2.1-or-later
// The view's parts for pictures, the sequence and the play service, installed together: the
// picture view and the sequence worker share the view's camera link through one gate.
#pragma once

namespace lumaghost {

struct DeskContext;
class CLumadeskView;
class CMainFrame;

/// Installs the picture view, the sequence editor and the Service command in `view`.
void InstallPictureParts(CLumadeskView &view, DeskContext &context, CMainFrame &frame);

}  // namespace lumaghost
