// SPDX-License-Identifier: LGPL-2.1-or-later
// Movie playback, and the graph that the movie and the real camera share: at most one graph
// exists, and stopGraphPlayback() (Stop Above) ends it together with directory playback. The
// graph's notifications arrive on the user-interface thread; a graph that fails while it runs
// (a movie file removed or damaged, a camera unplugged) ends with a message. A graph starts
// without blocking this thread: its state change is waited for on a worker, under a busy
// cursor and, past half a second, a progress indication; Stop, another source or this part's
// end cancels a start still under way.
#pragma once

#include <memory>
#include <string>

#include <QFileSystemWatcher>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include "desk/media/dialog_video_control.h"
#include "desk/media/directory_player.h"
#include "desk/media/media_services.h"
#include "desk/model/part_context.h"
#include "desk/model/parts.h"
#include "gst/media_graph.h"

namespace lumaghost {

/// The camera source of the moment; the preview runs beside any of them.
enum class CameraSource { Idle, Movie, RealCamera, Directory };

/// VFW_E_CANNOT_RENDER: the file holds nothing that can be played.
inline constexpr HResult kCannotRender{0x80040218u};

class MoviePlayer final : public QObject, public MoviePart {
    Q_OBJECT
public:
    /// Movie playback with the window's movie control `bar`.
    MoviePlayer(const PartContext &part, CDialogVideoControl &bar, MediaServices services);
    /// The graph stops and goes; the bar lets go of it.
    ~MoviePlayer() override;

    // MoviePart.
    void playMovieCommand() override;
    HResult playMovieFile(const QString &path, MovieStarted started = {}) override;
    void stopGraphPlayback() override;
    bool graphExists() const override { return graph_ != nullptr; }
    /// Stopped while the graph is still starting: nothing is on the camera yet.
    GraphState queryGraphState(int timeoutMs) override;

    /// Whether a real camera's first frame reached the camera.
    using CameraStarted = std::function<void(bool)>;
    /// Runs a real camera's passthrough graph as the view's graph. `started` hears true once
    /// its first frame has reached the camera, false (and then no graph is left) when it
    /// could not start; nothing when the start was cancelled. `device` names the camera in
    /// messages; `watched` is the file whose removal unplugs it.
    void runCameraGraph(std::unique_ptr<CameraGraph> graph, const QString &device,
                        const QString &watched, CameraStarted started);
    /// A graph is starting: its outcome has not come yet.
    bool starting() const { return bool(pendingStart_); }

    /// Directory playback, which stopGraphPlayback() ends too.
    void setDirectoryPlayer(DirectoryPlayer *directory) { directory_ = directory; }
    CameraSource cameraSource() const;

    /// The movie or picture last put on the camera by a movie or directory playback.
    const QString &currentFile() const { return currentFile_; }
    CDialogVideoControl *controlBar() const { return &bar_; }
    MediaGraph *graph() const { return graph_.get(); }
    MovieGraph *movieGraph() const { return movie_; }

    /// The renderer's switches for a new graph: the movie fit settings, the view's camera.
    RendererSettings rendererSettings() const;
    /// Runs tasks on this object's thread (the graphs' notifications).
    Post post();

signals:
    /// Something the commands' rules read has changed.
    void stateChanged();
    /// The document's title: the movie's path.
    void titleChanged(const QString &title);
    /// A movie was played and put on the recent movie list.
    void recentFilesChanged();
    /// A movie's transport was given to the control bar (true), or the graph went (false).
    void transportChanged(bool attached);
    /// A start has taken more than half a second: `text` says what starts. Empty once it is
    /// over.
    void startProgress(const QString &text);

private:
    /// The outcome of the graph's state change, or FAILURE when the graph failed first.
    using StartOutcome = std::function<void(GstStateChangeReturn)>;
    /// Starts graph_ towards `target` under a busy cursor; `progress` is shown past half a
    /// second.
    void beginStart(GstState target, const QString &progress, StartOutcome outcome);
    /// Hands the outcome of the start under way over, once.
    void finishStart(GstStateChangeReturn change);
    /// The busy cursor and the progress indication go.
    void endBusy();
    /// The new movie, paused and ready to show its first frame or not: it runs, or it is
    /// told and torn down.
    HResult moviePrerolled(GstStateChangeReturn change, const QString &path);
    /// Checks that a paused movie's video reached the renderer.
    HResult checkPrerolled(GstStateChangeReturn change);
    /// msg::kCannotRenderMedia, and the element list on request.
    void renderDiagnostics(const std::vector<std::string> &elements);
    void onGraphEvent(const GraphEvent &event);
    /// The graph failed while it ran, or its file went: it ends with a message.
    void endWithMessage(const QString &detail);
    void onWatchedFileChanged(const QString &path);
    void watch(const QString &path);

    PartContext part_;
    DeskContext &context_;
    CDialogVideoControl &bar_;
    MediaServices services_;
    QPointer<DirectoryPlayer> directory_;

    std::unique_ptr<MediaGraph> graph_;
    MovieGraph *movie_ = nullptr;  // graph_ when it plays a movie
    std::unique_ptr<GraphTransport> transport_;
    QString currentFile_;
    QString graphName_;  // the movie's path or the camera's name, for messages
    QFileSystemWatcher watcher_;
    bool ending_ = false;

    StartOutcome pendingStart_;  // while graph_ starts
    QTimer progressDelay_;
    QString progressText_;
    bool busy_ = false;
    bool progressShown_ = false;
};

}  // namespace lumaghost
