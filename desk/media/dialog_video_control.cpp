// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/media/dialog_video_control.h"

#include <algorithm>

#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

#include "desk/model/desk_context.h"
#include "gst/media_graph.h"
#include "lang/pack_ids.h"
#include "lang/relabel.h"

namespace lumaghost {

namespace {

// Media time in 100 ns units per slider step (a millisecond).
constexpr int64_t kUnitsPerMs = 10000;
constexpr long kSilence = -10000;

}  // namespace

// --- GraphTransport ----------------------------------------------------------------------------

bool GraphTransport::canSeek() {
    GstQuery *query = gst_query_new_seeking(GST_FORMAT_TIME);
    gboolean seekable = FALSE;
    if (gst_element_query(graph_.pipeline(), query))
        gst_query_parse_seeking(query, nullptr, &seekable, nullptr, nullptr);
    gst_query_unref(query);
    int64_t length = 0;
    return seekable && graph_.duration(length).succeeded() && length > 0;
}

HResult GraphTransport::duration(int64_t &out) {
    return graph_.duration(out);
}

HResult GraphTransport::position(int64_t &out) {
    return graph_.position(out);
}

HResult GraphTransport::seek(int64_t position) {
    return graph_.seek(position);
}

HResult GraphTransport::setVolume(long volume) {
    return graph_.setVolume(volume);
}

HResult GraphTransport::run() {
    return graph_.run();
}

HResult GraphTransport::pause() {
    return graph_.pause();
}

// --- CDialogVideoControl -----------------------------------------------------------------------

CDialogVideoControl::CDialogVideoControl(DeskContext &context, QWidget *place)
    : QWidget(place), context_(context) {
    setObjectName(QStringLiteral("MovieControlBar"));
    setAccessibleName(context_.message(pack_ids::kMovieControlBarName));

    sound_ = new QToolButton(this);
    sound_->setProperty(kControlIdProperty, kSoundButton);
    sound_->setCheckable(true);
    sound_->setAccessibleName(context_.message(pack_ids::kSoundName));
    sound_->setToolTip(sound_->accessibleName());
    volumeSlider_ = new QSlider(Qt::Horizontal, this);
    volumeSlider_->setProperty(kControlIdProperty, kVolumeSlider);
    volumeSlider_->setAccessibleName(context_.message(pack_ids::kVolumeName));
    volumeSlider_->setToolTip(volumeSlider_->accessibleName());
    volumeSlider_->setFixedWidth(90);
    video_ = new QToolButton(this);
    video_->setProperty(kControlIdProperty, kVideoButton);
    video_->setCheckable(true);
    video_->setAccessibleName(context_.message(pack_ids::kPauseName));
    video_->setToolTip(video_->accessibleName());
    positionSlider_ = new QSlider(Qt::Horizontal, this);
    positionSlider_->setProperty(kControlIdProperty, kPositionSlider);
    positionSlider_->setAccessibleName(context_.message(pack_ids::kPositionName));
    positionSlider_->setToolTip(positionSlider_->accessibleName());
    positionSlider_->setMinimumWidth(160);
    time_ = new QLabel(this);
    time_->setObjectName(QStringLiteral("movieTime"));
    time_->setTextFormat(Qt::PlainText);
    time_->setMinimumWidth(
        time_->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00 / 00:00:00")));
    showTimes(0, -1);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->addWidget(sound_);
    layout->addWidget(volumeSlider_);
    layout->addWidget(video_);
    layout->addWidget(positionSlider_, 1);
    layout->addWidget(time_);
    if (!place->layout()) {
        auto *placeLayout = new QHBoxLayout(place);
        placeLayout->setContentsMargins(0, 0, 0, 0);
    }
    place->layout()->addWidget(this);
    place->setMinimumWidth(380);

    // The initialisation hook: the stored sound state and volume.
    using namespace settings;
    const SettingsSnapshot stored = context_.settings.snapshot();
    soundOn_ = stored.readInt(kSettings, kPlaySoundTrack) != 0;
    volume_ = std::clamp<long>(stored.readInt(kSettings, kPlaySoundTrackVolume), kSilence, 0);
    volumeSlider_->setRange(int(kSilence), 0);
    volumeSlider_->setPageStep(1000);
    volumeSlider_->setSingleStep(100);
    volumeSlider_->setValue(int(volume_));
    positionSlider_->setRange(0, 0);
    showButtonStates();

    positionTimer_.setObjectName(QStringLiteral("timer%1").arg(kPositionTimerId));
    positionTimer_.setInterval(kPositionTimerMs);
    connect(&positionTimer_, &QTimer::timeout, this, &CDialogVideoControl::onPositionTimer);
    // Toggled, not clicked: a screen reader's toggle action changes the button without a click.
    // The bar's own setChecked matches the state and does nothing.
    connect(sound_, &QToolButton::toggled, this, [this](bool on) {
        if (on != soundOn_)
            onSoundClicked();
    });
    connect(video_, &QToolButton::toggled, this, [this](bool paused) {
        if (paused != paused_)
            onVideoClicked();
    });
    // Dragging a thumb does nothing until it is let go; a key, a click beside the thumb or an
    // assistive tool moves it in one step, which counts as let go at once.
    connect(positionSlider_, &QSlider::sliderReleased, this,
            &CDialogVideoControl::onPositionReleased);
    connect(positionSlider_, &QSlider::valueChanged, this, [this] {
        if (!settingSlider_ && !positionSlider_->isSliderDown())
            onPositionReleased();
    });
    connect(volumeSlider_, &QSlider::sliderReleased, this, &CDialogVideoControl::onVolumeReleased);
    connect(volumeSlider_, &QSlider::valueChanged, this, [this] {
        if (!settingSlider_ && !volumeSlider_->isSliderDown())
            onVolumeReleased();
    });
}

CDialogVideoControl::~CDialogVideoControl() = default;

void CDialogVideoControl::showButtonStates() {
    sound_->setChecked(soundOn_);
    sound_->setIcon(
        style()->standardIcon(soundOn_ ? QStyle::SP_MediaVolume : QStyle::SP_MediaVolumeMuted));
    video_->setChecked(paused_);
    video_->setIcon(style()->standardIcon(paused_ ? QStyle::SP_MediaPlay : QStyle::SP_MediaPause));
}

/// \brief Binds the bar to the movie that starts, or (nullptr) to none.
void CDialogVideoControl::AttachGraph(MovieTransport *graph) {
    graph_ = graph;
    length_ = -1;
    if (!graph_) {
        positionTimer_.stop();
        showTimes(0, -1);
        return;
    }
    // A new movie runs: the button must not say it is paused.
    paused_ = false;
    showButtonStates();
    int64_t length = 0;
    if (graph_->duration(length).succeeded() && length > 0)
        length_ = length;
    showTimes(0, length_);
    if (graph_->canSeek() && graph_->duration(length).succeeded()) {
        positionSlider_->setEnabled(true);
        settingSlider_ = true;
        positionSlider_->setRange(0, int(std::clamp<int64_t>(length / kUnitsPerMs, 0, INT32_MAX)));
        positionSlider_->setValue(0);
        settingSlider_ = false;
        positionTimer_.start();
    } else {
        positionSlider_->setEnabled(false);
        positionTimer_.stop();
    }
    applyVolume();
}

void CDialogVideoControl::applyVolume() {
    if (graph_)
        (void)graph_->setVolume(soundOn_ ? volume_ : kSilence);
}

QString CDialogVideoControl::formatMediaTime(int64_t units) {
    const int64_t seconds = std::max<int64_t>(units, 0) / (kUnitsPerMs * 1000);
    const int64_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    const QString mmss =
        QStringLiteral("%1:%2")
            .arg(h > 0 ? QStringLiteral("%1").arg(m, 2, 10, QLatin1Char('0')) : QString::number(m))
            .arg(s, 2, 10, QLatin1Char('0'));
    return h > 0 ? QString::number(h) + u':' + mmss : mmss;
}

void CDialogVideoControl::showTimes(int64_t position, int64_t length) {
    const QString text =
        length < 0 ? formatMediaTime(position)
                   : formatMediaTime(position) + QStringLiteral(" / ") + formatMediaTime(length);
    time_->setText(text);
    time_->setAccessibleName(text);
}

void CDialogVideoControl::onPositionTimer() {
    int64_t current = 0;
    if (!graph_ || graph_->position(current).failed())
        return;
    if (length_ < 0) {
        int64_t length = 0;
        if (graph_->duration(length).succeeded() && length > 0)
            length_ = length;
    }
    showTimes(current, length_);
    // The thumb the user holds stays where it is held.
    if (positionSlider_->isSliderDown())
        return;
    settingSlider_ = true;
    positionSlider_->setValue(int(std::clamp<int64_t>(current / kUnitsPerMs, 0, INT32_MAX)));
    settingSlider_ = false;
}

void CDialogVideoControl::onPositionReleased() {
    if (graph_ && positionSlider_->isEnabled())
        (void)graph_->seek(int64_t{positionSlider_->value()} * kUnitsPerMs);
}

void CDialogVideoControl::onVolumeReleased() {
    volume_ = volumeSlider_->value();
    context_.settings.writeInt(settings::kSettings, settings::kPlaySoundTrackVolume.name,
                               int(volume_));
    applyVolume();
}

void CDialogVideoControl::onSoundClicked() {
    soundOn_ = !soundOn_;
    context_.settings.writeInt(settings::kSettings, settings::kPlaySoundTrack.name,
                               soundOn_ ? 1 : 0);
    showButtonStates();
    applyVolume();
}

void CDialogVideoControl::onVideoClicked() {
    paused_ = !paused_;
    showButtonStates();
    if (graph_)
        (void)(paused_ ? graph_->pause() : graph_->run());
}

}  // namespace lumaghost
