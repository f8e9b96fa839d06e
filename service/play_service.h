// SPDX-License-Identifier: LGPL-2.1-or-later
// The play service: connects to the camera at start, waits for the machine-wide auto-play
// setting, loads the item it names and plays it into the camera in an endless loop until
// stopped. `systemctl reload` (the reload control) reads the setting and loads the item again.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera/camera_link.h"
#include "media/sequence_file.h"
#include "platform/posix_file.h"
#include "service/service_shell.h"

namespace lumaghost {

class MovieGraph;
class RendererCore;

inline constexpr char kServiceName[] = "LumaghostService";
inline constexpr char kServiceDisplayName[] = "Quillmoor Lumaghost Play Service";
inline constexpr char kSettingsKey[] = "Software\\Quillmoor\\Lumadesk\\Settings";
inline constexpr char kChangePlayEvent[] = "LumaChangePlay";

// Timing, in milliseconds.
inline constexpr uint32_t kStopLook = 10;
inline constexpr uint32_t kSettingRetry = 5000;
inline constexpr uint32_t kLoadRetry = 10000;
inline constexpr uint32_t kCameraCallPause = 1000;
inline constexpr uint32_t kFailedPassPause = 10000;
inline constexpr uint32_t kStatusWaitHint = 3000;
inline constexpr uint32_t kStopWaitHint = 11000;
inline constexpr size_t kAutoPlayBuffer = 259;
/// The camera's frame rate when it does not tell its own.
inline constexpr uint32_t kDefaultFrameRate = 30;
/// At most this much is kept of frames fitted to a camera of another size.
inline constexpr size_t kFittedFramesBudget = size_t{64} << 20;

class PlayService final : public ServiceShell {
public:
    explicit PlayService(ServicePlatform platform);
    ~PlayService() override;

    void Run(int argc, char **argv) override;
    void RequestStop() override;
    void OnCustomControl(uint32_t code) override;
    /// The machine hive that cannot be read, named with its line in error.
    std::string StartProblem() override;

    bool LoadAutoPlayItem();

    int autoPlayType() const { return autoPlayType_; }
    const std::string &autoPlayPath() const { return autoPlayPath_; }
    const std::vector<SequenceFrame> &frames() const { return frames_; }

private:
    bool readSetting();
    /// One pass over the frames; false when a stop or a reload ended it.
    bool playPass();
    /// Writes frame `index` into the camera's buffer, fitted when its size is not the camera's.
    void fillFrame(size_t index, const FrameDescriptor &descriptor);
    /// One frame of the camera, in milliseconds (at least 1).
    uint32_t cameraFramePeriod();
    /// The camera took another frame size: its link is opened again, and the log says why.
    /// False when it cannot be.
    bool followCameraFormat();
    /// The look at the stop event at a loop head; true when a stop or a reload is asked for.
    bool stopOrReload();
    /// Waits `milliseconds` unless a stop or a reload comes first; true when one did.
    bool pause(uint32_t milliseconds);
    void runPostedTasks();
    /// Reports `state` unless a stop has been asked for, which nothing may report over.
    void reportUnlessStopping(uint32_t state);
    /// Opens the auto-play path as openSharedFile does, of at most `maxBytes`; false, with the
    /// reason noted, when it cannot be.
    bool openAutoPlayFile(UniqueFd &file, uint64_t maxBytes);
    /// Logs a problem once, until another one is noted or the problem is gone (`text` empty).
    void noteProblem(const std::string &text);
    void dropItem();

    std::unique_ptr<ManualResetEvent> stop_;
    std::atomic<bool> reload_{false};
    std::atomic<bool> stopRequested_{false};
    // Guards stop_ between RequestStop and Run's end, and orders the stop's status report
    // against the worker's.
    std::mutex stopMutex_;
    void *changePlay_ = nullptr;
    CameraLink link_;
    UniqueFd movieFile_;  // the movie's file while movie_ plays it
    std::unique_ptr<MovieGraph> movie_;
    std::vector<SequenceFrame> frames_;
    int autoPlayType_ = 1;
    std::string autoPlayPath_;
    std::string noted_;

    // Frames fitted to a camera of another size, kept within kFittedFramesBudget per size.
    std::unique_ptr<RendererCore> fitter_;
    int fittedWidth_ = 0, fittedHeight_ = 0;
    std::map<size_t, std::vector<uint8_t>> fitted_;
    size_t fittedBytes_ = 0;

    std::mutex tasksMutex_;  // guards tasks_
    std::deque<std::function<void()>> tasks_;
};

}  // namespace lumaghost
