// SPDX-License-Identifier: LGPL-2.1-or-later
// The sequence strip under the picture: it owns the sequence's items and shows them as a row of
// thumbnails, with arrows to scroll the row and an outline around the selected item. A click
// selects an item or scrolls by one.
#pragma once

#include <memory>
#include <vector>

#include <QImage>
#include <QWidget>

#include "desk/sequence/sequence_player.h"

namespace lumaghost {

class ThumbnailMaker;

/// An item of the strip: its frame and the thumbnail shown for it (null until made).
struct StripItem {
    PlayItem frame;
    QImage thumbnail;
};

/// An item from pixels the view shows (top-down, 32-bit): the frame keeps them as three bytes,
/// bottom row first; the thumbnail is made at once.
StripItem makeStripItem(const QImage &pixels);

class SequenceStrip final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 120;
    static constexpr int kThumbnailHeight = kHeight - 18;             // 102
    static constexpr int kThumbnailWidth = kThumbnailHeight * 4 / 3;  // 136
    static constexpr int kPitch = kThumbnailWidth + 9;                // 145
    static constexpr int kArrowSize = 30;
    /// The row under the thumbnails with each item's display time.
    static constexpr int kTimeRowHeight = 18;
    static constexpr int kTotalHeight = kHeight + kTimeRowHeight;

    explicit SequenceStrip(QWidget *parent = nullptr);
    ~SequenceStrip() override;

    int count() const { return int(items_.size()); }
    /// The selected item, -1 for none.
    int selected() const { return selected_; }
    int firstVisible() const { return firstVisible_; }
    /// How many thumbnails the strip's width holds.
    int visibleCount() const { return width() / kPitch; }
    bool rightArrowShown() const { return visibleCount() < count() - firstVisible_; }
    bool leftArrowShown() const { return firstVisible_ > 0; }
    QRect rightArrowRect() const;
    QRect leftArrowRect() const;

    StripItem &item(int index) { return items_[size_t(index)]; }
    const StripItem &item(int index) const { return items_[size_t(index)]; }

    /// Appends an item; the selection stays.
    void append(StripItem item);
    /// Removes the item at `index`: the selection becomes the item now there, else the new last
    /// item, else none.
    void remove(int index);
    /// Replaces every item with `frames`, in order, with no selection and the first shown; the
    /// thumbnails of the items in view are made in the background and appear as they are done,
    /// the others' once they come into view.
    void replace(std::vector<PlayItem> frames);
    /// The frames as they stand, for the worker (their pixels are shared, not copied).
    std::vector<PlayItem> snapshot() const;
    /// The item on the camera while the sequence plays, marked; -1 for none.
    void setPlayingItem(int index);
    int playingItem() const { return playing_; }
    /// The display time's text under a thumbnail: a format with one %d for the milliseconds.
    void setTimeFormat(const QString &format);
    /// What the row under thumbnail `index` says.
    QString timeText(int index) const;
    /// The place of item `index`'s display time, in the strip; empty while it is not in view.
    QRect timeRect(int index) const;
    /// Selects item `index` as a click does; the view follows it.
    void select(int index);

    /// Waits until every thumbnail asked for is made (for tests and benchmarks).
    void waitForThumbnails();

signals:
    /// A click or a key selected another item.
    void selectionChanged(int index);
    /// The Delete key asked for the selected item to go.
    void deleteRequested();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    friend class ThumbnailMaker;
    /// A thumbnail made in the background, for the item whose pixels are `pixels`.
    void thumbnailMade(const void *pixels, QImage thumbnail);
    void describe();
    /// Asks for the thumbnails of the items in view and lets the others go.
    void requestVisibleThumbnails();

    std::vector<StripItem> items_;
    int selected_ = -1;
    int playing_ = -1;
    int firstVisible_ = 0;
    int requestedFirst_ = 0, requestedEnd_ = 0;  // the items in view when thumbnails were asked
    QString timeFormat_;                         // empty: the bare number
    std::unique_ptr<ThumbnailMaker> maker_;
};

}  // namespace lumaghost
