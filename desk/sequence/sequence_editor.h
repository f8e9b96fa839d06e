// SPDX-License-Identifier: LGPL-2.1-or-later
// The sequence: its items on the strip, the display-time bar, adding and deleting items, opening
// and saving .lgs files, and playing the sequence into the camera.
#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QString>

#include "desk/model/part_context.h"
#include "desk/model/parts.h"
#include "desk/sequence/sequence_player.h"

namespace lumaghost {

class CameraGate;
class CShowTime;
class SequenceStrip;

class SequenceEditor final : public QObject, public SequencePart {
    Q_OBJECT
public:
    /// Asks for the name to save under; empty when the user cancelled.
    using SaveDialog = std::function<QString()>;

    /// The sequence on the window's `strip` and display-time `bar`, played into the camera
    /// through `camera`.
    SequenceEditor(const PartContext &part, SequenceStrip &strip, CShowTime &bar,
                   std::shared_ptr<CameraGate> camera);
    /// Stops the worker.
    ~SequenceEditor() override;

    // SequencePart.
    void openSequence(const QString &path) override;
    void save() override;
    void addItem() override;
    void deleteItem() override;
    void play() override;
    void stop() override;
    int itemCount() const override;
    int selectedItem() const override;
    bool isPlaying() const override { return playing_; }

    SequenceStrip *strip() const { return &strip_; }
    CShowTime *displayTimeBar() const { return &bar_; }
    SequencePlayer &player() { return player_; }
    /// The file saved last.
    const QString &sequenceFile() const { return sequenceFile_; }
    /// The save dialog's stand-in (tests).
    void setSaveDialog(SaveDialog dialog) { saveDialog_ = std::move(dialog); }

signals:
    /// Something the commands' rules read has changed.
    void stateChanged();
    /// Items were added, deleted or read: the view is painted again.
    void itemsChanged();
    /// An item was selected: the display-time bar refers to it.
    void itemSelected();
    /// A file was saved and put on the recent sequence list.
    void recentFilesChanged();

private:
    void selectionChanged(int index);
    /// The worker handed item `index` of the played snapshot to the camera.
    void itemShown(int index);
    void displayTimeChanged(int displayTime);
    /// Repaints the strip after a change of the items, and says so.
    void itemsEdited();
    QString askSavePath();

    PartContext part_;
    DeskContext &context_;
    SequenceStrip &strip_;
    CShowTime &bar_;
    std::shared_ptr<CameraGate> camera_;
    SequencePlayer player_;
    bool playing_ = false;
    int playedCount_ = 0;  // the items of the snapshot that plays
    QString sequenceFile_;
    SaveDialog saveDialog_;
};

}  // namespace lumaghost
