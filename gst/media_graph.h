// SPDX-License-Identifier: LGPL-2.1-or-later
// Media graphs for our programs: a movie played into the camera in a loop, a camera passed
// through into the camera, and a preview of what a Lumaghost camera shows. Bus messages reach
// the caller on its own thread through the `Post` it hands in (for Qt: a queued invocation), and
// so does the outcome of a start, whose state change runs and is waited for on a worker thread.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "camera/camera_link.h"
#include "camera/capture_devices.h"
#include "frames/fit_geometry.h"
#include "platform/hresult.h"

namespace lumaghost {

/// Drops a reference to a GStreamer object.
struct GstUnref {
    void operator()(gpointer object) const { gst_object_unref(object); }
};
template <class T>
using GstRef = std::unique_ptr<T, GstUnref>;

/// Owns `object`, a new floating reference (as element factories give).
template <class T>
GstRef<T> sunk(T *object) {
    return GstRef<T>(object ? static_cast<T *>(gst_object_ref_sink(object)) : nullptr);
}

/// Runs a task on the caller's thread.
using Post = std::function<void(std::function<void()>)>;

struct GraphEvent {
    enum Type {
        Complete,       // the end of the stream (a looping movie starts again)
        Error,          // the graph stopped on an error
        RenderFailure,  // the movie has no video or no decoder for it
        StateChanged,
    };
    Type type = Complete;
    std::string text;                   // the error's message
    std::vector<std::string> elements;  // with RenderFailure: the graph's elements, by long name
    GstState state = GST_STATE_NULL;    // with StateChanged
};

/// Initialises GStreamer and our elements. Safe to call more than once.
bool initMediaGraphs();

/// GStreamer's element factories as the legacy filter category: each by its long name, located
/// by its factory name.
void listElementFactories(std::vector<std::unique_ptr<Moniker>> &monikers);

/// The system's devices with GStreamer's elements as the legacy filter category, for a filter
/// looked up by name there (findFilterByName with this factory). Initialises GStreamer.
HResult createMediaDeviceEnumerator(std::unique_ptr<DeviceEnumerator> &out);

class MediaGraph {
public:
    /// The outcome of a start: SUCCESS or NO_PREROLL once the state is reached, FAILURE, or
    /// ASYNC when it did not settle in time.
    using Started = std::function<void(GstStateChangeReturn)>;

    /// A graph whose start is still under way goes on a thread of its own, which stops it.
    virtual ~MediaGraph();
    MediaGraph(const MediaGraph &) = delete;
    MediaGraph &operator=(const MediaGraph &) = delete;

    HResult run();
    /// Changes the state to `target` and waits at most `timeoutMs` for it to settle, both on a
    /// worker thread; `started` gets the outcome on the caller's thread through the Post,
    /// unless the graph has gone by then. One start at a time.
    void startAsync(GstState target, int timeoutMs, Started started);
    /// A start is under way: its outcome has not been handed over yet.
    bool starting() const { return worker_.joinable(); }
    HResult pause();
    HResult stop();
    GstState state() const;
    /// The long names of every element in the graph, nested ones included.
    std::vector<std::string> elementNames() const;
    void setEventHandler(std::function<void(const GraphEvent &)> handler) {
        handler_ = std::move(handler);
    }

    GstElement *pipeline() const { return pipeline_.get(); }

    /// Waits at most `timeoutMs` until the graphs that went during their start have stopped;
    /// false when some still run.
    static bool awaitRetiredGraphs(int timeoutMs);

protected:
    MediaGraph(GstRef<GstElement> pipeline, Post post);
    virtual void onEvent(const GraphEvent &event);

    GstRef<GstElement> pipeline_;
    std::function<void(const GraphEvent &)> handler_;

private:
    struct Channel;
    static GstBusSyncReply busSync(GstBus *bus, GstMessage *message, gpointer channel);

    std::shared_ptr<Channel> channel_;  // the bus's and the worker's way to this object
    std::thread worker_;                // the start under way
    /// Taken by the start's state change and by the graph's going: a start that has not
    /// changed the state when the graph goes changes nothing.
    struct StartGate {
        std::mutex mutex;
        bool cancelled = false;
    };
    std::shared_ptr<StartGate> startGate_;
};

struct RendererSettings {
    FitFlags flags = kFitLetterbox;
    std::string device = kCameraName;
};

class MovieGraph final : public MediaGraph {
public:
    /// A movie file (a path or a URI) played through playbin into lumarenderer.
    static HResult create(const std::string &file, const RendererSettings &settings, Post post,
                          std::unique_ptr<MovieGraph> &out);

    bool looping() const { return looping_; }
    void setLooping(bool on) { looping_ = on; }
    /// Position and duration in 100 ns units; failure while unknown.
    HResult position(int64_t &out) const;
    HResult duration(int64_t &out) const;
    HResult seek(int64_t position);
    /// Volume in hundredths of a decibel, -10000 (silence) to 0 (full).
    HResult setVolume(long volume);
    long volume() const;
    HResult setMute(bool mute);
    bool muted() const;
    int loops() const { return loops_; }

    static double volumeToLinear(long volume);
    static long linearToVolume(double linear);

private:
    MovieGraph(GstRef<GstElement> pipeline, Post post)
        : MediaGraph(std::move(pipeline), std::move(post)) {}
    void onEvent(const GraphEvent &event) override;

    bool looping_ = true;
    int loops_ = 0;
    bool checkedStreams_ = false;
};

class CameraGraph final : public MediaGraph {
public:
    /// A V4L2 node ("/dev/video0") or a Lumaghost camera by name passed through into lumarenderer.
    static HResult create(const std::string &v4l2NodeOrLumaghostName, bool isLumaghost,
                          const RendererSettings &settings, Post post,
                          std::unique_ptr<CameraGraph> &out);
    /// Any live source element, a floating reference, passed through into lumarenderer.
    static HResult create(GstElement *source, const RendererSettings &settings, Post post,
                          std::unique_ptr<CameraGraph> &out);

private:
    using MediaGraph::MediaGraph;
};

class PreviewGraph final : public MediaGraph {
public:
    /// Upright frames of blue-green-red pixels, rows `stride` bytes apart, on a streaming thread.
    using FrameCallback =
        std::function<void(const uint8_t *pixels, int width, int height, int stride)>;
    static HResult create(const std::string &device, FrameCallback callback, Post post,
                          std::unique_ptr<PreviewGraph> &out);
    /// Stops before its callback goes: no streaming thread calls it afterwards.
    ~PreviewGraph() override;

private:
    using MediaGraph::MediaGraph;
    FrameCallback callback_;
    static GstFlowReturn onSample(GstElement *sink, gpointer self);
};

}  // namespace lumaghost
