// SPDX-License-Identifier: LGPL-2.1-or-later
// Lumadesk's commands: one row per command with its id, its built-in English caption and
// prompt, its icon and keys, whether it is checkable, its enable and check rule and its
// handler. The window makes one QAction per row and routes each action to its own row, never
// by number: the recent entries and the camera items are actions of their own.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include <QKeyCombination>

namespace lumaghost {
class PicturePart;
class SequencePart;
class MoviePart;
class RealCameraPart;
class DirectoryPart;
class ServicePart;
}  // namespace lumaghost

namespace lumaghost::cmd {

// File menu.
inline constexpr int kNew = 57600;  // accelerator only, no handler
inline constexpr int kOpen = 57601;
inline constexpr int kSave = 57603;
inline constexpr int kSaveAs = 57604;
inline constexpr int kPlayMovie = 32794;
inline constexpr int kSetupRealCamera = 32816;
inline constexpr int kPlayDirectory = 32796;
inline constexpr int kStopAbove = 32804;
inline constexpr int kFirstRecentPicture = 57616;  // to 57623
inline constexpr int kFirstRecentSequence = 900;   // to 907
// The movie entries share their numbers with other commands (32814 Restore, 32816 Setup Real
// Camera): only their pack texts are looked up by number.
inline constexpr int kFirstRecentMovie = 32813;  // to 32820
inline constexpr int kRecentCount = 8;
inline constexpr int kExit = 57665;
// View menu.
inline constexpr int kSequence = 152;
inline constexpr int kStatusBar = 59393;
inline constexpr int kZoomIn = 134;
inline constexpr int kZoomOut = 135;
inline constexpr int kZoomOff = 136;
// Option menu.
inline constexpr int kShowPickFrame = 130;
inline constexpr int kSetPicture = 131;
inline constexpr int kPaste = 137;
inline constexpr int kShowPrevious = 133;
inline constexpr int kShowNext = 132;
inline constexpr int kSetup = 150;
// Camera menu.
inline constexpr int kPreview = 142;
inline constexpr int kStopPreview = 143;
// Sequence menu.
inline constexpr int kAddItem = 157;
inline constexpr int kDeleteItem = 158;
inline constexpr int kPlaySequence = 159;
inline constexpr int kStopSequence = 160;
inline constexpr int kService = 32791;
// Help menu.
inline constexpr int kHelpTopics = 146;
inline constexpr int kHomepage = 147;
inline constexpr int kAbout = 57664;
inline constexpr int kContextHelp = 57670;  // toolbar button only
// Drop-down menus.
inline constexpr int kOpenRecentTitle = 32821;
inline constexpr int kFirstCamera = 10000;  // "Camera - " + name
inline constexpr int kLastCamera = 10064;
// Tray menu: its own objects, never among the window's commands.
inline constexpr int kTrayRestore = 32814;
inline constexpr int kTrayExit = 170;
// Accelerators without effect in this application.
inline constexpr int kCopy = 57634;
inline constexpr int kCut = 57635;
inline constexpr int kPasteEdit = 57637;
inline constexpr int kUndo = 57643;
inline constexpr int kNextPane = 57680;
inline constexpr int kPreviousPane = 57681;

// Control bars by id.
inline constexpr int kMainToolBar = 300;
inline constexpr int kSequenceToolBar = 200;
inline constexpr int kHiddenToolBar = 400;
inline constexpr int kMovieControlBar = 182;
inline constexpr int kDisplayTimeBar = 59397;
inline constexpr int kSequenceStrip = 100;

/// Who carries out a command. The receivers other than Document, Frame, View and App are the
/// window's parts (desk/model/parts.h); until a part exists its commands stay disabled.
enum class Receiver : uint8_t {
    Document,    // the document's open operation
    Frame,       // the main frame
    View,        // the view itself (mode, Setup, help)
    App,         // the application object (About)
    Picture,     // picture document and view
    Sequence,    // sequence editing and playback
    Movie,       // movie playback and the graph teardown
    RealCamera,  // real-camera passthrough and camera preview
    Directory,   // directory playback
    Service,     // play-service control
    None,        // accepted and ignored
};

/// What the enable and check rules look at, gathered once per update pass.
struct CommandInputs {
    // Parts present.
    bool picture = false;
    bool sequence = false;
    bool movie = false;
    bool realCamera = false;
    bool directory = false;
    bool service = false;
    // Frame and view.
    bool cameraAvailable = false;
    bool sequenceMode = false;
    bool statusBarShown = true;
    // Picture.
    bool clipboardHasImage = false;
    bool hasPrevious = false;
    bool hasNext = false;
    // Sequence.
    int itemCount = 0;
    int selectedItem = -1;
    bool sequencePlaying = false;
    // Graphs.
    bool graphRunning = false;
    bool previewing = false;
    bool previewReady = false;
    int selectedCamera = -1;
    // Recent lists.
    bool recentPictures = false;
    bool recentSequences = false;
    bool recentMovies = false;
};

struct CommandStatus {
    bool enabled = false;
    bool checked = false;
    friend bool operator==(const CommandStatus &, const CommandStatus &) = default;
};

/// What the handlers reach: the parts (null while missing) and the window's own operations.
/// The window's command router is the one implementation.
class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    virtual PicturePart *picture() = 0;
    virtual SequencePart *sequence() = 0;
    virtual MoviePart *movie() = 0;
    virtual RealCameraPart *realCamera() = 0;
    virtual DirectoryPart *directory() = 0;
    virtual ServicePart *service() = 0;

    virtual void openDocument() = 0;
    virtual void exitProgram() = 0;
    virtual void toggleSequenceMode() = 0;
    virtual void toggleStatusBar() = 0;
    virtual void runSetup() = 0;
    virtual void showHelpTopics() = 0;
    virtual void showHomepage() = 0;
    virtual void showAbout() = 0;
    virtual void enterContextHelp() = 0;
    /// Ends whatever feeds the camera.
    virtual void stopCameraSources() = 0;
};

/// One command. A handler runs only while its enable rule holds, so it finds its part.
struct CommandInfo {
    using Rule = bool (*)(const CommandInputs &);
    using Handler = void (*)(CommandTarget &);

    int id;
    const char *caption;  // menu text, the pack's key is the id; the part after '\t' labels keys
    const char *prompt;   // status-bar text, then the tool tip after '\n'
    Receiver receiver;
    const char *icon;                     // ":/icons/<icon>.svg", or nullptr
    std::array<QKeyCombination, 2> keys;  // Qt::Key_unknown: none
    bool checkable;
    Rule enabled;
    Rule checked;     // nullptr: never checked
    Handler handler;  // nullptr: accepted and ignored
};

/// Every command of the window with a fixed id (recent entries and camera items are built from
/// their first id).
std::span<const CommandInfo> commandTable();
/// The row of `id`, or nullptr.
const CommandInfo *findCommand(int id);

/// The toolbars' buttons in order; 0 is a separator.
std::span<const int> mainToolBarButtons();
std::span<const int> sequenceToolBarButtons();

/// The enable and check state of a row for `in`.
CommandStatus commandStatus(const CommandInfo &command, const CommandInputs &in);
/// A recent entry of a list that is empty or not.
CommandStatus recentEntryStatus(bool listHasEntries);
/// The item of real camera `index`.
CommandStatus cameraItemStatus(int index, const CommandInputs &in);

/// The enable and check state of command `id` for `in`: the row of a fixed id first, then the
/// recent entries and the camera items by their ranges.
CommandStatus commandStatus(int id, const CommandInputs &in);

}  // namespace lumaghost::cmd
