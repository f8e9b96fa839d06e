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
#include "frames/fit_geometry.h"
#include "frames/renderer_core.h"
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

// The stored image when it is one record of the device's size, else black, saying why.
std::vector<uint8_t> firstFrame(const std::string &storedImage, const ChannelFormat &format) {
    std::vector<uint8_t> frame(format.frameBytes(), 0);
    std::string problem;
    if (!storedImage.empty() &&
        !readStoredImage(storedImage, int(format.width), int(format.height), frame, &problem))
        std::fprintf(stderr, "lumacam: the stored image %s is not shown: %s\n", storedImage.c_str(),
                     problem.c_str());
    return frame;
}

class Publisher {
public:
    Publisher(PublishedDevice device, std::unique_ptr<FrameChannel> channel,
              const DaemonOptions &options, std::shared_ptr<PipeWireConnection> pipewire)
        : instance_(device.device.instance), name_(std::move(device.device.name)) {
        // Frames are converted from where they lie, the channel's slot, by the outputs that
        // take them, the PipeWire output's on its loop thread.
        source_ = [this](const std::function<void(const uint8_t *)> &use) {
            if (committed_)
                return channel_->useLatest(use);
            use(initial_.data());
            return true;
        };
        take(std::move(channel), device.storedImage);
        const std::string size = sizeText(format_);
        std::fprintf(stderr, "lumacam: \"%s\" %s from %s\n", name_.c_str(), size.c_str(),
                     channel_->file().c_str());

        if (options.v4l2) {
            v4l2Wanted_ = true;
            openLoopback_ = options.openLoopback;
            devDirectory_ = options.devDirectory;
            attachLoopback();
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

    /// The device's channel was made again, perhaps at another format: the outputs go on with
    /// it. The PipeWire node offers the new format to its consumers; the loopback node keeps
    /// its format, fed scaled frames, until no reader holds it.
    void follow(std::unique_ptr<FrameChannel> channel, const std::string &storedImage) {
        const ChannelFormat before = format_;
        const ChannelFormat after = channel->format();
        // The PipeWire loop may be reading the old channel: it is swapped under the loop's lock.
        auto swap = [&] { take(std::move(channel), storedImage); };
        if (pw_)
            pw_->setFormat(int(after.width), int(after.height), int(after.fps), swap);
        else
            swap();
        if (after == before)
            return;
        std::fprintf(stderr, "lumacam: \"%s\" is now %s@%u\n", name_.c_str(),
                     sizeText(after).c_str(), after.fps);
        if (v4l2_ && !v4l2Matches())
            retryLoopbackFormat();
    }

    const DeviceInstance &instance() const { return instance_; }
    /// The channel was re-created or damaged: the device is published afresh.
    bool gone() const { return channel_->stale(); }
    Clock::time_point next() const { return next_; }

    /// Looks for the loopback node again while none takes frames: the module may be loaded, or
    /// the node made, after the daemon started, and a node that failed may work again.
    void lookAgain() {
        if (v4l2Wanted_ && !v4l2_)
            attachLoopback();
        else if (v4l2_ && !v4l2Matches())
            retryLoopbackFormat();
    }

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
            std::string why;
            HResult written = S_OK;
            if (v4l2Matches()) {
                const FrameLayout layout =
                    v4l2_->format() == OutputFormat::Yuyv ? FrameLayout::Yuyv : FrameLayout::I420;
                const SharedBytes data = converted_->get(layout, generation_, source_);
                if (data)
                    written = v4l2_->writeConverted(data->data(), &why);
            } else {
                written = writeScaled(&why);
            }
            if (written.failed()) {
                std::fprintf(stderr, "lumacam: \"%s\": %s stopped taking frames: %s\n",
                             name_.c_str(), v4l2Node_.c_str(), why.c_str());
                v4l2_.reset();
                reported_ = why;
            }
        }
        if (pw_)
            pw_->publish(generation_, *converted_, source_);
        next_ += period_;
        if (next_ < Clock::now())
            next_ = Clock::now() + period_;  // fell behind: skip, don't burst
    }

private:
    // Opens the node labelled with the device's name and starts feeding it. Each outcome is
    // said once: the log does not repeat a failure at every look.
    void attachLoopback() {
        const std::string size = sizeText(format_);
        std::unique_ptr<V4l2Device> opened;
        std::string node, why;
        if (openLoopback_) {
            node = "the loopback stand-in";
            opened = openLoopback_(name_);
        } else {
            node = findLoopbackNode(name_, devDirectory_);
            if (node.empty()) {
                report("no v4l2loopback node is labelled \"" + name_ + "\" yet");
                return;
            }
            if (int e = openV4l2Device(node, opened)) {
                report("cannot use " + node + ": " + describeV4l2Error(e));
                return;
            }
        }
        HResult r = V4l2Output::open(std::move(opened), int(format_.width), int(format_.height),
                                     int(format_.fps), OutputFormat::Yuyv, v4l2_, &why);
        if (r.failed()) {
            report("cannot use " + node + ": " + why);
            return;
        }
        v4l2Format_ = format_;
        v4l2Node_ = node;
        reported_.clear();
        std::fprintf(stderr, "lumacam: \"%s\" %s on %s\n", name_.c_str(), size.c_str(),
                     node.c_str());
    }

    // Takes the channel and everything that depends on its format.
    void take(std::unique_ptr<FrameChannel> channel, const std::string &storedImage) {
        channel_ = std::move(channel);
        format_ = channel_->format();
        converted_ = std::make_unique<ConvertedFrames>(int(format_.width), int(format_.height));
        // A stored image of another size is not shown: black is.
        initial_ = firstFrame(storedImage, format_);
        seen_ = channel_->commitSequence();
        uint64_t sequence = 0;
        committed_ = channel_->useLatest([](const uint8_t *) {}, &sequence);
        seen_ = committed_ ? sequence : seen_;
        ++generation_;
        period_ = std::chrono::nanoseconds(1'000'000'000 / format_.fps);
        next_ = Clock::now();
    }

    bool v4l2Matches() const { return v4l2Format_ == format_; }

    // The frame on show fitted into the format the loopback node keeps, once per frame.
    HResult writeScaled(std::string *why) {
        if (scaledGeneration_ != generation_ || scaled_.empty()) {
            scaled_.assign(v4l2Format_.frameBytes(), 0);
            const ptrdiff_t rowBytes = ptrdiff_t(format_.width) * 3;
            (void)source_([&](const uint8_t *frame) {
                // The bottom-up frame is handed over as a top-down image read from its last row.
                InputFrame in{int(format_.width), int(format_.height), 3,
                              frame + (ptrdiff_t(format_.height) - 1) * rowBytes, -rowBytes};
                (void)scaler_.compose(in, kFitLetterbox, scaled_.data(), int(v4l2Format_.width),
                                      int(v4l2Format_.height), v4l2Format_.frameBytes());
            });
            scaledGeneration_ = generation_;
        }
        return v4l2_->writeFrame(scaled_.data(), why);
    }

    // The loopback node is opened again at the device's format; while a reader holds the old
    // one the node keeps it, and is fed that again.
    void retryLoopbackFormat() {
        const ChannelFormat kept = v4l2Format_;
        v4l2_.reset();
        attachLoopback();
        if (v4l2_)
            return;
        const ChannelFormat wanted = format_;
        format_ = kept;
        attachLoopback();
        format_ = wanted;
        if (v4l2_)
            report("a reader holds " + v4l2Node_ + " at " + sizeText(kept) +
                   ": it is fed the camera scaled to that until the reader goes");
    }

    static std::string sizeText(const ChannelFormat &f) {
        return std::to_string(f.width) + "x" + std::to_string(f.height);
    }

    void report(const std::string &text) {
        if (text == reported_)
            return;
        reported_ = text;
        std::fprintf(stderr, "lumacam: \"%s\": %s\n", name_.c_str(), text.c_str());
    }

    DeviceInstance instance_;
    std::string name_;
    std::unique_ptr<FrameChannel> channel_;
    ChannelFormat format_;
    std::unique_ptr<ConvertedFrames> converted_;
    std::vector<uint8_t> initial_;        // shown until the first commit
    std::atomic<bool> committed_{false};  // frames come from the channel
    FrameSource source_;
    uint64_t generation_ = 0;  // of the frame on show
    uint64_t seen_ = 0;
    std::chrono::nanoseconds period_{};
    Clock::time_point next_;
    bool v4l2Wanted_ = false;
    std::function<std::unique_ptr<V4l2Device>(const std::string &)> openLoopback_;
    std::string devDirectory_;
    std::unique_ptr<V4l2Output> v4l2_;
    ChannelFormat v4l2Format_;  // what v4l2_ takes: the device's, or the one a reader holds
    std::string v4l2Node_;      // where v4l2_ writes
    RendererCore scaler_;       // fits frames into v4l2Format_ while that is another
    std::vector<uint8_t> scaled_;
    uint64_t scaledGeneration_ = 0;
    std::string reported_;  // the loopback outcome said last
    std::unique_ptr<PipeWireOutput> pw_;
};

}  // namespace

int runDaemon(const DaemonOptions &options) {
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // With v4l2loopback as the only output and no such module yet, that is said once (the system
    // unit's journal); the nodes are looked for all the same, so that a module loaded later
    // (DKMS finishing after boot) is fed, and the sessions' PipeWire outputs show the cameras.
    std::error_code ec;
    if (options.v4l2 && !options.pipewire &&
        !std::filesystem::exists(machinePath("/sys/module/v4l2loopback"), ec)) {
        std::fprintf(stderr,
                     "lumacam: v4l2loopback is not loaded: the cameras are shown through "
                     "PipeWire only\n");
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
                    const bool known = it != publishers.end();
                    if (known && !it->second->gone()) {
                        it->second->lookAgain();
                        continue;
                    }
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
                    if (known)
                        it->second->follow(std::move(channel), device.storedImage);
                    else
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
