// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/media/movie_player.h"

#include <cstring>

#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>

#include "camera/device_discovery.h"
#include "desk/media/dialog_video_control.h"
#include "desk/media/directory_player.h"
#include "desk/model/camera_state.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/model/desk_settings.h"
#include "desk/model/file_dialog_filter.h"
#include "desk/model/message_format.h"
#include "desk/model/message_ids.h"
#include "desk/model/part_set.h"
#include "desk/service/play_service_command.h"
#include "gst/playable_movie_types.h"
#include "lang/pack_ids.h"

namespace lumaghost {

namespace {

// GStreamer's RealMedia demuxer, by its long name among the elements.
constexpr char kRealMediaDemuxer[] = "RealMedia Demuxer";

bool isRealMedia(const QString &path) {
    const qsizetype dot = path.lastIndexOf(u'.');
    const QString extension = dot < 0 ? QString() : path.mid(dot + 1).toLower();
    return extension == QStringLiteral("rm") || extension == QStringLiteral("rmvb");
}

/// Whether any element of the graph took the file as media: a demuxer, parser or decoder.
bool recognisedAsMedia(GstElement *pipeline) {
    bool found = false;
    g_autoptr(GstIterator) it = gst_bin_iterate_recurse(GST_BIN(pipeline));
    g_auto(GValue) item = G_VALUE_INIT;
    while (!found && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto *element = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory *factory = gst_element_get_factory(element);
        if (factory && !GST_IS_BIN(element)) {
            const char *klass =
                gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
            found = klass && (std::strstr(klass, "Demux") || std::strstr(klass, "Decoder") ||
                              std::strstr(klass, "Parser"));
        }
        g_value_reset(&item);
    }
    return found;
}

/// Whether video has reached the renderer: its input has agreed on a format.
bool rendererConnected(GstElement *playbin) {
    GstElement *videoSink = nullptr;
    g_object_get(playbin, "video-sink", &videoSink, nullptr);
    const GstRef<GstElement> sink(videoSink);
    if (!sink || !GST_IS_BIN(sink.get()))
        return false;
    const GstRef<GstElement> renderer(gst_bin_get_by_name(GST_BIN(sink.get()), "LumaRenderer"));
    const GstRef<GstPad> pad(renderer ? gst_element_get_static_pad(renderer.get(), "sink")
                                      : nullptr);
    g_autoptr(GstCaps) caps = pad ? gst_pad_get_current_caps(pad.get()) : nullptr;
    return caps != nullptr;
}

// A start that takes longer than this shows its progress.
constexpr int kProgressDelayMs = 500;

}  // namespace

MoviePlayer::MoviePlayer(const PartContext &part, CDialogVideoControl &bar, MediaServices services)
    : part_(part), context_(part.desk), bar_(bar), services_(std::move(services)) {
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &MoviePlayer::onWatchedFileChanged);
    progressDelay_.setSingleShot(true);
    connect(&progressDelay_, &QTimer::timeout, this, [this] {
        progressShown_ = true;
        emit startProgress(progressText_);
    });
}

MoviePlayer::~MoviePlayer() {
    endBusy();
    pendingStart_ = nullptr;
    bar_.AttachGraph(nullptr);
    transport_.reset();
    movie_ = nullptr;
    graph_.reset();
}

Post MoviePlayer::post() {
    // Every graph goes before this object does, and Qt drops what is still queued for it.
    return [this](std::function<void()> task) {
        QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
    };
}

RendererSettings MoviePlayer::rendererSettings() const {
    const DeskSettings &s = part_.settings;
    RendererSettings settings;
    settings.flags = FitFlags{s.stretch, s.keepRatio, s.center};
    const CameraLink &link = part_.camera.link;
    settings.device = link.captureFilter ? link.captureFilter->friendlyName() : kCameraName;
    return settings;
}

CameraSource MoviePlayer::cameraSource() const {
    if (movie_)
        return CameraSource::Movie;
    if (graph_)
        return CameraSource::RealCamera;
    if (directory_ && directory_->playing())
        return CameraSource::Directory;
    return CameraSource::Idle;
}

/// \brief "Play Movie": the open dialog, then the movie; a failure is told with
/// msg::kCannotPlayMovie.
void MoviePlayer::playMovieCommand() {
    const QString path = QFileDialog::getOpenFileName(
        part_.window, QString(), QString(),
        fileDialogFilter(context_.message(pack_ids::kMovieFilter), playableCommonMovieTypes()));
    if (path.isEmpty())
        return;
    auto started = [this, path](HResult result) {
        if (result.failed())
            context_.ask(part_.window, appTitle(),
                         formatMessage(context_.message(msg::kCannotPlayMovie),
                                       {path, int64_t{result.code()}}),
                         MessageButtons::Ok, MessageIcon::Warning);
    };
    const HResult result = playMovieFile(path, started);
    if (result.failed())
        started(result);
}

/// \brief Builds the movie graph for one file and starts it.
///
/// Whatever fed the camera ends first. On failure no graph is left; the code is the failed
/// step's, VFW_E_NOT_CONNECTED when the file played but its video never reached the renderer.
HResult MoviePlayer::playMovieFile(const QString &path, MovieStarted started) {
    part_.parts.stopCameraSources();
    stopPlayServiceIfRunning(part_.service);
    currentFile_ = path;

    std::unique_ptr<MovieGraph> graph;
    HResult result = MovieGraph::create(QFile::encodeName(path).toStdString(), rendererSettings(),
                                        post(), graph);
    if (result.failed())
        return result;
    if (isRealMedia(path)) {
        std::unique_ptr<BaseFilter> demuxer;
        result = findFilterByName(CLSID_LegacyAmFilterCategory, kRealMediaDemuxer, demuxer,
                                  services_.legacyFilters);
        if (result.failed()) {
            context_.ask(nullptr, context_.message(pack_ids::kGraphFailedCaption),
                         context_.message(msg::kRealMediaNeedsSplitter), MessageButtons::Ok,
                         MessageIcon::Warning);
            return result;
        }
        // playbin plugs the demuxer itself once it is installed.
    }

    movie_ = graph.get();
    graph_ = std::move(graph);
    graphName_ = path;
    movie_->setEventHandler([this](const GraphEvent &event) { onGraphEvent(event); });
    // Paused until the first frame is ready to show.
    beginStart(GST_STATE_PAUSED, context_.message(pack_ids::kStartingMovie, {path}),
               [this, path, started = std::move(started)](GstStateChangeReturn change) {
                   const HResult outcome = moviePrerolled(change, path);
                   if (started)
                       started(outcome);
               });
    return S_OK;
}

HResult MoviePlayer::moviePrerolled(GstStateChangeReturn change, const QString &path) {
    HResult result = checkPrerolled(change);
    if (result.failed())
        return result;
    transport_ = std::make_unique<GraphTransport>(*movie_);
    bar_.AttachGraph(transport_.get());
    emit transportChanged(true);
    emit titleChanged(path);
    watch(path);
    result = movie_->run();
    if (result.failed()) {
        stopGraphPlayback();
        return result;
    }
    part_.parts.setCurrentItemPath(path);
    context_.recentMovies.add(path);
    emit recentFilesChanged();
    part_.parts.reportOnCamera({OnCamera::Kind::Movie, path});
    emit stateChanged();
    return result;
}

/// \brief A movie that cannot show is told and torn down.
HResult MoviePlayer::checkPrerolled(GstStateChangeReturn change) {
    GstElement *pipeline = movie_->pipeline();
    const bool ready = change == GST_STATE_CHANGE_SUCCESS || change == GST_STATE_CHANGE_NO_PREROLL;
    if (ready && rendererConnected(pipeline))
        return S_OK;
    const std::vector<std::string> elements = movie_->elementNames();
    if (!ready && !recognisedAsMedia(pipeline)) {
        // Nothing took the file as media: it cannot be rendered at all.
        stopGraphPlayback();
        context_.ask(nullptr, context_.message(pack_ids::kGraphFailedCaption),
                     context_.message(msg::kCannotRenderMovie), MessageButtons::Ok,
                     MessageIcon::Warning);
        return kCannotRender;
    }
    // Media, but no video reached the renderer: sound only, or no decoder for the video.
    stopGraphPlayback();
    renderDiagnostics(elements);
    return VFW_E_NOT_CONNECTED;
}

void MoviePlayer::beginStart(GstState target, const QString &progress, StartOutcome outcome) {
    pendingStart_ = std::move(outcome);
    if (!busy_) {
        QGuiApplication::setOverrideCursor(Qt::BusyCursor);
        busy_ = true;
    }
    progressText_ = progress;
    progressDelay_.start(kProgressDelayMs);
    emit stateChanged();
    graph_->startAsync(target, services_.graphStartTimeoutMs,
                       [this](GstStateChangeReturn change) { finishStart(change); });
}

void MoviePlayer::finishStart(GstStateChangeReturn change) {
    StartOutcome outcome = std::move(pendingStart_);
    pendingStart_ = nullptr;
    if (!outcome)
        return;
    endBusy();
    outcome(change);
}

void MoviePlayer::endBusy() {
    progressDelay_.stop();
    if (busy_) {
        QGuiApplication::restoreOverrideCursor();
        busy_ = false;
    }
    if (progressShown_) {
        progressShown_ = false;
        emit startProgress(QString());
    }
}

/// \brief msg::kCannotRenderMedia; on Yes the graph's elements, which may go to the clipboard.
void MoviePlayer::renderDiagnostics(const std::vector<std::string> &elements) {
    if (context_.ask(part_.window, context_.message(pack_ids::kRenderErrorCaption),
                     context_.message(msg::kCannotRenderMedia), MessageButtons::YesNo,
                     MessageIcon::Question) != MessageAnswer::Yes)
        return;
    QString details = context_.message(msg::kFilterDetails) + u'\n';
    for (const std::string &name : elements)
        details += u'\n' + QString::fromStdString(name);
    if (context_.ask(part_.window, context_.message(msg::kCopyToClipboard), details,
                     MessageButtons::YesNo, MessageIcon::Information) != MessageAnswer::Yes)
        return;
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (clipboard)
        clipboard->setText(details);
    const bool copied = clipboard && clipboard->text() == details;
    context_.ask(part_.window, appTitle(),
                 context_.message(copied ? msg::kDetailsCopied : msg::kCannotCopy),
                 MessageButtons::Ok, copied ? MessageIcon::Information : MessageIcon::Warning);
}

void MoviePlayer::runCameraGraph(std::unique_ptr<CameraGraph> graph, const QString &device,
                                 const QString &watched, CameraStarted started) {
    part_.parts.stopCameraSources();
    graph_ = std::move(graph);
    graphName_ = device;
    graph_->setEventHandler([this](const GraphEvent &event) { onGraphEvent(event); });
    // A live source: the graph has started once its first frame has gone to the camera.
    beginStart(GST_STATE_PLAYING, context_.message(pack_ids::kStartingCamera, {device}),
               [this, device, watched, started = std::move(started)](GstStateChangeReturn change) {
                   const bool ok = change == GST_STATE_CHANGE_SUCCESS;
                   if (ok) {
                       watch(watched);
                       part_.parts.reportOnCamera({OnCamera::Kind::RealCamera, device});
                       emit stateChanged();
                   } else {
                       stopGraphPlayback();
                   }
                   if (started)
                       started(ok);
               });
}

GraphState MoviePlayer::queryGraphState(int timeoutMs) {
    if (!graph_ || starting())
        return GraphState::Stopped;
    GstState current = GST_STATE_NULL;
    const GstStateChangeReturn r = gst_element_get_state(
        graph_->pipeline(), &current, nullptr, GstClockTime(std::max(timeoutMs, 0)) * GST_MSECOND);
    if (r == GST_STATE_CHANGE_FAILURE || r == GST_STATE_CHANGE_ASYNC)
        return GraphState::Unknown;
    return current >= GST_STATE_PAUSED ? GraphState::Running : GraphState::Stopped;
}

/// \brief "Stop Above" and every new source: directory playback ends, the graph stops and
/// goes, the control bar hides.
void MoviePlayer::stopGraphPlayback() {
    // A start under way is cancelled: its outcome never comes.
    pendingStart_ = nullptr;
    endBusy();
    const bool fed = (graph_ && !graph_->starting()) || (directory_ && directory_->playing());
    if (directory_)
        directory_->stop();
    if (!watcher_.files().isEmpty())
        watcher_.removePaths(watcher_.files());
    bar_.AttachGraph(nullptr);
    emit transportChanged(false);
    transport_.reset();
    movie_ = nullptr;
    graph_.reset();
    if (fed)
        part_.parts.reportOnCamera({OnCamera::Kind::Nothing});
    emit stateChanged();
}

/// \brief A notification of the graph, on this thread: a movie at its end has started again
/// already; a failure ends the graph.
void MoviePlayer::onGraphEvent(const GraphEvent &event) {
    switch (event.type) {
        case GraphEvent::Error:
        case GraphEvent::RenderFailure:
            // A graph failing during its start fails the start, which says so.
            if (starting())
                finishStart(GST_STATE_CHANGE_FAILURE);
            else
                endWithMessage(QString::fromStdString(event.text));
            break;
        case GraphEvent::Complete:
        case GraphEvent::StateChanged:
            break;
    }
}

void MoviePlayer::endWithMessage(const QString &detail) {
    if (!graph_ || ending_)
        return;
    ending_ = true;
    const bool movie = movie_ != nullptr;
    const QString name = graphName_;
    stopGraphPlayback();
    context_.ask(part_.window, appTitle(),
                 formatMessage(context_.message(movie ? msg::kMovieStopped : msg::kCameraStopped),
                               {name, detail}),
                 MessageButtons::Ok, MessageIcon::Warning);
    ending_ = false;
}

void MoviePlayer::watch(const QString &path) {
    if (!watcher_.files().isEmpty())
        watcher_.removePaths(watcher_.files());
    if (!path.isEmpty())
        watcher_.addPath(path);
}

void MoviePlayer::onWatchedFileChanged(const QString &path) {
    if (!graph_)
        return;
    if (QFileInfo::exists(path)) {
        // Written to or replaced: still there, and watched again if it was replaced.
        if (!watcher_.files().contains(path))
            watcher_.addPath(path);
        return;
    }
    endWithMessage(context_.message(movie_ ? msg::kFileRemoved : msg::kCameraUnplugged));
}

}  // namespace lumaghost
