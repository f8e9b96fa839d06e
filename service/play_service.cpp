// SPDX-License-Identifier: LGPL-2.1-or-later
#include "service/play_service.h"

#include <fcntl.h>
#include <semaphore.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "frames/renderer_core.h"
#include "gst/media_graph.h"

namespace lumaghost {

namespace {

// The file behind an open descriptor, for readers that take a path: it stays the file that was
// checked, whatever happens to its name meanwhile.
std::string pathOf(const UniqueFd &file) {
    return "/proc/self/fd/" + std::to_string(file.get());
}

}  // namespace

PlayService::PlayService(ServicePlatform platform)
    : ServiceShell(kServiceName, kServiceDisplayName, platform),
      fitter_(std::make_unique<RendererCore>()) {}

PlayService::~PlayService() {
    movie_.reset();
    if (changePlay_)
        sem_close(static_cast<sem_t *>(changePlay_));
}

void PlayService::RequestStop() {
    std::lock_guard lock(stopMutex_);
    stopRequested_ = true;
    SetStatus(SERVICE_STOP_PENDING, kStopWaitHint, 0);
    if (stop_)
        stop_->set();
}

void PlayService::OnCustomControl(uint32_t code) {
    if (code != SERVICE_CONTROL_RELOAD)
        return;
    // Wakes any wait of the worker; Run tells a reload from a stop by the flag.
    std::lock_guard lock(stopMutex_);
    reload_ = true;
    if (stop_)
        stop_->set();
}

std::string PlayService::StartProblem() {
    HiveData data;
    std::string error;
    if (platform_.machine.read(data, &error).failed())
        return "Cannot read " + error;
    return {};
}

void PlayService::reportUnlessStopping(uint32_t state) {
    std::lock_guard lock(stopMutex_);
    if (!stopRequested_)
        SetStatus(state, kStatusWaitHint, 0);
}

void PlayService::noteProblem(const std::string &text) {
    if (!text.empty() && text != noted_)
        LogEvent(text, EventType::Error);
    noted_ = text;
}

bool PlayService::stopOrReload() {
    if (!platform_.waiter.wait(*stop_, kStopLook)) {
        runPostedTasks();
        return false;
    }
    return true;
}

bool PlayService::pause(uint32_t milliseconds) {
    return platform_.waiter.wait(*stop_, milliseconds);
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
    // The settings key is only read: a service account that may not write the hive still
    // takes the setting.
    HiveData data;
    std::string error;
    if (platform_.machine.read(data, &error).failed()) {
        // Said once; the setting is still looked for every 5 s.
        noteProblem("Cannot read " + error);
        return false;
    }
    noteProblem({});
    if (!data.hasKey(kSettingsKey))
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

bool PlayService::openAutoPlayFile(UniqueFd &file, uint64_t maxBytes) {
    // Any member of group video names the item: it is opened with no more rights than the
    // group's, never through a link, without blocking (a FIFO or a device would hold the worker
    // where no stop reaches it), and must be a regular file the group may read.
    const int err = openSharedFile(autoPlayPath_, maxBytes, file);
    if (err == 0)
        return true;
    noteProblem("The auto-play item " + autoPlayPath_ +
                " cannot be opened: " + sharedFileProblem(err));
    return false;
}

bool PlayService::LoadAutoPlayItem() {
    switch (autoPlayType_) {
        case 1: {
            UniqueFd file;
            if (!openAutoPlayFile(file, INT32_MAX))
                return false;
            noteProblem({});
            std::vector<SequenceFrame> read;
            if (!readSequenceFile(pathOf(file), read, nullptr,
                                  [this] { return stop_ && stop_->isSet(); }))
                return false;
            frames_.insert(frames_.end(), std::make_move_iterator(read.begin()),
                           std::make_move_iterator(read.end()));
            return true;
        }
        case 2: {
            UniqueFd file;
            if (!openAutoPlayFile(file, UINT64_MAX))
                return false;
            noteProblem({});
            // A movie, looped into the camera through the renderer with its default switches.
            std::unique_ptr<MovieGraph> movie;
            Post post = [this](std::function<void()> task) {
                std::lock_guard lock(tasksMutex_);
                tasks_.push_back(std::move(task));
            };
            if (MovieGraph::create(pathOf(file), RendererSettings{}, post, movie).succeeded() &&
                movie->run().succeeded()) {
                movie_ = std::move(movie);
                movieFile_ = std::move(file);
            } else {
                LogEvent("Cannot play the movie " + autoPlayPath_, EventType::Warning);
            }
            return true;
        }
        default:
            return false;
    }
}

uint32_t PlayService::cameraFramePeriod() {
    // Our driver puts its frame rate into the first unused dword of the format record.
    FormatRecord record{};
    uint32_t returned = 0;
    uint32_t rate = 0;
    if (link_.isOpen() && link_.properties
                              ->get(PROPSETID_CameraLink, CAMERA_PROP_FORMAT, &record,
                                    sizeof(record), &record, sizeof(record), &returned)
                              .succeeded())
        std::memcpy(&rate, record.unused1, sizeof(rate));
    if (rate == 0)
        rate = kDefaultFrameRate;
    rate = std::min<uint32_t>(rate, 1000);
    return (1000 + rate - 1) / rate;
}

bool PlayService::followCameraFormat() {
    link_ = CameraLink();
    const bool opened = openCameraLink(link_).succeeded();
    LogEvent(opened
                 ? "The camera's frame size changed: the auto-play item is fitted to its new size"
                 : "The camera's frame size changed and it cannot be opened again",
             opened ? EventType::Information : EventType::Warning);
    return opened;
}

void PlayService::fillFrame(size_t index, const FrameDescriptor &d) {
    const SequenceFrame &frame = frames_[index];
    uint8_t *out = d.buffer();
    if (frame.width() == d.width && frame.height() == d.height) {
        std::memcpy(out, frame.pixels.data(), std::min<size_t>(d.byteCount, frame.pixels.size()));
        return;
    }
    // Another size: scaled with its aspect ratio kept and centred on black. Fitted frames are
    // kept for the next passes as long as they fit the budget; the others are fitted anew.
    if (d.width != fittedWidth_ || d.height != fittedHeight_) {
        fittedWidth_ = d.width;
        fittedHeight_ = d.height;
        fitted_.clear();
        fittedBytes_ = 0;
    }
    if (auto kept = fitted_.find(index); kept != fitted_.end()) {
        std::memcpy(out, kept->second.data(), std::min<size_t>(d.byteCount, kept->second.size()));
        return;
    }
    std::memset(out, 0, d.byteCount);
    if (frame.width() <= 0 || frame.height() <= 0 || d.width <= 0 || d.height <= 0)
        return;  // nothing to place: a black frame, never kept
    // The block is bottom-up: handed over as a top-down image read from its last row.
    const ptrdiff_t rowBytes = ptrdiff_t(frame.width()) * 3;
    InputFrame in{frame.width(), frame.height(), 3,
                  frame.pixels.data() + (frame.height() - 1) * rowBytes, -rowBytes};
    (void)fitter_->compose(in, kFitLetterbox, out, d.width, d.height, d.byteCount);
    if (fittedBytes_ + d.byteCount <= kFittedFramesBudget) {
        fitted_.emplace(index, std::vector<uint8_t>(out, out + d.byteCount));
        fittedBytes_ += d.byteCount;
    }
}

bool PlayService::playPass() {
    bool lastFailed = false;
    uint32_t period = 0;
    for (size_t i = 0; i < frames_.size(); ++i) {
        FrameDescriptor d;
        HResult got = getFrameDescriptor(link_, d);
        if (got == kCameraFormatChanged && followCameraFormat())
            got = getFrameDescriptor(link_, d);
        if (got.failed()) {
            lastFailed = true;
            if (pause(kCameraCallPause))
                return false;
            continue;
        }
        if (d.byteCount == 0) {
            if (pause(kCameraCallPause))
                return false;
            continue;
        }
        fillFrame(i, d);
        if (commitFrame(link_, d).failed()) {
            lastFailed = true;
            if (pause(kCameraCallPause))
                return false;
            continue;
        }
        lastFailed = false;
        uint32_t time = frames_[i].displayTime();
        if (time == 0) {
            // Shown until the next frame is handed over, which is no sooner than the camera's
            // next frame: a run of such frames neither spins nor keeps a stop waiting.
            if (period == 0)
                period = cameraFramePeriod();
            time = period;
        }
        if (pause(time))
            return false;
    }
    return !(lastFailed && pause(kFailedPassPause));
}

void PlayService::dropItem() {
    movie_.reset();
    movieFile_.reset();
    frames_.clear();
    fitted_.clear();
    fittedBytes_ = 0;
    fittedWidth_ = fittedHeight_ = 0;
}

void PlayService::Run(int, char **) {
    reportUnlessStopping(SERVICE_START_PENDING);
    {
        std::lock_guard lock(stopMutex_);
        stop_ = platform_.waiter.createEvent();
        reload_ = false;
        // A stop asked for before there was an event to set is not lost.
        if (stopRequested_)
            stop_->set();
    }
    if (const std::string problem = StartProblem(); !problem.empty())
        noteProblem(problem);
    if (!changePlay_) {
        sem_t *sem = sem_open((std::string("/") + kChangePlayEvent).c_str(), O_CREAT, 0644, 0);
        changePlay_ = sem == SEM_FAILED ? nullptr : sem;
    }
    if (openCameraLink(link_).failed()) {
        {
            std::lock_guard lock(stopMutex_);
            stop_.reset();
        }
        SetStatus(SERVICE_STOPPED, kStatusWaitHint, 0);
        return;
    }
    reportUnlessStopping(SERVICE_RUNNING);

    for (;;) {
        bool ended = false;
        // Waiting for a setting.
        while (!(ended = stopOrReload())) {
            if (readSetting() || (ended = pause(kSettingRetry)))
                break;
        }
        // Loading.
        while (!ended && !(ended = stopOrReload())) {
            if (LoadAutoPlayItem() || (ended = pause(kLoadRetry)))
                break;
        }
        // Playing.
        while (!ended && !(ended = stopOrReload()))
            ended = !playPass();
        if (stopRequested_ || !reload_)
            break;
        // A reload: back to reading the setting with a clean slate.
        dropItem();
        std::lock_guard lock(stopMutex_);
        reload_ = false;
        stop_->reset();
        if (stopRequested_)
            stop_->set();
    }
    dropItem();
    std::lock_guard lock(stopMutex_);
    stop_.reset();
}

}  // namespace lumaghost
