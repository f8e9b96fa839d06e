// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/sequence/sequence_editor.h"

#include <QEvent>
#include <QFile>
#include <QFileDialog>

#include "desk/model/camera_gate.h"
#include "desk/model/camera_state.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/model/desk_settings.h"
#include "desk/model/file_errors.h"
#include "desk/model/message_ids.h"
#include "desk/model/part_set.h"
#include "desk/picture/picture_editor.h"
#include "desk/sequence/sequence_strip.h"
#include "desk/sequence/show_time.h"
#include "desk/service/play_service_command.h"
#include "device/frame_channel.h"
#include "lang/pack_ids.h"
#include "media/sequence_file.h"
#include "setup/linux_device_installer.h"

namespace lumaghost {

namespace {

std::filesystem::path localPath(const QString &path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

/// "Read File Error!" for a sequence file that opened but is none.
class ReadErrorBox final : public ReadErrorReporter {
public:
    ReadErrorBox(DeskContext &context, QWidget *owner) : context_(context), owner_(owner) {}
    void reportReadFileError() override {
        context_.ask(owner_, appTitle(), context_.message(pack_ids::kReadFileError),
                     MessageButtons::Ok, MessageIcon::Warning);
    }

private:
    DeskContext &context_;
    QWidget *owner_;
};

}  // namespace

SequenceEditor::SequenceEditor(const PartContext &part, SequenceStrip &strip, CShowTime &bar,
                               std::shared_ptr<CameraGate> camera)
    : part_(part),
      context_(part.desk),
      strip_(strip),
      bar_(bar),
      camera_(std::move(camera)),
      player_(*camera_) {
    connect(&strip_, &SequenceStrip::selectionChanged, this, &SequenceEditor::selectionChanged);
    connect(&bar_, &CShowTime::displayTimeChanged, this, &SequenceEditor::displayTimeChanged);
    // As the Delete command does, while its rule allows it.
    connect(&strip_, &SequenceStrip::deleteRequested, this, [this] {
        if (selectedItem() >= 0 && selectedItem() < itemCount())
            deleteItem();
    });
    // Posted to this thread: the strip marks the item and the status bar names it.
    player_.setItemShown([this](size_t index) {
        QMetaObject::invokeMethod(
            this, [this, index] { itemShown(int(index)); }, Qt::QueuedConnection);
    });
}

SequenceEditor::~SequenceEditor() {
    player_.stop();
}

int SequenceEditor::itemCount() const {
    return strip_.count();
}

int SequenceEditor::selectedItem() const {
    return strip_.selected();
}

void SequenceEditor::itemsEdited() {
    strip_.update();
    emit itemsChanged();
    emit stateChanged();
}

void SequenceEditor::selectionChanged(int index) {
    if (index < 0 || index >= strip_.count())
        return;
    emit itemSelected();
    bar_.referTo(int(strip_.item(index).frame.displayTime));
    emit stateChanged();
}

void SequenceEditor::displayTimeChanged(int displayTime) {
    if (strip_.selected() < 0)
        return;
    // Taken by the next Play: a sequence that plays keeps the times it started with.
    strip_.item(strip_.selected()).frame.displayTime = uint32_t(displayTime);
    strip_.update();
}

/// \brief Add: what the pick frame covers, as the view shows it, becomes the last item.
void SequenceEditor::addItem() {
    auto *picture = dynamic_cast<PictureEditor *>(part_.parts.picture());
    if (!picture)
        return;
    const QRect pick = picture->pickRect();
    if (pick.width() <= 0 || pick.height() <= 0 ||
        pick.width() > int(FrameChannel::kMaxDimension) ||
        pick.height() > int(FrameChannel::kMaxDimension))
        return;
    const QImage pixels = picture->renderRegion(pick);
    if (pixels.isNull())
        return;
    strip_.append(makeStripItem(pixels));
    itemsEdited();
}

void SequenceEditor::deleteItem() {
    if (strip_.selected() < 0)
        return;
    strip_.remove(strip_.selected());
    // The bar refers to the item that took the removed one's place, or to nothing.
    const int selected = strip_.selected();
    bar_.referTo(selected < 0 ? std::nullopt
                              : std::optional<int>(strip_.item(selected).frame.displayTime));
    itemsEdited();
}

/// \brief Opening a .lgs file: its images replace the items, in file order; a damaged file is
/// told and leaves the items as they were. Only the headers are read: the pixels stay in the
/// file until a thumbnail, the worker or a save asks for them.
void SequenceEditor::openSequence(const QString &path) {
    part_.parts.setCurrentItemPath(path);
    std::vector<SequenceRecord> records;
    ReadErrorBox reporter(context_, part_.window);
    // No camera takes a larger frame: a record beyond it is no sequence Lumadesk made.
    const RecordBound bound{int32_t(kMaxCameraWidth), int32_t(kMaxCameraHeight)};
    if (!readSequenceRecords(localPath(path), records, &reporter, bound))
        return;
    std::vector<PlayItem> items;
    items.reserve(records.size());
    for (SequenceRecord &record : records)
        items.push_back({record.header.width, record.header.height, std::move(record.pixels),
                         record.header.displayTime});
    strip_.replace(std::move(items));
    bar_.referTo(std::nullopt);
    itemsEdited();
}

QString SequenceEditor::askSavePath() {
    if (saveDialog_)
        return saveDialog_();
    QFileDialog dialog(part_.window, context_.message(msg::kSaveAsTitle));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("lgs"));
    QString all = context_.message(msg::kAllFilesFilter);
    all.replace(QStringLiteral("*.*"), QStringLiteral("*"));
    dialog.setNameFilters(
        {context_.message(pack_ids::kSequenceFilterName) + QStringLiteral(" (*.lgs)"), all});
    if (!dialog.exec() || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().front();
}

/// \brief Save: the items to a .lgs file, the file to the recent list, and, when the user wants
/// it, to the play service as its auto-play item.
void SequenceEditor::save() {
    if (strip_.count() == 0)
        return;
    const QString path = askSavePath();
    if (path.isEmpty())
        return;
    std::vector<SequenceItem> items;
    items.reserve(size_t(strip_.count()));
    for (int i = 0; i < strip_.count(); ++i) {
        const PlayItem &frame = strip_.item(i).frame;
        items.push_back({frame.width, frame.height, frame.pixels ? frame.pixels->data() : nullptr,
                         frame.displayTime, frame.pixels.get()});
    }
    if (const HResult written = writeSequenceFile(localPath(path), items); written.failed()) {
        context_.ask(part_.window, appTitle(),
                     context_.message(pack_ids::kCannotWrite,
                                      {path, fileErrorText(context_.packs, written)}),
                     MessageButtons::Ok, MessageIcon::Error);
        return;
    }
    sequenceFile_ = path;
    context_.recentSequences.add(path);
    emit recentFilesChanged();

    if (!part_.settings.autoSaveSequenceForNext &&
        context_.ask(part_.window, context_.message(pack_ids::kAutoPlayCaption),
                     context_.message(msg::kAutoPlayNextBoot), MessageButtons::YesNo,
                     MessageIcon::Question) != MessageAnswer::Yes)
        return;
    RegistryHive machine = machineHive();
    const HResult set = writeAutoPlaySetting(machine, QFile::encodeName(path).toStdString());
    // The user asked for it: a setting that could not be written is said.
    if (set.failed())
        reportAutoPlayFailure(context_, part_.window, path, machine, set);
}

/// \brief Play: the camera is Lumadesk's alone, and the worker plays the items as they stand.
void SequenceEditor::play() {
    // The view's camera link is settled once its start has finished; a sequence opened from
    // the command line may be there before.
    if (playing_ || strip_.count() == 0 || !part_.camera.started)
        return;
    if (MoviePart *movie = part_.parts.movie(); movie && movie->graphExists())
        movie->stopGraphPlayback();
    stopPlayServiceIfRunning(part_.service);
    if (RealCameraPart *camera = part_.parts.realCamera();
        camera && part_.camera.available && camera->previewReady() && !camera->isPreviewing())
        camera->startPreview();
    playing_ = true;
    playedCount_ = strip_.count();
    player_.start(strip_.snapshot());
    emit stateChanged();
}

void SequenceEditor::itemShown(int index) {
    // A frame told after its stop is no longer on the camera's way.
    if (!playing_)
        return;
    strip_.setPlayingItem(index);
    part_.parts.reportOnCamera({OnCamera::Kind::SequenceItem, QString(), index + 1, playedCount_});
}

void SequenceEditor::stop() {
    if (!playing_)
        return;
    if (RealCameraPart *camera = part_.parts.realCamera(); camera && camera->isPreviewing())
        camera->stopPreview();
    playing_ = false;
    player_.stop();
    strip_.setPlayingItem(-1);
    part_.parts.reportOnCamera({OnCamera::Kind::Nothing});
    emit stateChanged();
}

}  // namespace lumaghost
