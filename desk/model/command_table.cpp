// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/command_table.h"

#include <algorithm>

#include "desk/model/parts.h"

namespace lumaghost::cmd {

namespace {

using In = const CommandInputs &;
using T = CommandTarget &;

constexpr QKeyCombination kNoKey{};

bool always(In) {
    return true;
}
bool never(In) {
    return false;
}
bool noGraph(In in) {
    return in.cameraAvailable && !in.graphRunning;
}

// clang-format off
constexpr CommandInfo kCommands[] = {
    {kOpen, "&Open...\tCtrl+O", "Open an existing document\nOpen", Receiver::Document, "open",
     {Qt::CTRL | Qt::Key_O, kNoKey}, false, always, nullptr,
     [](T t) { t.openDocument(); }},
    // The sequence save also serves "Save as...": both need something to save.
    {kSave, "Sa&ve\tF2", "Save the active document\nSave", Receiver::Sequence, "save",
     {Qt::CTRL | Qt::Key_S, QKeyCombination(Qt::Key_F2)}, false,
     [](In in) { return in.sequence && in.itemCount > 0; }, nullptr,
     [](T t) { t.sequence()->save(); }},
    {kSaveAs, "Save as...", "Save the active document with a new name\nSave As", Receiver::Sequence,
     nullptr, {kNoKey, kNoKey}, false,
     [](In in) { return in.sequence && in.itemCount > 0; }, nullptr,
     [](T t) { t.sequence()->save(); }},
    {kPlayMovie, "Play Movie", "Play movie file", Receiver::Movie, "movie", {kNoKey, kNoKey}, false,
     [](In in) { return in.movie && noGraph(in); }, nullptr,
     [](T t) { t.movie()->playMovieCommand(); }},
    {kSetupRealCamera, "Setup Real Camera", "Let user access the real camera's property",
     Receiver::RealCamera, nullptr, {kNoKey, kNoKey}, false,
     [](In in) { return in.realCamera; }, nullptr,
     [](T t) { t.realCamera()->setupRealCamera(); }},
    {kPlayDirectory, "Play All Files in Directory", "Playing all files in a directory one by one",
     Receiver::Directory, "directory", {kNoKey, kNoKey}, false,
     [](In in) { return in.directory && noGraph(in); }, nullptr,
     [](T t) { t.directory()->startDirectoryPlayback(); }},
    {kStopAbove, "Stop Above", "Stop all playing file", Receiver::Movie, nullptr, {kNoKey, kNoKey},
     false, [](In in) { return in.movie && in.cameraAvailable && in.graphRunning; }, nullptr,
     [](T t) { t.movie()->stopGraphPlayback(); }},
    {kExit, "E&xit", "Quit the application; prompts to save documents\nExit", Receiver::Frame,
     nullptr, {Qt::CTRL | Qt::Key_Q, kNoKey}, false, always, nullptr,
     [](T t) { t.exitProgram(); }},
    {kSequence, "&Sequence", "Switch to picture sequence view", Receiver::View, "sequence",
     {kNoKey, kNoKey}, true, always, [](In in) { return in.sequenceMode; },
     [](T t) { t.toggleSequenceMode(); }},
    {kStatusBar, "&Status Bar", "Show or hide the status bar\nToggle StatusBar", Receiver::Frame,
     nullptr, {kNoKey, kNoKey}, true, always, [](In in) { return in.statusBarShown; },
     [](T t) { t.toggleStatusBar(); }},
    {kZoomIn, "Zoom &In\t+", "Zoom in the picture", Receiver::Picture, "zoom-in",
     {QKeyCombination(Qt::Key_Plus), kNoKey}, false, [](In in) { return in.picture; }, nullptr,
     [](T t) { t.picture()->zoomIn(); }},
    {kZoomOut, "Zoom &Out\t-", "Zoom out the picture", Receiver::Picture, "zoom-out",
     {QKeyCombination(Qt::Key_Minus), kNoKey}, false, [](In in) { return in.picture; }, nullptr,
     [](T t) { t.picture()->zoomOut(); }},
    {kZoomOff, "&Zoom Off\t/", "Show the picture in original size", Receiver::Picture, "zoom-off",
     {QKeyCombination(Qt::Key_Slash), kNoKey}, false, [](In in) { return in.picture; }, nullptr,
     [](T t) { t.picture()->zoomOff(); }},
    {kShowPickFrame, "&Show pick frame", "Show frame", Receiver::Picture, "pick-frame",
     {kNoKey, kNoKey}, false, [](In in) { return in.picture && in.cameraAvailable; }, nullptr,
     [](T t) { t.picture()->togglePickFrame(); }},
    {kSetPicture, "Set &Lumaghost Picture", "Set the picture to the Lumaghost driver",
     Receiver::Picture, "set-picture", {kNoKey, kNoKey}, false,
     [](In in) { return in.picture && in.cameraAvailable; }, nullptr,
     [](T t) { t.picture()->setCameraPicture(); }},
    {kPaste, "Paste from clipboard", "Paste the picture from clipboard", Receiver::Picture, "paste",
     {Qt::CTRL | Qt::Key_V, Qt::SHIFT | Qt::Key_Insert}, false,
     [](In in) { return in.picture && in.clipboardHasImage; }, nullptr,
     [](T t) { t.picture()->paste(); }},
    {kShowPrevious, "Show &Prev\tPgUp", "Show the previous picture in the folder", Receiver::Picture,
     "previous", {QKeyCombination(Qt::Key_PageUp), kNoKey}, false,
     [](In in) { return in.picture && in.hasPrevious; }, nullptr,
     [](T t) { t.picture()->showPrevious(); }},
    {kShowNext, "Show &Next\tPgDn", "Show the next picture in the folder", Receiver::Picture, "next",
     {QKeyCombination(Qt::Key_PageDown), kNoKey}, false,
     [](In in) { return in.picture && in.hasNext; }, nullptr,
     [](T t) { t.picture()->showNext(); }},
    {kSetup, "Setup", "Setup", Receiver::View, "setup", {kNoKey, kNoKey}, false, always, nullptr,
     [](T t) { t.runSetup(); }},
    {kPreview, "&Preview", "Preview", Receiver::RealCamera, "preview", {kNoKey, kNoKey}, false,
     [](In in) {
         return in.realCamera && in.cameraAvailable && in.previewReady && !in.previewing;
     },
     nullptr,
     [](T t) { t.realCamera()->startPreview(); }},
    {kStopPreview, "&Stop", "Stop preview", Receiver::RealCamera, "stop-preview", {kNoKey, kNoKey},
     false, [](In in) { return in.realCamera && in.cameraAvailable && in.previewing; }, nullptr,
     [](T t) { t.realCamera()->stopPreview(); }},
    {kAddItem, "&Add", "Add to Sequence", Receiver::Sequence, "add", {kNoKey, kNoKey}, false,
     [](In in) { return in.sequence && in.sequenceMode; }, nullptr,
     [](T t) { t.sequence()->addItem(); }},
    {kDeleteItem, "&Delete", "Delete from Sequence", Receiver::Sequence, "delete", {kNoKey, kNoKey},
     false,
     [](In in) { return in.sequence && in.selectedItem >= 0 && in.selectedItem < in.itemCount; },
     nullptr, [](T t) { t.sequence()->deleteItem(); }},
    // Whatever else feeds the camera ends before the sequence does.
    {kPlaySequence, "&Play", "Play the Sequence", Receiver::Sequence, "play", {kNoKey, kNoKey}, false,
     [](In in) { return in.sequence && !in.sequencePlaying && in.itemCount > 0; }, nullptr,
     [](T t) { t.stopCameraSources(); t.sequence()->play(); }},
    {kStopSequence, "&Stop", "Stop the Sequence", Receiver::Sequence, "stop", {kNoKey, kNoKey}, false,
     [](In in) { return in.sequence && in.sequencePlaying; }, nullptr,
     [](T t) { t.sequence()->stop(); }},
    {kService, "Ser&vice", "Start, Stop and Install sequence service", Receiver::Service,
     "service-running", {kNoKey, kNoKey}, false, [](In in) { return in.service; }, nullptr,
     [](T t) { t.service()->serviceCommand(); }},
    {kHelpTopics, "&Help Topics\tF1", "Show the help topics", Receiver::View, "help",
     {QKeyCombination(Qt::Key_F1), kNoKey}, false, always, nullptr,
     [](T t) { t.showHelpTopics(); }},
    // No key: Home moves within lists and fields, and a web page never opens by a stray key.
    {kHomepage, "&Quillmoor Homepage...", "Go to Quillmoor's homepage", Receiver::View, nullptr,
     {kNoKey, kNoKey}, false, always, nullptr,
     [](T t) { t.showHomepage(); }},
    {kAbout, "&About Lumaghost...",
     "Display program information, version number and copyright\nAbout", Receiver::App, nullptr,
     {kNoKey, kNoKey}, false, always, nullptr, [](T t) { t.showAbout(); }},
    {kContextHelp, "Help", "Display help for current task or command\nHelp", Receiver::Frame, "help",
     {kNoKey, kNoKey}, false, always, nullptr, [](T t) { t.enterContextHelp(); }},
    // The title item and the accelerators of no effect.
    {kOpenRecentTitle, "Open Recent Files Here", "", Receiver::None, nullptr, {kNoKey, kNoKey}, false,
     never, nullptr, nullptr},
    {kNew, "New", "", Receiver::None, nullptr, {Qt::CTRL | Qt::Key_N, kNoKey}, false, never, nullptr,
     nullptr},
    {kCopy, "Copy", "", Receiver::None, nullptr, {Qt::CTRL | Qt::Key_C, Qt::CTRL | Qt::Key_Insert},
     false, never, nullptr, nullptr},
    {kCut, "Cut", "", Receiver::None, nullptr, {Qt::SHIFT | Qt::Key_Delete, Qt::CTRL | Qt::Key_X},
     false, never, nullptr, nullptr},
    // Its keys belong to "Paste from clipboard".
    {kPasteEdit, "Paste", "", Receiver::None, nullptr, {kNoKey, kNoKey}, false, never, nullptr,
     nullptr},
    {kUndo, "Undo", "", Receiver::None, nullptr, {Qt::ALT | Qt::Key_Backspace, Qt::CTRL | Qt::Key_Z},
     false, never, nullptr, nullptr},
    {kNextPane, "Next Pane", "", Receiver::None, nullptr, {QKeyCombination(Qt::Key_F6), kNoKey},
     false, never, nullptr, nullptr},
    {kPreviousPane, "Previous Pane", "", Receiver::None, nullptr, {Qt::SHIFT | Qt::Key_F6, kNoKey},
     false, never, nullptr, nullptr},
};
// clang-format on

constexpr int kMainButtons[] = {kSequence,
                                0,
                                kOpen,
                                0,
                                kPlayDirectory,
                                0,
                                kPreview,
                                kStopPreview,
                                0,
                                kShowPrevious,
                                kShowNext,
                                0,
                                kPaste,
                                0,
                                kZoomOut,
                                kZoomIn,
                                kZoomOff,
                                0,
                                kShowPickFrame,
                                kSetPicture,
                                0,
                                kSetup,
                                0,
                                kContextHelp};

constexpr int kSequenceButtons[] = {
    kSequence,     0, kOpen,    kSave,       0,        kPlaySequence,
    kStopSequence, 0, kAddItem, kDeleteItem, 0,        kShowPrevious,
    kShowNext,     0, kPaste,   0,           kZoomOut, kZoomIn,
    kZoomOff,      0, kService, 0,           kSetup,   kContextHelp};

bool inRange(int id, int first, int count) {
    return id >= first && id < first + count;
}

}  // namespace

std::span<const CommandInfo> commandTable() {
    return kCommands;
}

const CommandInfo *findCommand(int id) {
    auto it = std::find_if(std::begin(kCommands), std::end(kCommands),
                           [id](const CommandInfo &c) { return c.id == id; });
    return it == std::end(kCommands) ? nullptr : &*it;
}

std::span<const int> mainToolBarButtons() {
    return kMainButtons;
}

std::span<const int> sequenceToolBarButtons() {
    return kSequenceButtons;
}

/// \brief The enable and check rule of a row.
///
/// A command whose part is missing is disabled whatever else its rule reads.
CommandStatus commandStatus(const CommandInfo &command, const CommandInputs &in) {
    return {command.enabled(in), command.checked && command.checked(in)};
}

CommandStatus recentEntryStatus(bool listHasEntries) {
    return {listHasEntries, false};
}

CommandStatus cameraItemStatus(int index, const CommandInputs &in) {
    return {in.realCamera, in.selectedCamera == index};
}

CommandStatus commandStatus(int id, const CommandInputs &in) {
    if (const CommandInfo *command = findCommand(id))
        return commandStatus(*command, in);
    if (inRange(id, kFirstRecentPicture, kRecentCount))
        return recentEntryStatus(in.recentPictures);
    if (inRange(id, kFirstRecentSequence, kRecentCount))
        return recentEntryStatus(in.recentSequences);
    if (inRange(id, kFirstRecentMovie, kRecentCount))
        return recentEntryStatus(in.recentMovies);
    if (id >= kFirstCamera && id <= kLastCamera)
        return cameraItemStatus(id - kFirstCamera, in);
    return {false, false};
}

}  // namespace lumaghost::cmd
