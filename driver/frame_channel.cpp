#include "frame_channel.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/futex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <random>

#include "posix_file.h"

namespace lumaghost {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[8] = {'L', 'U', 'M', 'A', 'C', 'A', 'M', '1'};
constexpr uint32_t kChannelVersion = 0x00090000;
constexpr uint64_t kHeaderSize = 4096;
constexpr uint64_t kPage = 4096;
// A slot held this long by a producer that never came back may be taken over.
constexpr int64_t kLeaseNs = 5'000'000'000;

static_assert(std::atomic<uint64_t>::is_always_lock_free);
static_assert(std::atomic<uint32_t>::is_always_lock_free);

int64_t monotonicNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

int64_t realtimeNs() {
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

uint64_t roundUp(uint64_t n, uint64_t to) {
    return (n + to - 1) / to * to;
}

}  // namespace

struct SlotState {
    std::atomic<uint64_t> owner;   // token of the producer holding the slot, 0 when free
    std::atomic<uint64_t> seq;     // odd while a producer holds it
    std::atomic<int64_t> leaseNs;  // when it was handed out (CLOCK_MONOTONIC)
    uint64_t reserved;
};

struct ChannelHeader {
    char magic[8];
    uint32_t version;
    uint32_t headerSize;
    uint32_t width;
    uint32_t height;
    uint32_t fps;
    uint32_t slotCount;
    uint64_t slotStride;
    uint64_t frameBytes;
    uint32_t channelId;
    uint32_t reserved0;
    std::atomic<uint64_t> nextToken;
    std::atomic<uint64_t> commitSeq;
    std::atomic<int64_t> commitTimeNs;   // CLOCK_REALTIME of the newest commit
    std::atomic<int32_t> committedSlot;  // -1 before the first commit
    std::atomic<uint32_t> commitFutex;   // bumped with every commit; readers wait on it
    SlotState slots[FrameChannel::kSlotCount];
};
static_assert(sizeof(ChannelHeader) <= kHeaderSize);

namespace {

bool headerValid(const ChannelHeader *h, size_t fileSize) {
    if (std::memcmp(h->magic, kMagic, sizeof(kMagic)) != 0 || h->version != kChannelVersion)
        return false;
    if (h->headerSize != kHeaderSize || h->slotCount != FrameChannel::kSlotCount)
        return false;
    if (h->width == 0 || h->height == 0 || h->width > FrameChannel::kMaxDimension ||
        h->height > FrameChannel::kMaxDimension)
        return false;
    if (h->frameBytes != uint64_t{h->width} * h->height * 3 || h->slotStride < h->frameBytes)
        return false;
    return kHeaderSize + h->slotStride * h->slotCount <= fileSize;
}

}  // namespace

HResult FrameChannel::create(const fs::path &file, const ChannelFormat &format) {
    if (format.width == 0 || format.height == 0 || format.width > kMaxDimension ||
        format.height > kMaxDimension || format.fps == 0)
        return E_INVALIDARG;

    std::unique_ptr<FrameChannel> existing;
    if (open(file, existing).succeeded() && existing->format() == format)
        return S_OK;
    existing.reset();

    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    std::string tmp = file.string() + ".new-" + std::to_string(::getpid());
    UniqueFd fd(::open(tmp.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0660));
    if (!fd)
        return hresultFromWin32(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
    // The channel belongs to the video group, like other camera devices, where it may.
    if (const group *video = ::getgrnam("video"))
        (void)::fchown(fd.get(), static_cast<uid_t>(-1), video->gr_gid);
    ::fchmod(fd.get(), 0660);

    uint64_t stride = roundUp(format.frameBytes(), kPage);
    uint64_t size = kHeaderSize + stride * kSlotCount;
    if (::ftruncate(fd.get(), static_cast<off_t>(size)) < 0) {
        ::unlink(tmp.c_str());
        return E_OUTOFMEMORY;
    }
    void *map = ::mmap(nullptr, kHeaderSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (map == MAP_FAILED) {
        ::unlink(tmp.c_str());
        return E_OUTOFMEMORY;
    }
    auto *h = new (map) ChannelHeader{};
    std::memcpy(h->magic, kMagic, sizeof(kMagic));
    h->version = kChannelVersion;
    h->headerSize = kHeaderSize;
    h->width = format.width;
    h->height = format.height;
    h->fps = format.fps;
    h->slotCount = kSlotCount;
    h->slotStride = stride;
    h->frameBytes = format.frameBytes();
    std::random_device rd;
    do {
        h->channelId = rd();
    } while (h->channelId == 0);
    h->nextToken = 1;
    h->committedSlot = -1;
    ::munmap(map, kHeaderSize);

    if (::fsync(fd.get()) < 0 || ::rename(tmp.c_str(), file.c_str()) < 0) {
        ::unlink(tmp.c_str());
        return E_FAIL;
    }
    return S_OK;
}

HResult FrameChannel::open(const fs::path &file, std::unique_ptr<FrameChannel> &out) {
    UniqueFd fd(::open(file.c_str(), O_RDWR | O_CLOEXEC));
    if (!fd)
        return hresultFromWin32(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
    struct stat st;
    if (::fstat(fd.get(), &st) < 0 || static_cast<uint64_t>(st.st_size) < kHeaderSize)
        return hresultFromWin32(ERROR_INVALID_DATA);
    auto size = static_cast<size_t>(st.st_size);
    void *map = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd.get(), 0);
    if (map == MAP_FAILED)
        return E_OUTOFMEMORY;
    auto *h = static_cast<ChannelHeader *>(map);
    if (!headerValid(h, size)) {
        ::munmap(map, size);
        return hresultFromWin32(ERROR_INVALID_DATA);
    }
    std::unique_ptr<FrameChannel> channel(new FrameChannel);
    channel->file_ = file;
    channel->header_ = h;
    channel->base_ = static_cast<uint8_t *>(map);
    channel->mappedSize_ = size;
    channel->inode_ = st.st_ino;
    out = std::move(channel);
    return S_OK;
}

FrameChannel::~FrameChannel() {
    if (base_)
        ::munmap(base_, mappedSize_);
}

ChannelFormat FrameChannel::format() const {
    return {header_->width, header_->height, header_->fps};
}

uint32_t FrameChannel::channelId() const {
    return header_->channelId;
}

uint64_t FrameChannel::frameBytes() const {
    return header_->frameBytes;
}

bool FrameChannel::replaced() const {
    struct stat st;
    return ::stat(file_.c_str(), &st) != 0 || st.st_ino != inode_;
}

uint8_t *FrameChannel::slotData(uint32_t slot) const {
    if (slot >= kSlotCount)
        return nullptr;
    return base_ + kHeaderSize + header_->slotStride * slot;
}

HResult FrameChannel::acquireSlot(uint32_t &slot, uint64_t &token) {
    uint64_t t = header_->nextToken.fetch_add(1);
    int64_t now = monotonicNs();
    for (int pass = 0; pass < 2; ++pass) {
        for (uint32_t i = 0; i < kSlotCount; ++i) {
            SlotState &s = header_->slots[i];
            if (static_cast<int32_t>(i) == header_->committedSlot.load())
                continue;
            uint64_t expected = 0;
            // The second pass takes over slots whose producer went away without giving them back.
            if (pass == 1) {
                expected = s.owner.load();
                if (expected == 0 || now - s.leaseNs.load() < kLeaseNs)
                    continue;
            }
            if (!s.owner.compare_exchange_strong(expected, t))
                continue;
            // A commit may have published this slot between the check and the exchange.
            if (static_cast<int32_t>(i) == header_->committedSlot.load()) {
                s.owner.store(expected);
                continue;
            }
            if ((s.seq.load() & 1) == 0)
                s.seq.fetch_add(1);
            s.leaseNs.store(now);
            slot = i;
            token = t;
            return S_OK;
        }
    }
    return E_FAIL;
}

bool FrameChannel::ownsSlot(uint32_t slot, uint64_t token) const {
    return slot < kSlotCount && token != 0 && header_->slots[slot].owner.load() == token;
}

HResult FrameChannel::commitSlot(uint32_t slot, uint64_t token) {
    if (!ownsSlot(slot, token))
        return E_INVALIDARG;
    SlotState &s = header_->slots[slot];
    s.seq.fetch_add(1);  // even again: the frame is complete
    header_->commitTimeNs.store(realtimeNs());
    header_->committedSlot.store(static_cast<int32_t>(slot));
    header_->commitSeq.fetch_add(1);
    header_->commitFutex.fetch_add(1);
    syscall(SYS_futex, reinterpret_cast<uint32_t *>(&header_->commitFutex), FUTEX_WAKE, INT_MAX,
            nullptr, nullptr, 0);
    s.owner.store(0);
    return S_OK;
}

void FrameChannel::releaseSlot(uint32_t slot, uint64_t token) {
    if (!ownsSlot(slot, token))
        return;
    SlotState &s = header_->slots[slot];
    s.seq.fetch_add(1);
    uint64_t expected = token;
    s.owner.compare_exchange_strong(expected, 0);
}

uint64_t FrameChannel::commitSequence() const {
    return header_->commitSeq.load();
}

bool FrameChannel::readLatest(std::vector<uint8_t> &frame, uint64_t *sequence) const {
    frame.resize(header_->frameBytes);
    for (;;) {
        uint64_t commitSeq = header_->commitSeq.load();
        int32_t slot = header_->committedSlot.load();
        if (slot < 0 || slot >= static_cast<int32_t>(kSlotCount))
            return false;
        const SlotState &s = header_->slots[slot];
        uint64_t before = s.seq.load(std::memory_order_acquire);
        if (before & 1) {
            sched_yield();
            continue;
        }
        std::memcpy(frame.data(), slotData(static_cast<uint32_t>(slot)), frame.size());
        std::atomic_thread_fence(std::memory_order_acquire);
        if (s.seq.load(std::memory_order_relaxed) != before)
            continue;
        if (sequence)
            *sequence = commitSeq;
        return true;
    }
}

uint64_t FrameChannel::waitForCommit(uint64_t seen, int timeoutMs) const {
    int64_t deadline = monotonicNs() + int64_t{timeoutMs} * 1'000'000;
    for (;;) {
        uint32_t futexValue = header_->commitFutex.load();
        uint64_t now = header_->commitSeq.load();
        if (now != seen)
            return now;
        int64_t left = deadline - monotonicNs();
        if (left <= 0)
            return now;
        timespec ts{static_cast<time_t>(left / 1'000'000'000),
                    static_cast<long>(left % 1'000'000'000)};
        syscall(SYS_futex, reinterpret_cast<uint32_t *>(&header_->commitFutex), FUTEX_WAIT,
                futexValue, &ts, nullptr, 0);
    }
}

}  // namespace lumaghost
