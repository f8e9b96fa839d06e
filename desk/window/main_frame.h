// SPDX-License-Identifier: LGPL-2.1-or-later
// The main window: menus, the main and sequence toolbars, the movie control bar, the
// display-time bar, the sequence strip, the status bar, the tray icon and the close check. It
// makes the parts' widgets and the parts, which it owns. One QAction per command id; every
// enable and check rule is evaluated in updateCommandStates().
#pragma once

#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <QHash>
#include <QIcon>
#include <QMainWindow>

#include "desk/media/media_services.h"
#include "desk/model/command_table.h"
#include "desk/model/on_camera.h"
#include "desk/model/part_context.h"
#include "desk/model/part_set.h"
#include "lang/qt_translations.h"

class QLabel;
class QProgressBar;
class QMenu;
class QToolBar;
class QToolButton;

namespace lumaghost {

struct DeskContext;
class CDialogVideoControl;
class CLumadeskView;
class CShowTime;
class CommandRouter;
class PreviewWindow;
class RecentFileList;
class SequenceStrip;
class TrayIcon;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(DeskContext &context, QWidget *parent = nullptr);
    ~CMainFrame() override;

    CLumadeskView *view() const { return view_; }
    /// The parts, which carry out the commands.
    PartSet &parts() { return parts_; }
    /// Makes the movie, real-camera and directory parts anew on `services`, in place of those
    /// there are.
    void createMediaParts(MediaServices services);

    /// The action of a command id (recent entries and camera items included), or nullptr.
    QAction *command(int id) const;
    /// Every action the update pass sets, with its command id.
    const std::vector<std::pair<int, QAction *>> &commandActions() const { return passList_; }

    // Modes and bars.
    bool pictureMode() const { return pictureMode_; }
    /// The Sequence command's switch between picture and sequence mode.
    void toggleMode();
    /// Makes the window taller, within its screen, until the view's client area is `height`
    /// high with the bars of the mode shown; never smaller.
    void growViewTo(int height);
    /// The sequence strip is shown: sequence mode.
    bool stripShown() const;
    void showControlBar(int id, bool show);
    /// The bar of `id` (300, 200, 400, 182, 59397, 100) as a widget; for the movie control bar
    /// and the display-time bar, the place on the band that holds the part's widget.
    QWidget *controlBar(int id) const;
    /// The toolbar button of a command on toolbar `toolBarId`.
    QToolButton *toolButton(int toolBarId, int commandId) const;
    /// The Service button's image: 0 running, 1 installed, 2 missing (mod 3).
    void setServiceButtonImage(int state);
    int serviceButtonImage() const { return serviceImage_; }
    QMenu *openDropDown() const { return openDropDown_; }
    QMenu *sequenceDropDown() const { return sequenceDropDown_; }
    QMenu *trayMenu() const;

    /// Every enable and check rule, in one pass.
    void updateCommandStates();
    /// Asks for an update pass once control returns to the event loop.
    void requestCommandUpdate();

    /// The selected language, shown: menu bar, prompts, idle text and status panes, and Qt's
    /// own texts (standard buttons, file dialogs) in that language.
    void applyLanguage();
    /// The recent lists' menus from the lists as they stand.
    void rebuildRecentMenus();
    /// The status bar's source pane names what feeds the camera now.
    void setOnCamera(const OnCamera &source);
    const OnCamera &onCamera() const { return onCamera_; }
    QLabel *sourcePane() const { return sourcePane_; }
    /// The status bar's indication of a movie or real camera that takes its time to start:
    /// `text` names it; empty hides it.
    void setStartProgress(const QString &text);
    QProgressBar *startProgress() const { return startProgress_; }

    /// The real cameras' items of the "Switch To Real Camera" menus.
    void setCameraItems(const std::vector<std::string> &names);

    // Tray.
    bool inTray() const { return tray_ != nullptr; }
    bool trayAvailable() const;
    /// Adds the tray icon and hides the window; without a tray the window is minimised.
    void goToTray();
    /// Removes the tray icon and shows the window as it was before.
    void restoreFromTray();
    /// Another start asked for this window: out of the tray or minimisation, and to the front.
    void bringToFront();

    /// The close check: false when the window must stay.
    bool closeAllowed();
    /// Writes the window's place to "Main".
    void storePlacement();
    /// The window's rectangle as stored: position of the frame, size of the window; its normal
    /// rectangle while minimised or in the tray.
    QRect placement() const;

signals:
    /// The close check let the window close.
    void closed();
    /// The About command, which the application object carries out.
    void aboutRequested();

protected:
    QMenu *createPopupMenu() override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void createActions();
    void createMenus();
    void createToolBars();
    void createControlBars();
    void createStatusBar();
    /// The view above the sequence strip.
    void createCentralArea();
    /// The parts, on the widgets made for them.
    void createParts();
    PartContext partContext();
    /// The part's title changes go to the document.
    template <typename Part>
    void followTitle(Part *part);
    void readPlacement();
    QAction *makeAction(const cmd::CommandInfo &info);
    QToolBar *makeToolBar(int id, const QString &title, std::span<const int> buttons);
    void rebuildPassList();
    void fillRecentMenu(QMenu *menu, RecentFileList &list, int firstId, bool withPrompt);
    /// Tool tips and button texts from the captions where the pack gives no tool tip.
    void refreshButtonTexts();
    void relabelDropDown(QMenu *menu);

    DeskContext &context_;
    CommandRouter *router_;
    CLumadeskView *view_ = nullptr;
    // The parts' widgets, in the bars and below the view.
    CDialogVideoControl *movieControl_ = nullptr;
    CShowTime *displayTime_ = nullptr;
    SequenceStrip *sequenceStrip_ = nullptr;
    PreviewWindow *preview_ = nullptr;
    bool pictureMode_ = true;
    bool updatePending_ = false;
    bool placementStored_ = false;
    int serviceImage_ = 0;
    int pendingViewHeight_ = 0;  // growViewTo() asked before the window was shown

    QHash<int, QAction *> commands_;
    std::vector<std::pair<int, QAction *>> passList_;
    std::vector<QAction *> recentActions_;
    std::vector<QAction *> cameraActions_;
    QMenu *recentPictureMenu_ = nullptr;
    QMenu *recentSequenceMenu_ = nullptr;
    QMenu *recentMovieMenu_ = nullptr;
    QMenu *realCameraMenu_ = nullptr;
    QAction *cameraSeparator_ = nullptr;
    QMenu *openDropDown_ = nullptr;
    QMenu *sequenceDropDown_ = nullptr;

    QToolBar *mainToolBar_ = nullptr;
    QToolBar *sequenceToolBar_ = nullptr;
    QToolBar *hiddenToolBar_ = nullptr;
    QToolBar *movieControlBar_ = nullptr;
    QToolBar *displayTimeBar_ = nullptr;
    QWidget *movieControlPlace_ = nullptr;
    QWidget *displayTimePlace_ = nullptr;
    QWidget *strip_ = nullptr;
    // No lock-key panes: Qt does not tell their state, and an indicator that is always off
    // would be wrong.
    QLabel *sourcePane_ = nullptr;
    QProgressBar *startProgress_ = nullptr;
    OnCamera onCamera_;
    QIcon serviceIcons_[3];

    QtTranslations qtTranslations_;
    std::unique_ptr<TrayIcon> tray_;
    Qt::WindowStates stateBeforeTray_ = Qt::WindowNoState;
    // Members go before the base class deletes the child widgets: the parts end before the
    // widgets they were given and the view whose camera state and settings they borrow.
    PartSet parts_;
};

}  // namespace lumaghost
