// SPDX-License-Identifier: LGPL-2.1-or-later
#include "programs/lumacam/lumacam_daemon.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "device/frame_channel.h"
#include "device/installed_devices.h"
#include "media/sequence_file.h"
#include "platform/device_tree.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "programs/lumacam/pipewire_output.h"
#include "programs/lumacam/v4l2_output.h"

namespace lumaghost {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> stopRequested{false};

void onStopSignal(int) {
    stopRequested = true;
}

struct PublishedDevice {
    InstalledDevice device;
    std::string storedImage;  // the LastLgImage value
};

// The installed devices that have a name to publish under; false, with the reason naming the
// file and line, when the machine hive cannot be read.
bool publishableDevices(std::vector<PublishedDevice> &out, std::string &error) {
    RegistryHive hive = machineHive();
    HiveData data;
    out.clear();
    if (hive.read(data, &error).failed())
        return false;
    for (auto &d : installedDevicesOf(data)) {
        if (d.nameResult.failed())
            continue;
        const RegValue *stored = data.value(d.instance.driverKeyPath(), kLastImageValue);
        std::string image = stored && stored->type == RegType::String ? stored->text : "";
        out.push_back({std::move(d), std::move(image)});
    }
    return true;
}

// The stored image when it is one record of the device's size, else black.
std::vector<uint8_t> firstFrame(const std::string &storedImage, const ChannelFormat &format) {
    std::vector<uint8_t> frame(format.frameBytes(), 0);
    if (!storedImage.empty())
        (void)ReadStoredImage(storedImage, int(format.width), int(format.height), frame);
    return frame;
}

class Publisher {
public:
    Publisher(PublishedDevice device, std::unique_ptr<FrameChannel> channel,
              const DaemonOptions &options, std::shared_ptr<PipeWireConnection> pipewire)
        : instance_(device.device.instance),
          name_(std::move(device.device.name)),
          channel_(std::move(channel)),
          format_(channel_->format()),
          converted_(int(format_.width), int(format_.height)) {
        initial_ = firstFrame(device.storedImage, format_);
        seen_ = channel_->commitSequence();
        committed_ = channel_->useLatest([](const uint8_t *) {}, &seen_);
        // Frames are converted from where they lie, the channel's slot, by the outputs that
        // take them, the PipeWire output's on its loop thread.
        source_ = [this](const std::function<void(const uint8_t *)> &use) {
            if (committed_)
                return channel_->useLatest(use);
            use(initial_.data());
            return true;
        };
        period_ = std::chrono::nanoseconds(1'000'000'000 / format_.fps);
        next_ = Clock::now();
        const std::string size =
            std::to_string(format_.width) + "x" + std::to_string(format_.height);
        std::fprintf(stderr, "lumacam: \"%s\" %s from %s\n", name_.c_str(), size.c_str(),
                     channel_->file().c_str());

        if (options.v4l2) {
            std::string node;
            std::unique_ptr<VideoNode> opened;
            if (options.openLoopback) {
                node = "the loopback stand-in";
                opened = options.openLoopback(name_);
            } else {
                node = findLoopbackNode(name_, options.devDirectory);
                if (!node.empty())
                    opened = openVideoNode(node);
            }
            if (!node.empty()) {
                HResult r =
                    V4l2Output::open(std::move(opened), int(format_.width), int(format_.height),
                                     int(format_.fps), OutputFormat::Yuyv, v4l2_);
                std::fprintf(stderr,
                             r.succeeded() ? "lumacam: \"%s\" %s on %s\n"
                                           : "lumacam: \"%s\" %s: cannot use %s\n",
                             name_.c_str(), size.c_str(), node.c_str());
            }
        }
        if (pipewire) {
            const std::string nodeName =
                "lumaghost." + instance_.enumerator + "_" + instance_.number;
            pw_ = PipeWireOutput::create(pipewire, nodeName, name_, int(format_.width),
                                         int(format_.height), int(format_.fps));
            std::fprintf(stderr, "lumacam: \"%s\" %s %s PipeWire node %s\n", name_.c_str(),
                         size.c_str(), pw_ ? "on" : "failed on", nodeName.c_str());
        }
    }

    const DeviceInstance &instance() const { return instance_; }
    /// The channel was re-created or damaged: the device is published afresh.
    bool gone() const { return channel_->stale(); }
    Clock::time_point next() const { return next_; }

    void tick() {
        // A new commit is a new frame, converted once for the outputs that take it, when they
        // take it. A frame that cannot be read leaves the last one on show until the next.
        const uint64_t sequence = channel_->commitSequence();
        if (sequence != seen_) {
            seen_ = sequence;
            committed_ = true;
            ++generation_;
        }
        if (v4l2_) {
            const FrameLayout layout =
                v4l2_->format() == OutputFormat::Yuyv ? FrameLayout::Yuyv : FrameLayout::I420;
            const SharedBytes data = converted_.get(layout, generation_, source_);
            if (data && v4l2_->writeConverted(data->data()).failed()) {
                std::fprintf(stderr, "lumacam: \"%s\": the loopback node stopped taking frames\n",
                             name_.c_str());
                v4l2_.reset();
            }
        }
        if (pw_)
            pw_->publish(generation_, converted_, source_);
        next_ += period_;
        if (next_ < Clock::now())
            next_ = Clock::now() + period_;  // fell behind: skip, don't burst
    }

private:
    DeviceInstance instance_;
    std::string name_;
    std::unique_ptr<FrameChannel> channel_;
    ChannelFormat format_;
    ConvertedFrames converted_;
    std::vector<uint8_t> initial_;        // shown until the first commit
    std::atomic<bool> committed_{false};  // frames come from the channel
    FrameSource source_;
    uint64_t generation_ = 0;  // of the frame on show
    uint64_t seen_ = 0;
    std::chrono::nanoseconds period_{};
    Clock::time_point next_;
    std::unique_ptr<V4l2Output> v4l2_;
    std::unique_ptr<PipeWireOutput> pw_;
};

}  // namespace

int runDaemon(const DaemonOptions &options) {
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // With v4l2loopback as the only output and no such module, there is nothing to do: said once
    // (the system unit's journal), and the PipeWire outputs of the sessions show the cameras.
    std::error_code ec;
    if (options.v4l2 && !options.pipewire &&
        !std::filesystem::exists(machinePath("/sys/module/v4l2loopback"), ec)) {
        std::fprintf(stderr,
                     "lumacam: v4l2loopback is not loaded: the cameras are shown through "
                     "PipeWire only\n");
        return 0;
    }

    std::shared_ptr<PipeWireConnection> pipewire;
    if (options.pipewire) {
        pipewire = connectPipeWire();
        if (!pipewire)
            std::fprintf(stderr, "lumacam: No PipeWire daemon; publishing without PipeWire\n");
    }

    std::map<std::string, std::unique_ptr<Publisher>> publishers;  // by instance ID
    std::vector<PublishedDevice> devices;
    std::string error, lastError;
    std::map<std::string, int32_t> unopened;  // the failure last reported, by instance ID
    if (!publishableDevices(devices, error)) {
        std::fprintf(stderr, "lumacam: %s\n", error.c_str());
        return 1;
    }
    const auto started = Clock::now();
    auto nextScan = started;
    while (!stopRequested) {
        const auto now = Clock::now();
        if (options.seconds > 0 && now - started >= std::chrono::duration<double>(options.seconds))
            break;
        // Devices installed, removed or re-created since the last look. A hive that cannot be
        // read is reported once and leaves the devices as they are.
        if (now >= nextScan) {
            nextScan = now + std::chrono::seconds(2);
            if (!publishableDevices(devices, error)) {
                if (error != lastError)
                    std::fprintf(stderr, "lumacam: %s\n", error.c_str());
                lastError = error;
                devices.clear();
            } else {
                lastError.clear();
                std::map<std::string, bool> present;
                for (auto &device : devices) {
                    const std::string id = device.device.instance.instanceId();
                    present[id] = true;
                    auto it = publishers.find(id);
                    if (it != publishers.end() && !it->second->gone())
                        continue;
                    // A channel that a reboot removed is made again from the device's
                    // parameters.
                    std::unique_ptr<FrameChannel> channel;
                    const std::filesystem::path file = frameChannelPath(device.device.instance);
                    HResult r = FrameChannel::openOrCreate(file, device.device.format, channel);
                    if (r.failed()) {
                        // Said once, not at every look.
                        if (std::exchange(unopened[id], r.code()) != r.code())
                            std::fprintf(stderr, "lumacam: \"%s\": Cannot open %s (%s)\n",
                                         device.device.name.c_str(), file.c_str(),
                                         r.toString().c_str());
                        publishers.erase(id);
                        continue;
                    }
                    unopened.erase(id);
                    publishers[id] = std::make_unique<Publisher>(
                        std::move(device), std::move(channel), options, pipewire);
                }
                for (auto it = publishers.begin(); it != publishers.end();)
                    it = present.count(it->first) ? std::next(it) : publishers.erase(it);
            }
        }

        auto wake = nextScan;
        for (auto &[id, p] : publishers) {
            if (p->next() <= Clock::now())
                p->tick();
            wake = std::min(wake, p->next());
        }
        const auto pause =
            std::min<Clock::duration>(wake - Clock::now(), std::chrono::milliseconds(50));
        if (pause > Clock::duration::zero())
            std::this_thread::sleep_for(pause);
    }
    publishers.clear();
    return 0;
}

}  // namespace lumaghost
