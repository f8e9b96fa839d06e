// SPDX-License-Identifier: LGPL-2.1-or-later
// A camera's frame channel with another writer of the file at work, as any process of group
// video may be, beside honest producers and consumers. Everything runs under $LUMAGHOST_ROOT:
//
//   lumaghost_hostile_channel install WIDTH HEIGHT  installs the camera "Lumaghost" of that size
//   lumaghost_hostile_channel scribble SECONDS SEED  damages the channel file, then makes it anew
//   lumaghost_hostile_channel produce SECONDS        commits through the camera link
//   lumaghost_hostile_channel consume SECONDS        reads the newest frame, opening afresh
//   lumaghost_hostile_channel pipeline SECONDS       lumarenderer feeds, lumaghostsrc captures
//
// Producers fill every frame with one byte value, so a whole frame is uniform. The scribbler
// writes only through descriptors of its own (random bytes, odd slot sequences, committed slots
// out of range, other geometry, truncation, growth, removal) and ends by making the channel
// anew. produce, consume and pipeline exit 0 when they never crashed or hung, every frame they
// got had the camera's size, and the channel worked for them again once the scribbler was done:
// their last good frame is at most kRecoverSeconds old when they end.
#include <fcntl.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "camera/camera_link.h"
#include "device/frame_channel.h"
#include "device/installed_devices.h"
#include "gst/elements.h"
#include "platform/device_tree.h"
#include "platform/registry.h"

using namespace lumaghost;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kRecoverSeconds = 1.5;
const DeviceInstance kDevice{"MEDIA", "0000"};

// Offsets in the channel file.
constexpr off_t kWidth = 16, kHeight = 20, kFps = 24, kStride = 32, kFrameBytes = 40,
                kCommitSeq = 64, kCommittedSlot = 80, kSlots = 88, kSlotSize = 32, kSlotSeq = 8,
                kHeaderSize = 4096;

ChannelFormat installedFormat() {
    HiveData data;
    if (machineHive().read(data).failed())
        return {};
    return readDeviceFormat(data, kDevice);
}

bool uniform(const uint8_t *p, size_t n) {
    for (size_t i = 1; i < n; ++i)
        if (p[i] != p[0])
            return false;
    return n > 0;
}

// Progress of an honest participant: what it did, and when it last got a whole frame through.
struct Tally {
    const char *who;
    long good = 0, failed = 0;
    Clock::time_point lastGood{};

    void success() {
        ++good;
        lastGood = Clock::now();
    }
    int verdict() const {
        const double since = std::chrono::duration<double>(Clock::now() - lastGood).count();
        std::printf("%s: %ld good, %ld failed, last good %.2f s ago\n", who, good, failed,
                    good ? since : -1.0);
        if (good == 0 || since > kRecoverSeconds) {
            std::fprintf(stderr, "%s: the channel did not work again after the damage\n", who);
            return 1;
        }
        return 0;
    }
};

int install(uint32_t width, uint32_t height) {
    RegistryHive hive = machineHive();
    HResult r = hive.modify([&](HiveData &d) {
        d.setValue(kDevice.keyPath(), kFriendlyNameValue, RegValue::string("Lumaghost"));
        d.setValue(kDevice.keyPath(), kServiceValue, RegValue::string("lumacam"));
        d.setValue(kDevice.driverKeyPath(), kFrameWidthValue, RegValue::fromDword(width));
        d.setValue(kDevice.driverKeyPath(), kFrameHeightValue, RegValue::fromDword(height));
        d.setValue(kDevice.driverKeyPath(), kFrameRateValue, RegValue::fromDword(30));
        return S_OK;
    });
    if (r.succeeded())
        r = FrameChannel::create(frameChannelPath(kDevice), installedFormat());
    if (r.failed())
        std::fprintf(stderr, "install: %s\n", r.toString().c_str());
    return r.succeeded() ? 0 : 1;
}

int scribble(double seconds, unsigned seed) {
    const std::string path = frameChannelPath(kDevice).string();
    const ChannelFormat format = installedFormat();
    const off_t full = static_cast<off_t>(kHeaderSize + (format.frameBytes() + 4095) / 4096 * 4096 *
                                                            FrameChannel::kSlotCount);
    std::mt19937_64 random(seed);
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    long actions = 0;
    while (Clock::now() < end) {
        ++actions;
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        auto put = [&](off_t at, const void *data, size_t n) {
            if (fd >= 0)
                (void)!::pwrite(fd, data, n, at);
        };
        auto put64 = [&](off_t at, uint64_t v) { put(at, &v, sizeof(v)); };
        auto put32 = [&](off_t at, uint32_t v) { put(at, &v, sizeof(v)); };
        const uint64_t value = random();
        switch (random() % 12) {
            case 0:
            case 1: {  // random bytes in the header, or anywhere
                uint8_t bytes[64];
                for (auto &b : bytes)
                    b = static_cast<uint8_t>(random());
                const off_t span = value % 2 ? kHeaderSize : full;
                put(static_cast<off_t>(random() % static_cast<uint64_t>(span)), bytes,
                    1 + random() % sizeof(bytes));
                break;
            }
            case 2:  // a slot "being written" for ever
                put64(kSlots + kSlotSize * static_cast<off_t>(value % 4) + kSlotSeq, random() | 1);
                break;
            case 3:  // a committed slot out of range, or negative
                put32(kCommittedSlot, static_cast<uint32_t>(value % 3 ? value : value % 8));
                break;
            case 4: {  // other geometry
                const off_t fields[] = {kWidth, kHeight, kFps};
                put32(fields[value % 3],
                      static_cast<uint32_t>(random() % (value % 2 ? 20000 : 64)));
                break;
            }
            case 5:
                put64(value % 2 ? kStride : kFrameBytes, random() >> (value % 60));
                break;
            case 6:  // cut short
                if (fd >= 0)
                    (void)!::ftruncate(fd, static_cast<off_t>(value % static_cast<uint64_t>(full)));
                break;
            case 7:  // grown back, or beyond
                if (fd >= 0)
                    (void)!::ftruncate(fd, value % 2 ? full : 2 * full);
                break;
            case 8:
                put64(kCommitSeq, random());
                break;
            case 9:  // put right where it is damaged, kept where it is not
                (void)FrameChannel::create(path, format);
                break;
            case 10:  // removed, and made anew
                ::unlink(path.c_str());
                if (value % 2)
                    (void)FrameChannel::create(path, format);
                break;
            default:  // nothing for a while: the others get through now and then
                std::this_thread::sleep_for(std::chrono::milliseconds(value % 20));
                break;
        }
        if (fd >= 0)
            ::close(fd);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
    }
    ::unlink(path.c_str());
    const HResult r = FrameChannel::create(path, format);
    std::printf("scribble: %ld damages, then a fresh channel (%s)\n", actions,
                r.toString().c_str());
    return r.succeeded() ? 0 : 1;
}

int produce(double seconds) {
    const ChannelFormat format = installedFormat();
    Tally tally{"produce"};
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    CameraLink link;
    uint8_t value = static_cast<uint8_t>(::getpid());
    while (Clock::now() < end) {
        if (!link.isOpen() && openCameraLink(link).failed()) {
            ++tally.failed;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        FrameDescriptor d;
        if (getFrameDescriptor(link, d).failed()) {
            ++tally.failed;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (uint32_t(d.width) != format.width || uint32_t(d.height) != format.height ||
            d.byteCount != format.frameBytes()) {
            std::fprintf(stderr, "produce: handed a %dx%d buffer of %u bytes\n", d.width, d.height,
                         d.byteCount);
            return 1;
        }
        std::memset(d.buffer(), ++value, d.byteCount);
        if (commitFrame(link, d).succeeded())
            tally.success();
        else
            ++tally.failed;
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    return tally.verdict();
}

int consume(double seconds) {
    const ChannelFormat format = installedFormat();
    Tally tally{"consume"};
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    std::unique_ptr<FrameChannel> channel;
    std::vector<uint8_t> frame;
    uint64_t seen = 0;
    while (Clock::now() < end) {
        // A damaged or re-made channel is opened afresh; its geometry is checked again then.
        if (!channel || channel->stale()) {
            channel.reset();
            if (FrameChannel::open(frameChannelPath(kDevice), channel).failed()) {
                ++tally.failed;
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            seen = 0;
        }
        // The rate is no part of the frames' geometry: a header with another rate is taken.
        if (channel->format().width != format.width || channel->format().height != format.height) {
            std::fprintf(stderr, "consume: opened a channel of another size\n");
            return 1;
        }
        if (channel->waitForCommit(seen, 50) == seen)
            continue;
        if (!channel->readLatest(frame, &seen)) {
            ++tally.failed;
            seen = channel->commitSequence();
            continue;
        }
        if (frame.size() != format.frameBytes() || frame.size() != channel->frameBytes()) {
            std::fprintf(stderr, "consume: read %zu bytes\n", frame.size());
            return 1;
        }
        if (uniform(frame.data(), frame.size()))
            tally.success();
        else
            ++tally.failed;  // scribbled over, not torn by a producer
    }
    return tally.verdict();
}

int pipeline(double seconds) {
    gst_init(nullptr, nullptr);
    if (!registerGstElements())
        return 1;
    const ChannelFormat format = installedFormat();
    const std::string size =
        "width=" + std::to_string(format.width) + ",height=" + std::to_string(format.height);
    // The renderer is fed a solid picture of the camera's size: its frames are uniform too.
    const std::string description =
        "videotestsrc is-live=true pattern=solid-color foreground-color=0xff505050 ! "
        "video/x-raw,format=BGRx," +
        size +
        ",framerate=30/1 ! lumarenderer "
        "lumaghostsrc ! video/x-raw,format=BGR," +
        size +
        " ! appsink name=sink max-buffers=2 "
        "drop=true sync=false";
    GError *error = nullptr;
    GstElement *pipe = gst_parse_launch(description.c_str(), &error);
    if (!pipe) {
        std::fprintf(stderr, "pipeline: %s\n", error ? error->message : "cannot be built");
        return 1;
    }
    GstElement *sink = gst_bin_get_by_name(GST_BIN(pipe), "sink");
    Tally tally{"pipeline"};
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    // The elements open the camera when they start, which fails while the file is no channel.
    while (gst_element_set_state(pipe, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        gst_element_set_state(pipe, GST_STATE_NULL);
        if (GstBus *bus = gst_element_get_bus(pipe)) {
            gst_bus_set_flushing(bus, TRUE);
            gst_bus_set_flushing(bus, FALSE);
            gst_object_unref(bus);
        }
        ++tally.failed;
        if (Clock::now() >= end) {
            std::fprintf(stderr, "pipeline: does not start\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    int result = 0;
    while (Clock::now() < end && result == 0) {
        GstSample *sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 200 * GST_MSECOND);
        if (!sample) {
            ++tally.failed;
            continue;
        }
        GstBuffer *buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            if (map.size != format.frameBytes()) {
                std::fprintf(stderr, "pipeline: a buffer of %zu bytes\n", map.size);
                result = 1;
            } else if (uniform(map.data, map.size)) {
                tally.success();
            }
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
    }
    // Neither element gave up on the damaged channel.
    GstBus *bus = gst_element_get_bus(pipe);
    if (GstMessage *m = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
        GError *e = nullptr;
        gst_message_parse_error(m, &e, nullptr);
        std::fprintf(stderr, "pipeline: %s\n", e ? e->message : "error");
        g_clear_error(&e);
        gst_message_unref(m);
        result = 1;
    }
    gst_object_unref(bus);
    gst_element_set_state(pipe, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(pipe);
    const int verdict = tally.verdict();
    return result ? result : verdict;
}

}  // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    const double seconds = argc > 2 ? std::strtod(argv[2], nullptr) : 0;
    if (mode == "install" && argc == 4)
        return install(uint32_t(std::atoi(argv[2])), uint32_t(std::atoi(argv[3])));
    if (mode == "scribble" && argc == 4)
        return scribble(seconds, unsigned(std::strtoul(argv[3], nullptr, 10)));
    if (mode == "produce" && argc == 3)
        return produce(seconds);
    if (mode == "consume" && argc == 3)
        return consume(seconds);
    if (mode == "pipeline" && argc == 3)
        return pipeline(seconds);
    std::fprintf(stderr,
                 "Usage: lumaghost_hostile_channel install WIDTH HEIGHT | scribble SECONDS SEED |\n"
                 "       produce SECONDS | consume SECONDS | pipeline SECONDS\n");
    return 2;
}
