// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/window/command_router.h"

#include <QAction>
#include <QStatusBar>
#include <QWhatsThis>

#include "desk/model/desk_context.h"
#include "desk/model/parts.h"
#include "desk/model/recent_file_list.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"

namespace lumaghost {

using namespace cmd;

CommandRouter::CommandRouter(CMainFrame &frame, DeskContext &context)
    : QObject(&frame), frame_(frame), context_(context) {}

void CommandRouter::add(QAction *action, Binding binding) {
    bindings_[action] = std::move(binding);
    connect(action, &QObject::destroyed, this, [this, action] { bindings_.erase(action); });
    // Queued: a command runs after the menu, button or accessibility request that chose it
    // has returned, so a dialog it opens never holds that request up.
    connect(
        action, &QAction::triggered, this,
        [this, action] {
            auto it = bindings_.find(action);
            if (it == bindings_.end())
                return;
            // Copied: the command may rebuild the menus, and with them the bindings.
            const std::function<void()> run = it->second.run;
            if (run)
                run();
            frame_.requestCommandUpdate();
        },
        Qt::QueuedConnection);
}

void CommandRouter::bind(QAction *action, const CommandInfo &command) {
    const CommandInfo *row = &command;
    add(action, {[row](const CommandInputs &in) { return commandStatus(*row, in); },
                 [this, row] {
                     // A command runs only while its rule allows it: a key or a stale menu
                     // cannot reach a missing part.
                     if (row->handler && row->enabled(gatherInputs()))
                         row->handler(*this);
                 }});
}

void CommandRouter::bindRecent(QAction *action, RecentFileList &list, int index) {
    if (index < 0) {
        add(action, {[](const CommandInputs &) { return CommandStatus{false, false}; }, nullptr});
        return;
    }
    RecentFileList *entries = &list;
    add(action,
        {[entries](const CommandInputs &) { return recentEntryStatus(!entries->isEmpty()); },
         [this, entries, index] { context_.doc->openRecent(*entries, index); }});
}

void CommandRouter::bindCamera(QAction *action, int index) {
    add(action, {[index](const CommandInputs &in) { return cameraItemStatus(index, in); },
                 [this, index] {
                     if (RealCameraPart *camera = realCamera())
                         camera->switchToRealCamera(index);
                 }});
}

CommandInputs CommandRouter::gatherInputs() const {
    CommandInputs in;
    const CLumadeskView &view = *frame_.view();
    const PartSet &parts = frame_.parts();
    in.cameraAvailable = view.cameraAvailable();
    in.sequenceMode = frame_.stripShown();
    in.statusBarShown = !frame_.statusBar()->isHidden();
    if (const PicturePart *picture = parts.picture()) {
        in.picture = true;
        in.clipboardHasImage = picture->clipboardHasImage();
        in.hasPrevious = picture->hasPrevious();
        in.hasNext = picture->hasNext();
    }
    if (const SequencePart *sequence = parts.sequence()) {
        in.sequence = true;
        in.itemCount = sequence->itemCount();
        in.selectedItem = sequence->selectedItem();
        in.sequencePlaying = sequence->isPlaying();
    }
    if (const MoviePart *movie = parts.movie()) {
        in.movie = true;
        in.graphRunning = movie->graphExists();
    }
    if (const RealCameraPart *camera = parts.realCamera()) {
        in.realCamera = true;
        in.previewing = camera->isPreviewing();
        in.selectedCamera = camera->selectedCamera();
    }
    in.directory = parts.directory() != nullptr;
    in.service = parts.service() != nullptr;
    in.recentPictures = !context_.recentPictures.isEmpty();
    in.recentSequences = !context_.recentSequences.isEmpty();
    in.recentMovies = !context_.recentMovies.isEmpty();
    return in;
}

/// \brief The one update pass: every action's enable and check rule.
void CommandRouter::updateStates() {
    const CommandInputs in = gatherInputs();
    for (auto &[action, binding] : bindings_) {
        const CommandStatus status = binding.status(in);
        if (action->isEnabled() != status.enabled)
            action->setEnabled(status.enabled);
        if (action->isChecked() != status.checked) {
            if (status.checked && !action->isCheckable())
                action->setCheckable(true);
            action->setChecked(status.checked);
        }
    }
    if (in.sequenceMode && in.service)
        frame_.setServiceButtonImage(frame_.parts().service()->serviceImageState());
}

PicturePart *CommandRouter::picture() {
    return frame_.parts().picture();
}

SequencePart *CommandRouter::sequence() {
    return frame_.parts().sequence();
}

MoviePart *CommandRouter::movie() {
    return frame_.parts().movie();
}

RealCameraPart *CommandRouter::realCamera() {
    return frame_.parts().realCamera();
}

DirectoryPart *CommandRouter::directory() {
    return frame_.parts().directory();
}

ServicePart *CommandRouter::service() {
    return frame_.parts().service();
}

void CommandRouter::openDocument() {
    context_.doc->onFileOpen();
}

void CommandRouter::exitProgram() {
    frame_.close();
}

void CommandRouter::toggleSequenceMode() {
    frame_.view()->onSequenceMode();
}

void CommandRouter::toggleStatusBar() {
    frame_.statusBar()->setVisible(frame_.statusBar()->isHidden());
}

void CommandRouter::runSetup() {
    frame_.view()->onSetup();
}

void CommandRouter::showHelpTopics() {
    frame_.view()->onHelpTopics();
}

void CommandRouter::showHomepage() {
    frame_.view()->onHomepage();
}

void CommandRouter::showAbout() {
    emit frame_.aboutRequested();
}

void CommandRouter::enterContextHelp() {
    QWhatsThis::enterWhatsThisMode();
}

void CommandRouter::stopCameraSources() {
    frame_.parts().stopCameraSources();
}

}  // namespace lumaghost
