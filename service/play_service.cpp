#include "play_service.h"

#include <fcntl.h>
#include <semaphore.h>

#include <algorithm>
#include <cstring>

#include "media_graph.h"
#include "renderer_core.h"

namespace lumaghost {

PlayService::PlayService(ServicePlatform platform)
    : ServiceShell(kServiceName, kServiceDisplayName, platform) {}

PlayService::~PlayService() {
    movie_.reset();
    if (changePlay_)
        sem_close(static_cast<sem_t *>(changePlay_));
}

void PlayService::RequestStop() {
    SetStatus(SERVICE_STOP_PENDING, kStopWaitHint, 0);
    stopRequested_ = true;
    std::lock_guard lock(stopMutex_);
    if (stop_)
        stop_->set();
}

void PlayService::OnCustomControl(uint32_t code) {
    if (code != SERVICE_CONTROL_RELOAD)
        return;
    reload_ = true;
    // Wakes a display-time wait; Run tells a reload from a stop by the flag.
    std::lock_guard lock(stopMutex_);
    if (stop_)
        stop_->set();
}

bool PlayService::stopOrReload() {
    if (!platform_.waiter.wait(*stop_, kStopLook)) {
        runPostedTasks();
        return false;
    }
    return true;
}

void PlayService::runPostedTasks() {
    std::deque<std::function<void()>> tasks;
    {
        std::lock_guard lock(tasksMutex_);
        tasks.swap(tasks_);
    }
    for (auto &t : tasks)
        t();
}

bool PlayService::readSetting() {
    if (!platform_.machine.writable())
        return false;
    HiveData data;
    if (platform_.machine.read(data).failed() || !data.hasKey(kSettingsKey))
        return false;
    bool accepted = false;
    if (const RegValue *v = data.value(kSettingsKey, "AutoPlay");
        v && (v->type == RegType::String || v->type == RegType::ExpandString)) {
        // The whole buffer is offered: a value that does not fit with its NUL is not read.
        const std::vector<uint8_t> raw = v->rawData();
        if (raw.size() <= kAutoPlayBuffer && !raw.empty() && raw.back() == 0) {
            autoPlayPath_ = v->text;  // used unexpanded
            accepted = true;
        }
    }
    if (const RegValue *t = data.value(kSettingsKey, "AutoPlayType")) {
        // Four bytes of any type; a shorter value overwrites only its own bytes.
        const std::vector<uint8_t> raw = t->rawData();
        if (raw.size() <= 4) {
            uint32_t type = static_cast<uint32_t>(autoPlayType_);
            std::memcpy(&type, raw.data(), raw.size());
            autoPlayType_ = static_cast<int>(type);
        }
    }
    return accepted;
}

bool PlayService::LoadAutoPlayItem() {
    switch (autoPlayType_) {
        case 1: {
            std::vector<SequenceFrame> read;
            if (!ReadSequenceFile(autoPlayPath_, read))
                return false;
            frames_.insert(frames_.end(), std::make_move_iterator(read.begin()),
                           std::make_move_iterator(read.end()));
            return true;
        }
        case 2: {
            // A movie, looped into the camera through the renderer with its default switches.
            std::unique_ptr<MovieGraph> movie;
            Post post = [this](std::function<void()> task) {
                std::lock_guard lock(tasksMutex_);
                tasks_.push_back(std::move(task));
            };
            if (MovieGraph::create(autoPlayPath_, RendererSettings{}, post, movie).succeeded() &&
                movie->run().succeeded())
                movie_ = std::move(movie);
            else
                LogEvent("Cannot play the movie " + autoPlayPath_, EventType::Warning);
            return true;
        }
        default:
            return false;
    }
}

const std::vector<uint8_t> &PlayService::pixelsFor(size_t index, int cameraWidth,
                                                   int cameraHeight) {
    const SequenceFrame &frame = frames_[index];
    if (frame.width() == cameraWidth && frame.height() == cameraHeight)
        return frame.pixels;
    if (cameraWidth != fittedWidth_ || cameraHeight != fittedHeight_) {
        // The camera's size changed: fit every frame once, scaled with its aspect ratio kept
        // and centred on black.
        fittedWidth_ = cameraWidth;
        fittedHeight_ = cameraHeight;
        fitted_.assign(frames_.size(), {});
        RendererCore core;
        for (size_t i = 0; i < frames_.size(); ++i) {
            const SequenceFrame &f = frames_[i];
            fitted_[i].assign(size_t(cameraWidth) * cameraHeight * 3, 0);
            if (f.width() <= 0 || f.height() <= 0)
                continue;
            // The block is bottom-up: handed over as a top-down image read from its last row.
            const ptrdiff_t rowBytes = ptrdiff_t(f.width()) * 3;
            InputFrame in{f.width(), f.height(), 3, f.pixels.data() + (f.height() - 1) * rowBytes,
                          -rowBytes};
            (void)core.compose(in, FitFlags{1, 1, 0}, fitted_[i].data(), cameraWidth, cameraHeight,
                               fitted_[i].size());
        }
    }
    return fitted_[index];
}

bool PlayService::playPass() {
    bool lastFailed = false;
    for (size_t i = 0; i < frames_.size(); ++i) {
        FrameDescriptor d;
        if (GetFrameDescriptor(link_, d).failed()) {
            lastFailed = true;
            platform_.waiter.sleep(kCameraCallPause);
            continue;
        }
        if (d.byteCount == 0) {
            platform_.waiter.sleep(kCameraCallPause);
            continue;
        }
        const std::vector<uint8_t> &pixels = pixelsFor(i, d.width, d.height);
        std::memcpy(d.buffer(), pixels.data(), std::min<size_t>(d.byteCount, pixels.size()));
        if (CommitFrame(link_, d).failed()) {
            lastFailed = true;
            platform_.waiter.sleep(kCameraCallPause);
            continue;
        }
        lastFailed = false;
        const uint32_t time = frames_[i].displayTime();
        if (time != 0 && platform_.waiter.wait(*stop_, time))
            return false;
    }
    if (lastFailed)
        platform_.waiter.sleep(kFailedPassPause);
    return true;
}

void PlayService::Run(int, char **) {
    SetStatus(SERVICE_START_PENDING, kStatusWaitHint, 0);
    {
        std::lock_guard lock(stopMutex_);
        stop_ = platform_.waiter.createEvent();
    }
    if (!changePlay_) {
        sem_t *sem = sem_open((std::string("/") + kChangePlayEvent).c_str(), O_CREAT, 0644, 0);
        changePlay_ = sem == SEM_FAILED ? nullptr : sem;
    }
    if (OpenCameraLink(link_).failed()) {
        {
            std::lock_guard lock(stopMutex_);
            stop_.reset();
        }
        SetStatus(SERVICE_STOPPED, kStatusWaitHint, 0);
        return;
    }
    SetStatus(SERVICE_RUNNING, kStatusWaitHint, 0);

    for (;;) {
        reload_ = false;
        bool stopped = false;
        // Waiting for a setting.
        while (!(stopped = stopOrReload())) {
            if (readSetting())
                break;
            platform_.waiter.sleep(kSettingRetry);
        }
        // Loading.
        while (!stopped && !(stopped = stopOrReload())) {
            if (LoadAutoPlayItem())
                break;
            platform_.waiter.sleep(kLoadRetry);
        }
        // Playing.
        while (!stopped && !(stopped = stopOrReload()))
            playPass();
        if (stopRequested_ || !reload_)
            break;
        // A reload: back to reading the setting with a clean slate.
        movie_.reset();
        frames_.clear();
        fitted_.clear();
        fittedWidth_ = fittedHeight_ = 0;
        std::lock_guard lock(stopMutex_);
        stop_->reset();
        if (stopRequested_)
            stop_->set();
    }
    movie_.reset();
    frames_.clear();
    fitted_.clear();
    std::lock_guard lock(stopMutex_);
    stop_.reset();
}

}  // namespace lumaghost
