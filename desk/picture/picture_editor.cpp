// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/picture/picture_editor.h"

#include <algorithm>
#include <cstring>

#include <QAbstractScrollArea>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "desk/model/camera_gate.h"
#include "desk/model/camera_state.h"
#include "desk/model/desk_context.h"
#include "desk/model/desk_settings.h"
#include "desk/model/file_errors.h"
#include "desk/model/message_format.h"
#include "desk/model/message_ids.h"
#include "desk/model/part_set.h"
#include "desk/service/play_service_command.h"
#include "device/frame_channel.h"
#include "frames/picture_file.h"
#include "lang/pack_ids.h"
#include "media/sequence_file.h"
#include "platform/posix_file.h"
#include "platform/registry.h"

namespace lumaghost {

namespace {

constexpr char kDefaultPicture[] = ":/default.jpg";
// The largest coordinate or size of the drawing geometry.
constexpr int64_t kLayoutLimit = int64_t{1} << 30;

/// A picture of 32-bit pixels drawn over black, as the loader gives them.
QImage overBlack(const QImage &image) {
    if (image.format() == QImage::Format_RGB32)
        return image;
    QImage out = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    out.reinterpretAsFormat(QImage::Format_RGB32);
    return out;
}

}  // namespace

PictureLayout layoutPicture(QSize client, QSize picture, int zoom) {
    // In 64 bits: a long, narrow picture fifty-one times its size is beyond an int. What is
    // kept is clamped to what a widget's coordinates hold.
    const int64_t cw = client.width(), ch = client.height();
    const int64_t pw = picture.width(), ph = picture.height();
    int64_t x = cw - pw >= 1 ? (cw - pw) / 2 : 0;  // centred while it fits
    int64_t y = ch - ph >= 1 ? (ch - ph) / 2 : 0;
    const int64_t m = zoom + 1;
    if (cw < x + m * pw) {
        x = (cw - m * pw) / 2;
        y = (ch - m * ph) / 2;
    }
    int64_t w, h, drawWidth, drawHeight;
    if (zoom < 0) {
        const int64_t d = 1 - zoom;
        w = drawWidth = pw / d;
        h = drawHeight = ph / d;
        x = cw - w < 2 ? 0 : (cw - pw / d) / 2;
        y = ch - h < 2 ? 0 : (ch - ph / d) / 2;
    } else {
        w = m * pw - 2;
        h = m * ph - 2;
        if (cw - w < 1)
            x = 0;
        if (ch - h < 1)
            y = 0;
        drawWidth = m * pw;
        drawHeight = m * ph;
    }
    const auto fit = [](int64_t v) { return int(std::clamp(v, -kLayoutLimit, kLayoutLimit)); };
    return {fit(x), fit(y), fit(drawWidth), fit(drawHeight), fit(w), fit(h)};
}

PictureFolder scanPictureFolder(const QString &current) {
    PictureFolder folder;
    const QDir dir = current.isEmpty() ? QDir::current() : QFileInfo(current).absoluteDir();
    // By name, as a listing shows them (the order of the directory itself is no order at all).
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries) {
        if (!entry.isDir() && isPictureName(entry.fileName()))
            folder.files.append(entry.absoluteFilePath());
    }
    if (current.isEmpty() || !isPictureName(current))
        return folder;
    // The walk stops at the last entry: a file not in the list leaves the index there.
    const QString wanted = QFileInfo(current).absoluteFilePath();
    for (int i = 0; folder.index < folder.count(); ++i, ++folder.index) {
        if (folder.files[i] == wanted)
            break;
    }
    return folder;
}

PictureEditor::PictureEditor(QAbstractScrollArea &area, const PartContext &part,
                             std::shared_ptr<CameraGate> camera)
    : area_(area), part_(part), context_(part.desk), camera_(std::move(camera)) {
    loadDefault();
    pictureName_ = QStringLiteral("Default");
    folder_ = scanPictureFolder(QString());
    area_.viewport()->installEventFilter(this);
    if (QClipboard *clipboard = QGuiApplication::clipboard()) {
        connect(clipboard, &QClipboard::dataChanged, this, &PictureEditor::clipboardChanged);
        clipboardImage_ = clipboard->mimeData() && clipboard->mimeData()->hasImage();
    }
    relayout();
}

PictureEditor::~PictureEditor() {
    area_.viewport()->removeEventFilter(this);
    area_.viewport()->unsetCursor();
}

QColor PictureEditor::background() const {
    const QWidget *viewport = area_.viewport();
    return viewport->palette().color(viewport->backgroundRole());
}

void PictureEditor::setPicture(QImage image) {
    picture_ = std::move(image);
    relayout();
}

void PictureEditor::loadDefault() {
    QFile file(QString::fromLatin1(kDefaultPicture));
    QImage image;
    if (file.open(QIODevice::ReadOnly))
        image = decodePicture(file.readAll());
    if (image.isNull()) {
        context_.ask(part_.window, context_.message(pack_ids::kErrorCaption),
                     context_.message(pack_ids::kNoDefaultPicture), MessageButtons::Ok,
                     MessageIcon::Error);
        // The view always has a picture to show.
        image = QImage(320, 240, QImage::Format_RGB32);
        image.fill(Qt::black);
    }
    setPicture(std::move(image));
}

bool PictureEditor::loadFile(const QString &path, bool report) {
    std::string bytes;
    const int err =
        readWholeFile(QFile::encodeName(path).toStdString(), bytes, size_t(kMaxPictureFileBytes));
    if (err) {
        if (report)
            context_.ask(
                part_.window, context_.message(pack_ids::kErrorCaption),
                context_.message(pack_ids::kCannotOpenPicture,
                                 {path, fileErrorText(context_.packs, hresultFromErrno(err))}),
                MessageButtons::Ok, MessageIcon::Error);
        return false;
    }
    QString why;
    QImage image =
        decodePicture(QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size())), &why);
    if (image.isNull()) {
        if (report) {
            // One of two messages, the memory for the picture or no known picture, each
            // with the file and what is wrong with it under it.
            const PictureProblem problem = pictureProblemOf(why);
            const bool memory =
                problem == PictureProblem::NoMemory || problem == PictureProblem::TooLarge;
            QString detail;
            switch (problem) {
                case PictureProblem::UnknownType:
                    detail = context_.message(pack_ids::kPictureUnknownTypeDetail, {path});
                    break;
                case PictureProblem::TooLarge:
                    detail = context_.message(pack_ids::kPictureTooLargeDetail,
                                              {path, int64_t{pictureByteLimit() / 4 >> 20}});
                    break;
                case PictureProblem::NoMemory:
                    detail = context_.message(pack_ids::kPictureNoMemoryDetail, {path});
                    break;
                case PictureProblem::Damaged:
                    detail = context_.message(pack_ids::kPictureDamagedDetail, {path});
                    break;
            }
            context_.ask(part_.window, context_.message(pack_ids::kErrorCaption),
                         withDetail(context_.message(memory ? pack_ids::kNoPictureMemory
                                                            : pack_ids::kPictureNotSupported),
                                    detail),
                         MessageButtons::Ok, MessageIcon::Error);
        }
        return false;
    }
    // Decoded from a view of `bytes`: the image holds pixels of its own.
    setPicture(std::move(image));
    return true;
}

/// \brief The document's open operation for a picture: load it and browse its folder.
void PictureEditor::openPicture(const QString &path) {
    if (loadFile(path, true)) {
        pictureName_ = QFileInfo(path).fileName();
    } else {
        loadDefault();
        pictureName_ = QStringLiteral("Default");
    }
    folder_ = scanPictureFolder(path);
    emit stateChanged();
}

void PictureEditor::showListed(const QString &path) {
    zoom_ = 0;
    emit titleChanged(QFileInfo(path).fileName());
    pictureName_ = QFileInfo(path).fileName();
    if (!loadFile(path, false)) {
        pictureName_ = QStringLiteral("Default");
        loadDefault();
        area_.viewport()->repaint();
        context_.ask(part_.window, context_.message(msg::kCannotLoadPicture),
                     context_.message(msg::kUnknownPictureType), MessageButtons::Ok,
                     MessageIcon::Error);
        emit titleChanged(context_.message(pack_ids::kDefaultPictureTitle));
    }
    relayout();
    emit stateChanged();
}

void PictureEditor::showNext() {
    if (folder_.index >= folder_.count())
        return;
    ++folder_.index;
    showListed(folder_.files[folder_.index - 1]);
}

void PictureEditor::showPrevious() {
    if (folder_.index <= 1 || folder_.index > folder_.count())
        return;
    --folder_.index;
    showListed(folder_.files[folder_.index - 1]);
}

void PictureEditor::zoomIn() {
    if (zoom_ < kMaxZoom)
        ++zoom_;
    relayout();
}

void PictureEditor::zoomOut() {
    if (zoom_ > kMinZoom)
        --zoom_;
    relayout();
}

void PictureEditor::zoomOff() {
    zoom_ = 0;
    relayout();
}

void PictureEditor::relayout() {
    if (relayingOut_)
        return;
    relayingOut_ = true;
    QScrollBar *horizontal = area_.horizontalScrollBar();
    QScrollBar *vertical = area_.verticalScrollBar();
    // The scroll bars take room from the client area as they come and go: settled in a few
    // rounds at most.
    for (int round = 0; round < 3; ++round) {
        const QSize client = area_.viewport()->size();
        layout_ = layoutPicture(client, picture_.size(), zoom_);
        horizontal->setPageStep(std::max(1, client.width()));
        horizontal->setSingleStep(std::max(1, client.width() / 10));
        horizontal->setRange(0, std::max(0, layout_.w - client.width()));
        vertical->setPageStep(std::max(1, client.height()));
        vertical->setSingleStep(std::max(1, client.height() / 10));
        vertical->setRange(0, std::max(0, layout_.h - client.height()));
        if (area_.viewport()->size() == client)
            break;
    }
    relayingOut_ = false;
    area_.viewport()->update();
}

bool PictureEditor::eventFilter(QObject *watched, QEvent *event) {
    if (watched == area_.viewport() && event->type() == QEvent::Resize)
        relayout();
    return false;
}

QPoint PictureEditor::scrollOffset() const {
    return QPoint(area_.horizontalScrollBar()->value(), area_.verticalScrollBar()->value());
}

void PictureEditor::drawScene(QPainter &painter, const QRect &windowRect) const {
    painter.fillRect(windowRect, background());
    if (picture_.isNull() || layout_.drawWidth <= 0 || layout_.drawHeight <= 0)
        return;
    const QPoint offset = scrollOffset();
    const QRect target(layout_.x - offset.x(), layout_.y - offset.y(), layout_.drawWidth,
                       layout_.drawHeight);
    const QRect visible = target & windowRect;
    if (visible.isEmpty())
        return;
    // Scaled by the painter's transform and clipped to what is seen: only the visible part is
    // ever scaled, however large the zoom makes the picture.
    painter.save();
    painter.setClipRect(visible);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ < 0);
    painter.translate(target.topLeft());
    painter.scale(double(target.width()) / picture_.width(),
                  double(target.height()) / picture_.height());
    painter.drawImage(QPoint(0, 0), picture_);
    painter.restore();
}

QImage PictureEditor::renderRegion(const QRect &windowRect, qreal scale) const {
    QImage image(windowRect.size() * scale, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.setDevicePixelRatio(scale);
    QPainter painter(&image);
    painter.translate(-windowRect.topLeft());
    drawScene(painter, windowRect);
    return image;
}

QRect PictureEditor::pickRect() const {
    return QRect(QPoint(pick_.left, pick_.top), QPoint(pick_.right - 1, pick_.bottom - 1));
}

void PictureEditor::paint(QPainter &painter, const QRect &exposed) {
    // Drawn off-screen at the screen's own pixels, the pick frame's outline inverted into it,
    // then shown: sharp at every scale factor.
    const qreal scale = painter.device() ? painter.device()->devicePixelRatio() : 1.0;
    QImage image = renderRegion(exposed, scale);
    if (image.isNull())
        return;
    if (pick_.shown) {
        const QRect pick = pickRect();
        // The outline is one pixel of the window wide: `scale` pixels of the screen.
        auto invert = [&](const QRect &edge) {
            const QRect part = edge & exposed;
            if (part.isEmpty())
                return;
            const QRect pixels(QPoint(int((part.left() - exposed.left()) * scale),
                                      int((part.top() - exposed.top()) * scale)),
                               QPoint(int((part.right() + 1 - exposed.left()) * scale) - 1,
                                      int((part.bottom() + 1 - exposed.top()) * scale) - 1));
            const QRect inImage = pixels & image.rect();
            for (int y = inImage.top(); y <= inImage.bottom(); ++y) {
                auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
                for (int x = inImage.left(); x <= inImage.right(); ++x)
                    row[x] ^= 0x00FFFFFFu;
            }
        };
        invert(QRect(pick.left(), pick.top(), pick.width(), 1));
        if (pick.height() > 1)
            invert(QRect(pick.left(), pick.bottom(), pick.width(), 1));
        if (pick.height() > 2) {
            invert(QRect(pick.left(), pick.top() + 1, 1, pick.height() - 2));
            if (pick.width() > 1)
                invert(QRect(pick.right(), pick.top() + 1, 1, pick.height() - 2));
        }
    }
    painter.drawImage(exposed.topLeft(), image);
}

void PictureEditor::placeAtCameraSize(int width, int height) {
    const int cx = (pick_.left + pick_.right) / 2, cy = (pick_.top + pick_.bottom) / 2;
    pick_.left = cx - width / 2;
    pick_.top = cy - height / 2;
    pick_.right = pick_.left + width;
    pick_.bottom = pick_.top + height;
    pick_.shown = true;
}

void PictureEditor::togglePickFrame() {
    int32_t width = 0, height = 0;
    if (camera_->format(width, height).failed() || width <= 0 || height <= 0) {
        context_.ask(nullptr, context_.message(pack_ids::kGraphFailedCaption),
                     context_.message(pack_ids::kNoCameraFormat), MessageButtons::Ok,
                     MessageIcon::Error);
        return;
    }
    if (pick_.shown) {
        pick_.shown = false;
    } else {
        placeAtCameraSize(width, height);
        keepGripInView();
    }
    area_.viewport()->update();
}

void PictureEditor::ensurePickFrameShown() {
    if (pick_.shown)
        return;
    if (part_.camera.available) {
        togglePickFrame();
        return;
    }
    // Without a camera the frame keeps the size it has.
    pick_.shown = true;
    area_.viewport()->update();
}

bool PictureEditor::followCameraFormat() {
    int32_t width = 0, height = 0;
    if (!camera_->followFormatChange(width, height))
        return false;
    if (pick_.shown)
        placeAtCameraSize(width, height);
    area_.viewport()->update();
    context_.ask(part_.window, appTitle(),
                 formatMessage(context_.message(pack_ids::kCameraSizeChanged),
                               {int64_t(width), int64_t(height)}),
                 MessageButtons::Ok, MessageIcon::Information);
    return true;
}

/// \brief Set picture: the pixels under the pick frame, as the view shows them, to the camera.
/// When the camera took another size meanwhile nothing is sent: the pick frame takes the new
/// size first, for the user to place. Whatever fed the camera ends first, so that no later
/// frame of it covers the picture.
void PictureEditor::setCameraPicture() {
    if (followCameraFormat())
        return;
    part_.parts.stopCameraSources();
    stopPlayServiceIfRunning(part_.service);
    std::vector<uint8_t> sent;
    int width = 0, height = 0;
    const HResult result = camera_->push([&](const FrameDescriptor &descriptor) -> HResult {
        width = descriptor.width;
        height = descriptor.height;
        if (width <= 0 || height <= 0 || width > int(FrameChannel::kMaxDimension) ||
            height > int(FrameChannel::kMaxDimension) || !descriptor.buffer())
            return E_FAIL;
        placePickFrame(pick_, width, height);
        // The region under the frame, outline excluded; what lies outside the picture or the
        // window is the view's background.
        const QImage region = renderRegion(QRect(pick_.left, pick_.top, width, height));
        if (region.isNull())
            return E_OUTOFMEMORY;
        PickFrame inRegion{0, 0, pick_.right - pick_.left, pick_.bottom - pick_.top, true};
        const CameraFrame frame{descriptor.buffer(), width, height, descriptor.byteCount};
        capturePickedRegion(imageView(region), inRegion, frame);
        const size_t bytes = std::min(size_t(descriptor.byteCount), size_t(width) * height * 3);
        sent.assign(descriptor.buffer(), descriptor.buffer() + bytes);
        return S_OK;
    });
    area_.viewport()->update();
    if (result == kCameraFormatChanged && followCameraFormat())
        return;
    if (result.failed()) {
        context_.ask(nullptr, context_.message(pack_ids::kGraphFailedCaption),
                     context_.message(pack_ids::kGetBufferError), MessageButtons::Ok,
                     MessageIcon::Error);
        return;
    }
    part_.parts.reportOnCamera(
        {pictureName_.isEmpty() ? OnCamera::Kind::ClipboardPicture : OnCamera::Kind::Picture,
         pictureName_});
    if (!part_.settings.autoSetLastImage || sent.size() != size_t(width) * height * 3)
        return;
    RegistryHive machine = machineHive();
    const HResult stored =
        registerLastImage(width, height, sent.data(), machine, part_.camera.driverKey);
    if (stored.failed())
        context_.ask(part_.window, context_.message(pack_ids::kErrorCaption),
                     context_.message(pack_ids::kCannotWriteStoredImage,
                                      {QString::fromStdString(storedImagePath().string()),
                                       fileErrorText(context_.packs, stored)}),
                     MessageButtons::Ok, MessageIcon::Error);
}

void PictureEditor::paste() {
    QClipboard *clipboard = QGuiApplication::clipboard();
    const QImage image = clipboard ? clipboard->image() : QImage();
    if (image.isNull()) {
        context_.ask(part_.window, context_.message(pack_ids::kErrorCaption),
                     withDetail(context_.message(pack_ids::kPictureNotSupported),
                                context_.message(pack_ids::kClipboardNoPictureDetail)),
                     MessageButtons::Ok, MessageIcon::Error);
        return;
    }
    if (qint64(image.width()) * image.height() * 4 > kMaxPictureBytes) {
        context_.ask(part_.window, context_.message(pack_ids::kErrorCaption),
                     withDetail(context_.message(pack_ids::kNoPictureMemory),
                                context_.message(pack_ids::kClipboardTooLargeDetail)),
                     MessageButtons::Ok, MessageIcon::Error);
        return;
    }
    // The title, the paths and the folder list stay those of the last opened file.
    setPicture(overBlack(image));
    pictureName_.clear();  // no file: the clipboard's
}

void PictureEditor::clipboardChanged() {
    const QClipboard *clipboard = QGuiApplication::clipboard();
    const bool image = clipboard && clipboard->mimeData() && clipboard->mimeData()->hasImage();
    if (image == clipboardImage_)
        return;
    clipboardImage_ = image;
    emit stateChanged();
}

void PictureEditor::mousePress(QMouseEvent &event) {
    if (event.button() == Qt::LeftButton && pickRect().contains(event.position().toPoint())) {
        dragging_ = true;
        lastPoint_ = event.position().toPoint();
    }
}

void PictureEditor::mouseMove(QMouseEvent &event) {
    if (!pick_.shown)
        return;
    const QPoint point = event.position().toPoint();
    if (pickRect().contains(point))
        area_.viewport()->setCursor(Qt::PointingHandCursor);
    else
        area_.viewport()->unsetCursor();
    if (!dragging_)
        return;
    // Not kept inside the picture or the window, but a grip of it stays in the window: a frame
    // dragged off can always be taken back.
    const QPoint offset = point - lastPoint_;
    movePickFrame(offset);
    lastPoint_ = point;
}

void PictureEditor::movePickFrame(QPoint offset) {
    pick_.left += offset.x();
    pick_.right += offset.x();
    pick_.top += offset.y();
    pick_.bottom += offset.y();
    keepGripInView();
    area_.viewport()->update();
}

void PictureEditor::keepGripInView() {
    const QSize client = area_.viewport()->size();
    if (client.isEmpty())
        return;
    const int gripX = std::min(kPickGrip, std::max(1, pick_.right - pick_.left));
    const int gripY = std::min(kPickGrip, std::max(1, pick_.bottom - pick_.top));
    int dx = 0, dy = 0;
    if (pick_.right < gripX)
        dx = gripX - pick_.right;
    else if (pick_.left > client.width() - gripX)
        dx = client.width() - gripX - pick_.left;
    if (pick_.bottom < gripY)
        dy = gripY - pick_.bottom;
    else if (pick_.top > client.height() - gripY)
        dy = client.height() - gripY - pick_.top;
    pick_.left += dx;
    pick_.right += dx;
    pick_.top += dy;
    pick_.bottom += dy;
}

bool PictureEditor::keyPress(QKeyEvent &event) {
    if (!pick_.shown)
        return false;
    const int step = event.modifiers() & Qt::ShiftModifier ? kPickLargeStep : 1;
    QPoint offset;
    switch (event.key()) {
        case Qt::Key_Left:
            offset = QPoint(-step, 0);
            break;
        case Qt::Key_Right:
            offset = QPoint(step, 0);
            break;
        case Qt::Key_Up:
            offset = QPoint(0, -step);
            break;
        case Qt::Key_Down:
            offset = QPoint(0, step);
            break;
        default:
            return false;
    }
    movePickFrame(offset);
    return true;
}

void PictureEditor::mouseRelease(QMouseEvent &event) {
    if (event.button() == Qt::LeftButton)
        dragging_ = false;
}

void PictureEditor::scrolled(int, int) {
    // The frame stays where it is in the window; the picture moves under it.
    area_.viewport()->update();
}

}  // namespace lumaghost
