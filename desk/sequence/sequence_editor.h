// SPDX-License-Identifier: LGPL-2.1-or-later
// The sequence: its items on the strip, the display-time bar, adding and deleting items, opening
// and saving .lgs files, and playing the sequence into the camera.
#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QPointer>
#include <QString>

#include "desk/model/parts.h"
#include "desk/sequence/sequence_player.h"

namespace lumaghost {

struct DeskContext;
class CameraGate;
class CLumadeskView;
class CMainFrame;
class CShowTime;
class SequenceStrip;

class SequenceEditor final : public QObject, public SequencePart {
    Q_OBJECT
public:
    /// Asks for the name to save under; empty when the user cancelled.
    using SaveDialog = std::function<QString()>;

    SequenceEditor(CLumadeskView &view, DeskContext &context, CMainFrame &frame,
                   std::shared_ptr<CameraGate> camera);
    /// Stops the worker; the strip and the bar go with their items.
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

    SequenceStrip *strip();
    CShowTime *displayTimeBar();
    SequencePlayer &player() { return player_; }
    /// The file saved last.
    const QString &sequenceFile() const { return sequenceFile_; }
    /// The save dialog's stand-in (tests).
    void setSaveDialog(SaveDialog dialog) { saveDialog_ = std::move(dialog); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /// The strip and the bar in their places in the main window, once those exist.
    void ensureWidgets();
    void selectionChanged(int index);
    /// The worker handed item `index` of the played snapshot to the camera.
    void itemShown(int index);
    void displayTimeChanged(int displayTime);
    /// Repaints the strip and the view after a change of the items.
    void itemsChanged();
    QString askSavePath();

    CLumadeskView &view_;
    DeskContext &context_;
    CMainFrame &frame_;
    std::shared_ptr<CameraGate> camera_;
    QPointer<SequenceStrip> strip_;
    QPointer<CShowTime> bar_;
    QPointer<QWidget> stripPlace_;
    SequencePlayer player_;
    bool playing_ = false;
    int playedCount_ = 0;  // the items of the snapshot that plays
    QString sequenceFile_;
    SaveDialog saveDialog_;
};

}  // namespace lumaghost
