// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/sequence/sequence_strip.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>

#include "desk/model/message_format.h"
#include "frames/frame_compose.h"
#include "frames/picture_file.h"
#include "frames/resampler.h"
#include "lang/pack_ids.h"
#include "lang/relabel.h"

namespace lumaghost {

namespace {

using Strip = SequenceStrip;

/// Scales 32-bit pixels (top-down, rows `stride` bytes apart) to a thumbnail.
QImage thumbnailOf(const uint8_t *pixels, int width, int height, ptrdiff_t stride) {
    QImage thumbnail(Strip::kThumbnailWidth, Strip::kThumbnailHeight, QImage::Format_RGB32);
    if (thumbnail.isNull() || width <= 0 || height <= 0)
        return QImage();
    resampleInto(pixels, width, height, stride, thumbnail.bits(), thumbnail.width(),
                 thumbnail.height(), thumbnail.bytesPerLine(), PixelLayout::Bgrx32);
    // The resampler leaves the fourth byte 0; the image's format wants it opaque.
    for (int y = 0; y < thumbnail.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(thumbnail.scanLine(y));
        for (int x = 0; x < thumbnail.width(); ++x)
            row[x] |= 0xFF000000u;
    }
    return thumbnail;
}

/// The most a frame is sampled at, each way, before the resampler makes its thumbnail: four
/// times the thumbnail.
constexpr int kSampleWidth = Strip::kThumbnailWidth * 4;
constexpr int kSampleHeight = Strip::kThumbnailHeight * 4;
/// The rows of the frame read for one sampled row.
constexpr int kRowsPerSample = 2;

/// The thumbnail of a frame (three bytes a pixel, bottom row first), through a 32-bit copy of at
/// most kSampleWidth × kSampleHeight: a larger frame is reduced to that as its rows are read,
/// a few rows of each band, every pixel of a row averaged into its column. A frame left in its
/// file is read a row at a time, so no more than a row of it is held.
QImage thumbnailOfFrame(const PlayItem &frame) {
    const size_t rowBytes = size_t(frame.width) * 3;
    if (frame.width <= 0 || frame.height <= 0 || !frame.pixels ||
        frame.pixels->size() < rowBytes * size_t(frame.height))
        return QImage();
    const int width = std::min(frame.width, kSampleWidth);
    const int height = std::min(frame.height, kSampleHeight);
    std::vector<int> columnStart(size_t(width) + 1);
    for (int c = 0; c <= width; ++c)
        columnStart[size_t(c)] = int(int64_t(c) * frame.width / width);
    std::vector<uint8_t> wide(size_t(width) * size_t(height) * 4);
    std::vector<uint8_t> row(rowBytes);
    std::vector<uint32_t> sums(size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        // Picture rows top ... bottom - 1 make sampled row y; memory row r is picture row
        // height - 1 - r.
        const int top = int(int64_t(y) * frame.height / height);
        const int span = int(int64_t(y + 1) * frame.height / height) - top;
        const int taken = std::min(span, kRowsPerSample);
        std::fill(sums.begin(), sums.end(), 0u);
        for (int k = 0; k < taken; ++k) {
            const int pictureRow = top + (span * (2 * k + 1)) / (2 * taken);
            if (!frame.pixels->read(size_t(frame.height - 1 - pictureRow) * rowBytes, row.data(),
                                    rowBytes))
                return QImage();
            const uint8_t *in = row.data();
            uint32_t *sum = sums.data();
            for (int c = 0; c < width; ++c, sum += 3)
                for (int x = columnStart[size_t(c)]; x < columnStart[size_t(c) + 1]; ++x, in += 3) {
                    sum[0] += in[0];
                    sum[1] += in[1];
                    sum[2] += in[2];
                }
        }
        uint8_t *out = wide.data() + size_t(y) * size_t(width) * 4;
        for (int c = 0; c < width; ++c, out += 4) {
            const uint32_t count =
                uint32_t(taken) * uint32_t(columnStart[size_t(c) + 1] - columnStart[size_t(c)]);
            for (int b = 0; b < 3; ++b)
                out[b] = uint8_t((sums[size_t(c) * 3 + size_t(b)] + count / 2) / count);
            out[3] = 0;
        }
    }
    return thumbnailOf(wide.data(), width, height, ptrdiff_t(width) * 4);
}

}  // namespace

/// Makes the thumbnails of loaded frames on a thread of its own and hands each to the strip,
/// on the strip's thread. Work not yet done is dropped when the strip's items are replaced.
class ThumbnailMaker {
public:
    explicit ThumbnailMaker(SequenceStrip *strip) : strip_(strip) {
        worker_ = std::thread([this] { run(); });
    }
    ~ThumbnailMaker() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            queue_.clear();
        }
        wake_.notify_all();
        worker_.join();
    }

    void replaceWork(std::vector<PlayItem> frames) {
        {
            std::lock_guard lock(mutex_);
            queue_.assign(std::make_move_iterator(frames.begin()),
                          std::make_move_iterator(frames.end()));
        }
        wake_.notify_all();
    }

    void waitForIdle() {
        std::unique_lock lock(mutex_);
        idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_)
                return;
            PlayItem frame = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
            lock.unlock();
            QImage thumbnail = thumbnailOfFrame(frame);
            QMetaObject::invokeMethod(
                strip_,
                [strip = strip_, key = frame.pixels.get(), keep = frame.pixels,
                 thumbnail = std::move(thumbnail)]() mutable {
                    if (strip)
                        strip->thumbnailMade(key, std::move(thumbnail));
                },
                Qt::QueuedConnection);
            lock.lock();
            busy_ = false;
            if (queue_.empty())
                idle_.notify_all();
        }
    }

    QPointer<SequenceStrip> strip_;
    std::mutex mutex_;  // guards queue_, busy_ and stopping_
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<PlayItem> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread worker_;
};

StripItem makeStripItem(const QImage &pixels) {
    StripItem item;
    const QImage image = pixels.format() == QImage::Format_RGB32
                             ? pixels
                             : pixels.convertToFormat(QImage::Format_RGB32);
    item.frame.width = image.width();
    item.frame.height = image.height();
    std::vector<uint8_t> block(size_t(image.width()) * image.height() * 3);
    readSurfaceIntoFrame(imageView(image), {0, 0, image.width(), image.height()}, block.data(),
                         block.size());
    item.frame.pixels = std::make_shared<const FramePixels>(std::move(block));
    item.thumbnail =
        thumbnailOf(image.constBits(), image.width(), image.height(), image.bytesPerLine());
    return item;
}

SequenceStrip::SequenceStrip(QWidget *parent)
    : QWidget(parent), maker_(std::make_unique<ThumbnailMaker>(this)) {
    setObjectName(QStringLiteral("sequenceItems"));
    setAccessibleName(loadPackQString(appLanguagePacks(), pack_ids::kSequenceItemsName));
    setMouseTracking(true);
    setMinimumHeight(kTotalHeight);
    // Reached by Tab and by a click: the arrow keys select, Delete deletes.
    setFocusPolicy(Qt::StrongFocus);
    describe();
}

void SequenceStrip::setPlayingItem(int index) {
    const int playing = index >= 0 && index < count() ? index : -1;
    if (playing == playing_)
        return;
    playing_ = playing;
    // The item on the camera stays in view while it plays.
    if (playing_ >= 0 && visibleCount() > 0 &&
        (playing_ < firstVisible_ || playing_ >= firstVisible_ + visibleCount()))
        firstVisible_ = std::min(playing_, std::max(0, count() - visibleCount()));
    update();
}

void SequenceStrip::setTimeFormat(const QString &format) {
    timeFormat_ = format;
    update();
}

QString SequenceStrip::timeText(int index) const {
    if (index < 0 || index >= count())
        return QString();
    const int64_t time = items_[size_t(index)].frame.displayTime;
    return timeFormat_.isEmpty() ? QString::number(time) : formatMessage(timeFormat_, {time});
}

QRect SequenceStrip::timeRect(int index) const {
    const int column = index - firstVisible_;
    if (index < 0 || index >= count() || column < 0 || column * kPitch + 9 >= width())
        return QRect();
    return QRect(column * kPitch + 9, kHeight - 4, kThumbnailWidth, kTimeRowHeight);
}

void SequenceStrip::select(int index) {
    if (index < 0 || index >= count() || index == selected_)
        return;
    selected_ = index;
    // The selection is scrolled into view.
    if (selected_ < firstVisible_)
        firstVisible_ = selected_;
    else if (visibleCount() > 0 && selected_ >= firstVisible_ + visibleCount())
        firstVisible_ = selected_ - visibleCount() + 1;
    describe();
    update();
    emit selectionChanged(index);
}

void SequenceStrip::keyPressEvent(QKeyEvent *event) {
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Up:
            select(selected_ < 0 ? count() - 1 : std::max(0, selected_ - 1));
            return;
        case Qt::Key_Right:
        case Qt::Key_Down:
            select(selected_ < 0 ? 0 : std::min(count() - 1, selected_ + 1));
            return;
        case Qt::Key_Home:
            select(0);
            return;
        case Qt::Key_End:
            select(count() - 1);
            return;
        case Qt::Key_Delete:
            if (selected_ >= 0)
                emit deleteRequested();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void SequenceStrip::focusInEvent(QFocusEvent *event) {
    QWidget::focusInEvent(event);
    update();
}

void SequenceStrip::focusOutEvent(QFocusEvent *event) {
    QWidget::focusOutEvent(event);
    update();
}

SequenceStrip::~SequenceStrip() = default;

QRect SequenceStrip::rightArrowRect() const {
    return QRect(width() - 50, kHeight - 50, kArrowSize, kArrowSize);
}

QRect SequenceStrip::leftArrowRect() const {
    return QRect(width() - 80, kHeight - 50, kArrowSize, kArrowSize);
}

void SequenceStrip::describe() {
    setAccessibleDescription(
        formatMessage(loadPackQString(appLanguagePacks(), pack_ids::kSequenceStripDescription),
                      {int64_t{count()}, int64_t{selected_ + 1}}));
}

void SequenceStrip::append(StripItem item) {
    items_.push_back(std::move(item));
    requestVisibleThumbnails();
    describe();
    update();
}

void SequenceStrip::remove(int index) {
    if (index < 0 || index >= count())
        return;
    items_.erase(items_.begin() + index);
    if (playing_ == index)
        playing_ = -1;
    else if (playing_ > index)
        --playing_;
    if (items_.empty())
        selected_ = -1;
    else if (selected_ >= count())
        selected_ = count() - 1;
    firstVisible_ = std::max(0, std::min(firstVisible_, count() - 1));
    requestedFirst_ = requestedEnd_ = -1;  // the items after it moved
    requestVisibleThumbnails();
    describe();
    update();
}

void SequenceStrip::replace(std::vector<PlayItem> frames) {
    items_.clear();
    items_.reserve(frames.size());
    for (PlayItem &frame : frames)
        items_.push_back({frame, QImage()});
    selected_ = -1;
    playing_ = -1;
    firstVisible_ = 0;
    requestedFirst_ = requestedEnd_ = 0;
    requestVisibleThumbnails();
    describe();
    update();
}

void SequenceStrip::requestVisibleThumbnails() {
    // Only the items in view have thumbnails: memory follows what is shown, not the file.
    const int first = std::min(firstVisible_, count());
    const int end = std::min(count(), first + visibleCount() + 1);
    if (first == requestedFirst_ && end == requestedEnd_)
        return;
    std::vector<PlayItem> wanted;
    for (int i = 0; i < count(); ++i) {
        StripItem &item = items_[size_t(i)];
        if (i < first || i >= end)
            item.thumbnail = QImage();
        else if (item.thumbnail.isNull())
            wanted.push_back(item.frame);
    }
    requestedFirst_ = first;
    requestedEnd_ = end;
    maker_->replaceWork(std::move(wanted));
}

void SequenceStrip::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    requestVisibleThumbnails();
}

std::vector<PlayItem> SequenceStrip::snapshot() const {
    std::vector<PlayItem> frames;
    frames.reserve(items_.size());
    for (const StripItem &item : items_)
        frames.push_back(item.frame);
    return frames;
}

void SequenceStrip::waitForThumbnails() {
    maker_->waitForIdle();
    // The last ones are on their way to this thread.
    QCoreApplication::sendPostedEvents(this);
}

void SequenceStrip::thumbnailMade(const void *pixels, QImage thumbnail) {
    for (int i = requestedFirst_; i < std::min(requestedEnd_, count()); ++i) {
        StripItem &item = items_[size_t(i)];
        if (item.frame.pixels.get() == pixels && item.thumbnail.isNull()) {
            item.thumbnail = std::move(thumbnail);
            const int column = i - firstVisible_;
            if (column >= 0)
                update(QRect(column * kPitch + 9, 9, kThumbnailWidth, kThumbnailHeight));
            return;
        }
    }
}

void SequenceStrip::paintEvent(QPaintEvent *) {
    // Drawn off-screen, then shown.
    QImage image(size(), QImage::Format_RGB32);
    if (image.isNull())
        return;
    const QColor face = palette().color(QPalette::Button);
    {
        QPainter painter(&image);
        painter.fillRect(image.rect(), face);
        for (int k = firstVisible_; k < count(); ++k) {
            const int x = (k - firstVisible_) * kPitch + 9;
            if (x >= width())
                break;
            const QRect place(x, 9, kThumbnailWidth, kThumbnailHeight);
            const QImage &thumbnail = items_[size_t(k)].thumbnail;
            if (thumbnail.isNull())
                painter.fillRect(place, face.darker(115));  // still being made
            else
                painter.drawImage(place, thumbnail);
            // The display time under it; the item on the camera in the highlight's colours.
            const QRect time = timeRect(k);
            QColor text = palette().color(QPalette::ButtonText);
            if (k == playing_) {
                painter.fillRect(time.adjusted(0, 0, 0, -2), palette().color(QPalette::Highlight));
                painter.fillRect(QRect(place.left(), place.top() - 4, place.width(), 3),
                                 palette().color(QPalette::Highlight));
                text = palette().color(QPalette::HighlightedText);
            }
            painter.setPen(text);
            painter.drawText(time, Qt::AlignCenter, timeText(k));
        }
        if (hasFocus()) {
            // Where the keys act.
            painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(image.rect().adjusted(1, 1, -2, -2));
        }
        // The arrows darken what lies under them, as an AND of their pixels would.
        auto arrow = [&](const QRect &cell, bool right) {
            const QPointF tip = right ? QPointF(cell.right() - 6, cell.center().y())
                                      : QPointF(cell.left() + 6, cell.center().y());
            const qreal back = right ? cell.left() + 8 : cell.right() - 8;
            const QPointF points[] = {tip, QPointF(back, cell.top() + 6),
                                      QPointF(back, cell.bottom() - 6)};
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(palette().color(QPalette::ButtonText));
            painter.drawPolygon(points, 3);
        };
        if (rightArrowShown())
            arrow(rightArrowRect(), true);
        if (leftArrowShown())
            arrow(leftArrowRect(), false);
    }
    // The selected item's outline, inverted.
    if (selected_ >= firstVisible_) {
        const int column = selected_ - firstVisible_;
        const QRect outline(QPoint(column * kPitch + 7, 7),
                            QPoint((column + 1) * kPitch + 2, kThumbnailHeight + 11));
        auto invert = [&](const QRect &edge) {
            const QRect part = edge & image.rect();
            for (int y = part.top(); y <= part.bottom(); ++y) {
                auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
                for (int x = part.left(); x <= part.right(); ++x)
                    row[x] ^= 0x00FFFFFFu;
            }
        };
        invert(QRect(outline.left(), outline.top(), outline.width(), 1));
        invert(QRect(outline.left(), outline.bottom(), outline.width(), 1));
        invert(QRect(outline.left(), outline.top() + 1, 1, outline.height() - 2));
        invert(QRect(outline.right(), outline.top() + 1, 1, outline.height() - 2));
    }
    QPainter(this).drawImage(0, 0, image);
}

void SequenceStrip::mousePressEvent(QMouseEvent *event) {
    const QPoint point = event->position().toPoint();
    if (rightArrowShown() && rightArrowRect().contains(point)) {
        ++firstVisible_;
        requestVisibleThumbnails();
        update();
        return;
    }
    if (leftArrowShown() && leftArrowRect().contains(point)) {
        --firstVisible_;
        requestVisibleThumbnails();
        update();
        return;
    }
    if (point.x() < 0)
        return;
    const int index = firstVisible_ + point.x() / kPitch;
    if (index < count() && index != selected_) {
        selected_ = index;
        describe();
        update();
        emit selectionChanged(index);
    }
    setFocus(Qt::MouseFocusReason);
}

void SequenceStrip::mouseMoveEvent(QMouseEvent *event) {
    const QPoint point = event->position().toPoint();
    const bool overArrow = (rightArrowShown() && rightArrowRect().contains(point)) ||
                           (leftArrowShown() && leftArrowRect().contains(point));
    if (overArrow)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

}  // namespace lumaghost
