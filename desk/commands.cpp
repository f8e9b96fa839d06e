// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/commands.h"

#include <algorithm>
#include <array>

namespace lumaghost::cmd {

namespace {

constexpr CommandInfo kCommands[] = {
    {kOpen, "&Open...\tCtrl+O", "Open an existing document\nOpen", Owner::Document},
    {kSave, "Sa&ve\tF2", "Save the active document\nSave", Owner::Sequence},
    {kSaveAs, "Save as...", "Save the active document with a new name\nSave As", Owner::Sequence},
    {kPlayMovie, "Play Movie", "Play movie file", Owner::Movie},
    {kSetupRealCamera, "Setup Real Camera", "Let user access the real camera's property",
     Owner::RealCamera},
    {kPlayDirectory, "Play All Files in Directory", "Playing all files in a directory one by one",
     Owner::Directory},
    {kStopAbove, "Stop Above", "Stop all playing file", Owner::Movie},
    {kExit, "E&xit", "Quit the application; prompts to save documents\nExit", Owner::Frame},
    {kSequence, "&Sequence", "Switch to picture sequence view", Owner::View},
    {kStatusBar, "&Status Bar", "Show or hide the status bar\nToggle StatusBar", Owner::Frame},
    {kZoomIn, "Zoom &In\t+", "Zoom in the picture", Owner::Picture},
    {kZoomOut, "Zoom &Out\t-", "Zoom out the picture", Owner::Picture},
    {kZoomOff, "&Zoom Off\t/", "Show the picture in original size", Owner::Picture},
    {kShowPickFrame, "&Show pick frame", "Show frame", Owner::Picture},
    {kSetPicture, "Set &Lumaghost Picture", "Set the picture to the Lumaghost driver",
     Owner::Picture},
    {kPaste, "Paste from clipboard", "Paste the picture from clipboard", Owner::Picture},
    {kShowPrevious, "Show &Prev\tPgUp", "Show the previous picture in the folder", Owner::Picture},
    {kShowNext, "Show &Next\tPgDn", "Show the next picture in the folder", Owner::Picture},
    {kSetup, "Setup", "Setup", Owner::View},
    {kPreview, "&Preview", "Preview", Owner::RealCamera},
    {kStopPreview, "&Stop", "Stop preview", Owner::RealCamera},
    {kAddItem, "&Add", "Add to Sequence", Owner::Sequence},
    {kDeleteItem, "&Delete", "Delete from Sequence", Owner::Sequence},
    {kPlaySequence, "&Play", "Play the Sequence", Owner::Sequence},
    {kStopSequence, "&Stop", "Stop the Sequence", Owner::Sequence},
    {kService, "Ser&vice", "Start, Stop and Install sequence service", Owner::Service},
    {kHelpTopics, "&Help Topics\tF1", "Show the help topics", Owner::View},
    {kHomepage, "&Quillmoor Homepage...\tHome", "Go to Quillmoor's homepage", Owner::View},
    {kAbout, "&About Lumaghost...",
     "Display program information, version number and copyright\nAbout", Owner::App},
    {kContextHelp, "Help", "Display help for current task or command\nHelp", Owner::Frame},
    {kOpenRecentTitle, "Open Recent Files Here", "", Owner::None},
    {kNew, "New", "", Owner::None},
    {kCopy, "Copy", "", Owner::None},
    {kCut, "Cut", "", Owner::None},
    {kPasteEdit, "Paste", "", Owner::None},
    {kUndo, "Undo", "", Owner::None},
    {kNextPane, "Next Pane", "", Owner::None},
    {kPreviousPane, "Previous Pane", "", Owner::None},
};

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

/// \brief The enable and check rule of a command.
///
/// A command whose part is missing is disabled whatever its own rule says.
CommandStatus commandStatus(int id, const CommandInputs &in) {
    if (inRange(id, kFirstRecentPicture, kRecentCount))
        return {in.recentPictures, false};
    if (inRange(id, kFirstRecentSequence, kRecentCount))
        return {in.recentSequences, false};
    if (inRange(id, kFirstRecentMovie, kRecentCount))
        return {in.recentMovies, false};
    if (id >= kFirstCamera && id <= kLastCamera)
        return {in.realCamera, in.selectedCamera == id - kFirstCamera};

    const bool noGraph = in.cameraAvailable && !in.graphRunning;
    switch (id) {
        case kOpen:
        case kExit:
        case kSetup:
        case kHelpTopics:
        case kHomepage:
        case kAbout:
        case kContextHelp:
            return {true, false};
        case kSequence:
            return {true, in.sequenceMode};
        case kStatusBar:
            return {true, in.statusBarShown};
        // The sequence save also serves "Save as...": both need something to save.
        case kSave:
        case kSaveAs:
            return {in.sequence && in.itemCount > 0, false};
        case kPlayMovie:
            return {in.movie && noGraph, false};
        case kStopAbove:
            return {in.movie && in.cameraAvailable && in.graphRunning, false};
        case kPlayDirectory:
            return {in.directory && noGraph, false};
        case kSetupRealCamera:
            return {in.realCamera, false};
        case kZoomIn:
        case kZoomOut:
        case kZoomOff:
            return {in.picture, false};
        case kShowPickFrame:
        case kSetPicture:
            return {in.picture && in.cameraAvailable, false};
        case kPaste:
            return {in.picture && in.clipboardHasImage, false};
        case kShowPrevious:
            return {in.picture && in.hasPrevious, false};
        case kShowNext:
            return {in.picture && in.hasNext, false};
        case kPreview:
            return {in.realCamera && in.cameraAvailable && !in.previewing, false};
        case kStopPreview:
            return {in.realCamera && in.cameraAvailable && in.previewing, false};
        case kAddItem:
            return {in.sequence && in.sequenceMode, false};
        case kDeleteItem:
            return {in.sequence && in.selectedItem >= 0 && in.selectedItem < in.itemCount, false};
        case kPlaySequence:
            return {in.sequence && !in.sequencePlaying && in.itemCount > 0, false};
        case kStopSequence:
            return {in.sequence && in.sequencePlaying, false};
        case kService:
            return {in.service, false};
        default:
            // The title item and the accelerators of no effect.
            return {false, false};
    }
}

}  // namespace lumaghost::cmd
