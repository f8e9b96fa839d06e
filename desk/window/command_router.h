// SPDX-License-Identifier: LGPL-2.1-or-later
// The main window's command router: each QAction is bound to what it runs (a row of the
// command table, a recent entry or a camera item), and the one update pass sets every
// action's enable and check state from the state gathered once.
#pragma once

#include <functional>
#include <unordered_map>

#include <QObject>

#include "desk/model/command_table.h"

class QAction;

namespace lumaghost {

class CMainFrame;
class RecentFileList;
struct DeskContext;

class CommandRouter final : public QObject, public cmd::CommandTarget {
    Q_OBJECT
public:
    CommandRouter(CMainFrame &frame, DeskContext &context);

    /// Triggering `action` runs the handler of `command` while its enable rule holds.
    void bind(QAction *action, const cmd::CommandInfo &command);
    /// Triggering `action` opens entry `index` of `list`; an empty list's placeholder (index
    /// -1) stays disabled.
    void bindRecent(QAction *action, RecentFileList &list, int index);
    /// Triggering `action` switches to real camera `index`.
    void bindCamera(QAction *action, int index);

    /// What the rules read, gathered from the window and its parts.
    cmd::CommandInputs gatherInputs() const;
    /// The one update pass.
    void updateStates();

    // cmd::CommandTarget
    PicturePart *picture() override;
    SequencePart *sequence() override;
    MoviePart *movie() override;
    RealCameraPart *realCamera() override;
    DirectoryPart *directory() override;
    ServicePart *service() override;
    void openDocument() override;
    void exitProgram() override;
    void toggleSequenceMode() override;
    void toggleStatusBar() override;
    void runSetup() override;
    void showHelpTopics() override;
    void showHomepage() override;
    void showAbout() override;
    void enterContextHelp() override;
    void stopCameraSources() override;

private:
    struct Binding {
        std::function<cmd::CommandStatus(const cmd::CommandInputs &)> status;
        std::function<void()> run;
    };
    void add(QAction *action, Binding binding);

    CMainFrame &frame_;
    DeskContext &context_;
    std::unordered_map<QAction *, Binding> bindings_;
};

}  // namespace lumaghost
