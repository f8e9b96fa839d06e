#include "lumacam_daemon.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "device_tree.h"
#include "frame_channel.h"
#include "lumacam_device.h"
#include "paths.h"
#include "pipewire_output.h"
#include "posix_file.h"
#include "registry.h"
#include "sequence_file.h"
#include "system_devices.h"
#include "v4l2_output.h"

namespace lumaghost {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> stopRequested{false};

void onStopSignal(int) {
    stopRequested = true;
}

struct InstalledDevice {
    DeviceInstance instance;
    std::string name;
    std::string storedImage;  // the LastLgImage value
};

std::vector<InstalledDevice> installedDevices() {
    RegistryHive hive = machineHive();
    HiveData data;
    std::vector<InstalledDevice> out;
    if (hive.read(data).failed())
        return out;
    for (const auto &d : DeviceTree::instancesOf(data)) {
        const RegValue *service = data.value(d.keyPath(), kServiceValue);
        const RegValue *name = data.value(d.keyPath(), kFriendlyNameValue);
        if (!service || service->type != RegType::String || service->text != kLumacamService ||
            !name || name->type != RegType::String)
            continue;
        const RegValue *stored = data.value(d.driverKeyPath(), kLastImageValue);
        out.push_back(
            {d, name->text, stored && stored->type == RegType::String ? stored->text : ""});
    }
    return out;
}

// The stored image when it is one record of the device's size, else black.
std::vector<uint8_t> firstFrame(const std::string &storedImage, const ChannelFormat &format) {
    std::vector<uint8_t> frame(format.frameBytes(), 0);
    std::string bytes;
    if (storedImage.empty() || readWholeFile(storedImage, bytes) != 0 ||
        bytes.size() != kImageHeaderSize + frame.size() || bytes.compare(0, 4, "QmLg") != 0)
        return frame;
    int32_t w, h;
    std::memcpy(&w, bytes.data() + 4, 4);
    std::memcpy(&h, bytes.data() + 8, 4);
    if (uint32_t(w) == format.width && uint32_t(h) == format.height)
        std::memcpy(frame.data(), bytes.data() + kImageHeaderSize, frame.size());
    return frame;
}

class Publisher {
public:
    Publisher(InstalledDevice device, std::unique_ptr<FrameChannel> channel,
              const DaemonOptions &options, std::shared_ptr<PipeWireConnection> pipewire)
        : device_(std::move(device)), channel_(std::move(channel)), format_(channel_->format()) {
        frame_ = firstFrame(device_.storedImage, format_);
        seen_ = channel_->commitSequence();
        channel_->readLatest(frame_, &seen_);
        period_ = std::chrono::nanoseconds(1'000'000'000 / format_.fps);
        next_ = Clock::now();
        const std::string size =
            std::to_string(format_.width) + "x" + std::to_string(format_.height);

        if (options.v4l2) {
            const std::string node = findLoopbackNode(device_.name, options.devDirectory);
            if (!node.empty()) {
                HResult r =
                    V4l2Output::open(openVideoNode(node), int(format_.width), int(format_.height),
                                     int(format_.fps), OutputFormat::Yuyv, v4l2_);
                std::fprintf(stderr,
                             r.succeeded() ? "lumacam: \"%s\" %s on %s\n"
                                           : "lumacam: \"%s\" %s: cannot use %s\n",
                             device_.name.c_str(), size.c_str(), node.c_str());
            }
        }
        if (pipewire) {
            const std::string nodeName =
                "lumaghost." + device_.instance.enumerator + "_" + device_.instance.number;
            pw_ = PipeWireOutput::create(pipewire, nodeName, device_.name, int(format_.width),
                                         int(format_.height), int(format_.fps));
            std::fprintf(stderr, "lumacam: \"%s\" %s %s PipeWire node %s\n", device_.name.c_str(),
                         size.c_str(), pw_ ? "on" : "failed on", nodeName.c_str());
        }
    }

    const DeviceInstance &instance() const { return device_.instance; }
    bool gone() const { return channel_->replaced(); }
    Clock::time_point next() const { return next_; }

    void tick() {
        if (channel_->commitSequence() != seen_)
            channel_->readLatest(frame_, &seen_);
        if (v4l2_ && v4l2_->writeFrame(frame_.data()).failed()) {
            std::fprintf(stderr, "lumacam: \"%s\": the loopback node stopped taking frames\n",
                         device_.name.c_str());
            v4l2_.reset();
        }
        if (pw_)
            pw_->publish(frame_.data());
        next_ += period_;
        if (next_ < Clock::now())
            next_ = Clock::now() + period_;  // fell behind: skip, don't burst
    }

private:
    InstalledDevice device_;
    std::unique_ptr<FrameChannel> channel_;
    ChannelFormat format_;
    std::vector<uint8_t> frame_;
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

    std::shared_ptr<PipeWireConnection> pipewire;
    if (options.pipewire) {
        pipewire = connectPipeWire();
        if (!pipewire)
            std::fprintf(stderr, "lumacam: No PipeWire daemon; publishing without PipeWire\n");
    }

    std::map<std::string, std::unique_ptr<Publisher>> publishers;  // by instance ID
    const auto started = Clock::now();
    auto nextScan = started;
    while (!stopRequested) {
        const auto now = Clock::now();
        if (options.seconds > 0 && now - started >= std::chrono::duration<double>(options.seconds))
            break;
        // Devices installed, removed or re-created since the last look.
        if (now >= nextScan) {
            nextScan = now + std::chrono::seconds(2);
            std::map<std::string, bool> present;
            for (auto &device : installedDevices()) {
                const std::string id = device.instance.instanceId();
                present[id] = true;
                auto it = publishers.find(id);
                if (it != publishers.end() && !it->second->gone())
                    continue;
                std::unique_ptr<FrameChannel> channel;
                if (FrameChannel::open(frameChannelPath(device.instance), channel).failed()) {
                    publishers.erase(id);
                    continue;
                }
                publishers[id] = std::make_unique<Publisher>(std::move(device), std::move(channel),
                                                             options, pipewire);
            }
            for (auto it = publishers.begin(); it != publishers.end();)
                it = present.count(it->first) ? std::next(it) : publishers.erase(it);
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
