// The play service: connects to the camera at start, waits for the machine-wide auto-play
// setting, loads the item it names and plays it into the camera in an endless loop until
// stopped. `systemctl reload` (the reload control) reads the setting and loads the item again.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera_link.h"
#include "sequence_file.h"
#include "service_shell.h"

namespace lumaghost {

class MovieGraph;

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

class PlayService final : public ServiceShell {
public:
    explicit PlayService(ServicePlatform platform);
    ~PlayService() override;

    void Run(int argc, char **argv) override;
    void RequestStop() override;
    void OnCustomControl(uint32_t code) override;

    bool LoadAutoPlayItem();

    int autoPlayType() const { return autoPlayType_; }
    const std::string &autoPlayPath() const { return autoPlayPath_; }
    const std::vector<SequenceFrame> &frames() const { return frames_; }

private:
    bool readSetting();
    /// One pass over the frames; false when a stop or a reload ended it.
    bool playPass();
    const std::vector<uint8_t> &pixelsFor(size_t index, int cameraWidth, int cameraHeight);
    bool stopOrReload();
    void runPostedTasks();

    std::unique_ptr<ManualResetEvent> stop_;
    std::atomic<bool> reload_{false};
    std::atomic<bool> stopRequested_{false};
    std::mutex stopMutex_;  // guards stop_ between RequestStop and Run's end
    void *changePlay_ = nullptr;
    CameraLink link_;
    std::unique_ptr<MovieGraph> movie_;
    std::vector<SequenceFrame> frames_;
    int autoPlayType_ = 1;
    std::string autoPlayPath_;

    // Frames fitted to a camera of another size, made once per size.
    int fittedWidth_ = 0, fittedHeight_ = 0;
    std::vector<std::vector<uint8_t>> fitted_;

    std::mutex tasksMutex_;  // guards tasks_
    std::deque<std::function<void()>> tasks_;
};

}  // namespace lumaghost
