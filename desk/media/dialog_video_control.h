// SPDX-License-Identifier: LGPL-2.1-or-later
// The movie control bar (CDialogVideoControl, dialog 182): sound on and off, the volume, pause
// and the position slider of the movie that plays. It sits in the main frame's control bar 182,
// which is shown exactly while a movie graph exists.
#pragma once

#include <cstdint>
#include <memory>

#include <QTimer>
#include <QWidget>

#include "platform/hresult.h"

class QLabel;
class QSlider;
class QToolButton;

namespace lumaghost {

struct DeskContext;
class MovieGraph;

/// What the bar works on: the playing movie's position, sound and pause.
class MovieTransport {
public:
    virtual ~MovieTransport() = default;
    /// Whether the movie can go to any position.
    virtual bool canSeek() = 0;
    /// In 100 ns units.
    virtual HResult duration(int64_t &out) = 0;
    virtual HResult position(int64_t &out) = 0;
    virtual HResult seek(int64_t position) = 0;
    /// Hundredths of a decibel, -10000 (silence) to 0.
    virtual HResult setVolume(long volume) = 0;
    virtual HResult run() = 0;
    virtual HResult pause() = 0;
};

/// A MovieGraph as the bar sees it.
class GraphTransport final : public MovieTransport {
public:
    explicit GraphTransport(MovieGraph &graph) : graph_(graph) {}
    bool canSeek() override;
    HResult duration(int64_t &out) override;
    HResult position(int64_t &out) override;
    HResult seek(int64_t position) override;
    HResult setVolume(long volume) override;
    HResult run() override;
    HResult pause() override;

private:
    MovieGraph &graph_;
};

class CDialogVideoControl : public QWidget {
    Q_OBJECT
public:
    // Control ids of dialog 182.
    static constexpr int kDialogId = 182;
    static constexpr int kVolumeSlider = 1034;
    static constexpr int kPositionSlider = 1035;
    static constexpr int kSoundButton = 1036;  // BTN_SOUND
    static constexpr int kVideoButton = 1037;  // BTN_VIDEO
    static constexpr int kPositionTimerId = 1234;
    static constexpr int kPositionTimerMs = 1000;

    /// The bar in `place`, with its sound settings read (the initialisation hook).
    CDialogVideoControl(DeskContext &context, QWidget *place);
    ~CDialogVideoControl() override;

    /// Binds the bar to a movie: the position slider and its timer when it can seek, and the
    /// volume. nullptr detaches it; the timer then stops.
    void AttachGraph(MovieTransport *graph);
    MovieTransport *graph() const { return graph_; }

    bool soundOn() const { return soundOn_; }
    long volume() const { return volume_; }
    bool paused() const { return paused_; }

    QToolButton *soundButton() const { return sound_; }
    QToolButton *videoButton() const { return video_; }
    QSlider *volumeSlider() const { return volumeSlider_; }
    QSlider *positionSlider() const { return positionSlider_; }
    const QTimer &positionTimer() const { return positionTimer_; }
    /// Elapsed and total time, "m:ss / m:ss" (hours in front once there are any).
    QLabel *timeLabel() const { return time_; }
    /// A media time in 100 ns units as the time label shows it.
    static QString formatMediaTime(int64_t units);

    /// Timer 1234: the slider follows the movie's position.
    void onPositionTimer();
    /// The position slider let go: the movie goes where it points.
    void onPositionReleased();
    /// The volume slider let go: the volume is stored and applied.
    void onVolumeReleased();
    void onSoundClicked();  // BTN_SOUND
    void onVideoClicked();  // BTN_VIDEO

private:
    void applyVolume();
    void showButtonStates();
    void showTimes(int64_t position, int64_t length);

    DeskContext &context_;
    MovieTransport *graph_ = nullptr;
    bool soundOn_ = false;
    long volume_ = 0;
    bool paused_ = false;
    bool settingSlider_ = false;  // the bar moves a slider itself: no user action

    QToolButton *sound_ = nullptr;
    QToolButton *video_ = nullptr;
    QSlider *volumeSlider_ = nullptr;
    QSlider *positionSlider_ = nullptr;
    QLabel *time_ = nullptr;
    int64_t length_ = -1;  // the movie's duration; -1 while it is not known
    QTimer positionTimer_;
};

}  // namespace lumaghost
