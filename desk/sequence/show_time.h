// SPDX-License-Identifier: LGPL-2.1-or-later
// The display-time bar above the picture in sequence mode: an edit box and a slider for the
// selected item's display time, 1000 ... 10000 ms.
#pragma once

#include <optional>

#include <QWidget>

class QLineEdit;
class QSlider;

namespace lumaghost {

class CShowTime final : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinTime = 1000;
    static constexpr int kMaxTime = 10000;
    static constexpr int kPageStep = 1000;
    /// The control ids that the language packs name: the edit box and the slider.
    static constexpr int kEditId = 1004;
    static constexpr int kSliderId = 1005;

    explicit CShowTime(QWidget *parent = nullptr);

    /// Shows an item's display time and refers to it, or (nullopt) refers to nothing: changes
    /// are then told to nobody.
    void referTo(std::optional<int> displayTime);
    bool refersToItem() const { return refersToItem_; }

    QLineEdit *edit() const { return edit_; }
    QSlider *slider() const { return slider_; }

    /// The edit box's text as a display time: its leading decimal digits (none read as 0),
    /// clamped to kMinTime ... kMaxTime.
    static int ParseDisplayTime(const QString &text);

signals:
    /// The user changed the display time of the item the bar refers to.
    void displayTimeChanged(int displayTime);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /// The edit box lost the focus (or Return was pressed): its text is taken.
    void takeEdit();
    void sliderMoved(int value);

    QLineEdit *edit_ = nullptr;
    QSlider *slider_ = nullptr;
    bool refersToItem_ = false;
    bool showing_ = false;  // the bar itself is setting its controls
};

}  // namespace lumaghost
