// SPDX-License-Identifier: LGPL-2.1-or-later
#include "device/frame_channel.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <mutex>
#include <random>
#include <string>

#include "platform/posix_file.h"

namespace lumaghost {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[8] = {'L', 'U', 'M', 'A', 'C', 'A', 'M', '1'};
constexpr uint32_t kChannelVersion = 0x00090000;
constexpr uint64_t kHeaderSize = 4096;
constexpr uint64_t kPage = 4096;
constexpr mode_t kChannelMode = 0660;
// The channel directory: group video may add channels, which then belong to group video.
constexpr mode_t kDirectoryMode = 02775;
// A slot held this long by a producer that never came back may be taken over.
constexpr int64_t kLeaseNs = 5'000'000'000;

static_assert(std::atomic<uint64_t>::is_always_lock_free);
static_assert(std::atomic<uint32_t>::is_always_lock_free);
static_assert(std::atomic<uintptr_t>::is_always_lock_free);

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

constexpr uint64_t roundUp(uint64_t n, uint64_t to) {
    return (n + to - 1) / to * to;
}

bool formatValid(const ChannelFormat &f) {
    return f.width > 0 && f.height > 0 && f.fps > 0 && f.width <= FrameChannel::kMaxDimension &&
           f.height <= FrameChannel::kMaxDimension && f.fps <= FrameChannel::kMaxDimension;
}

uint64_t strideOf(const ChannelFormat &f) {
    return roundUp(f.frameBytes(), kPage);
}

// The channel file belongs to the video group, like other camera devices, where it may.
void setChannelPermissions(int fd) {
    setGroup(fd, videoGroupId());
    (void)::fchmod(fd, kChannelMode);
}

void ensureChannelDirectory(const fs::path &dir) {
    std::error_code ec;
    if (!fs::create_directories(dir, ec))
        return;
    setGroup(dir, videoGroupId());
    (void)::chmod(dir.c_str(), kDirectoryMode);
}

// The SIGBUS guard. A channel file that shrinks under a mapping (any writer of the file may
// truncate it) makes every access past its new end raise SIGBUS, in readers and producers alike,
// whose code may be anywhere. The handler looks the faulting address up among this process's
// channel mappings; when it lies in one, it maps private zero pages over the whole mapping,
// marks it broken and returns: the faulting access and all later ones complete on memory of no
// consequence, and the channel reports itself broken at its next operation. Nothing jumps out
// of the interrupted code, so no destructor or lock is skipped. Faults anywhere else, and
// SIGBUS sent by another process, go to the disposition that was in place before.
struct GuardedMapping {
    std::atomic<uint32_t> version{0};  // odd while the entry changes
    std::atomic<uintptr_t> base{0};    // 0 for a free entry
    std::atomic<size_t> size{0};
    std::atomic<bool> broken{false};
};
constexpr size_t kMaxMappings = 1024;
GuardedMapping guardedMappings[kMaxMappings];
std::mutex guardMutex;  // serialises changes of entries; the handler never takes it
struct sigaction previousSigbus;

void forwardSigbus(int sig, siginfo_t *info, void *context) {
    if (previousSigbus.sa_flags & SA_SIGINFO) {
        previousSigbus.sa_sigaction(sig, info, context);
        return;
    }
    if (previousSigbus.sa_handler != SIG_DFL && previousSigbus.sa_handler != SIG_IGN) {
        previousSigbus.sa_handler(sig);
        return;
    }
    // The default action: it happens when the handler returns.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(SIGBUS, &dfl, nullptr);
    ::raise(SIGBUS);
}

void onSigbus(int sig, siginfo_t *info, void *context) {
    const int savedErrno = errno;
    if (info && info->si_code > 0) {  // a fault, not a signal someone sent
        const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
        for (GuardedMapping &m : guardedMappings) {
            const uint32_t before = m.version.load(std::memory_order_acquire);
            const uintptr_t base = m.base.load(std::memory_order_relaxed);
            const size_t size = m.size.load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            // An entry that is changing belongs to a mapping nobody accesses yet or any more.
            if ((before & 1) || base == 0 || m.version.load(std::memory_order_relaxed) != before)
                continue;
            if (address - base >= size)
                continue;
            // The raw system call: no interposed mmap runs inside a signal handler.
            const long mapped = ::syscall(SYS_mmap, base, size, PROT_READ | PROT_WRITE,
                                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            if (mapped == -1)
                break;
            m.broken.store(true, std::memory_order_release);
            errno = savedErrno;
            return;
        }
    }
    errno = savedErrno;
    forwardSigbus(sig, info, context);
}

void installSigbusGuard() {
    ::sigaction(SIGBUS, nullptr, &previousSigbus);
    struct sigaction sa {};
    sa.sa_sigaction = onSigbus;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGBUS, &sa, nullptr);
}

// Registers a mapping with the guard; the entry's index, or -1 when every entry is taken.
int guardMapping(void *base, size_t size) {
    static std::once_flag installed;
    std::call_once(installed, installSigbusGuard);
    std::lock_guard lock(guardMutex);
    for (size_t i = 0; i < kMaxMappings; ++i) {
        GuardedMapping &m = guardedMappings[i];
        if (m.base.load(std::memory_order_relaxed) != 0)
            continue;
        m.version.fetch_add(1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        m.broken.store(false, std::memory_order_relaxed);
        m.size.store(size, std::memory_order_relaxed);
        m.base.store(reinterpret_cast<uintptr_t>(base), std::memory_order_relaxed);
        m.version.fetch_add(1, std::memory_order_release);
        return static_cast<int>(i);
    }
    return -1;
}

void unguardMapping(int index) {
    std::lock_guard lock(guardMutex);
    GuardedMapping &m = guardedMappings[index];
    m.version.fetch_add(1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    m.base.store(0, std::memory_order_relaxed);
    m.size.store(0, std::memory_order_relaxed);
    m.broken.store(false, std::memory_order_relaxed);
    m.version.fetch_add(1, std::memory_order_release);
}

}  // namespace

// The fixed part of the header: written when the channel is created, never changed after.
struct HeaderFields {
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
};

struct SlotState {
    std::atomic<uint64_t> owner;   // token of the producer holding the slot, 0 when free
    std::atomic<uint64_t> seq;     // odd while a producer holds it
    std::atomic<int64_t> leaseNs;  // when it was handed out (CLOCK_MONOTONIC)
    uint64_t reserved;
};

struct ChannelHeader {
    HeaderFields fields;
    std::atomic<uint64_t> nextToken;
    std::atomic<uint64_t> commitSeq;
    std::atomic<int64_t> commitTimeNs;   // CLOCK_REALTIME of the newest commit
    std::atomic<int32_t> committedSlot;  // -1 before the first commit
    std::atomic<uint32_t> commitFutex;   // bumped with every commit; readers wait on it
    SlotState slots[FrameChannel::kSlotCount];
};
static_assert(sizeof(ChannelHeader) <= kHeaderSize);
static_assert(sizeof(HeaderFields) == 56);

namespace {

// The format and slot stride a header describes, when it is a channel's header and its slots fit
// in `fileSize` bytes.
bool headerGeometry(const HeaderFields &h, uint64_t fileSize, ChannelFormat &format,
                    uint64_t &stride) {
    if (std::memcmp(h.magic, kMagic, sizeof(kMagic)) != 0 || h.version != kChannelVersion)
        return false;
    if (h.headerSize != kHeaderSize || h.slotCount != FrameChannel::kSlotCount)
        return false;
    const ChannelFormat f{h.width, h.height, h.fps};
    if (!formatValid(f) || h.frameBytes != f.frameBytes() || h.slotStride != strideOf(f))
        return false;
    if (kHeaderSize + h.slotStride * FrameChannel::kSlotCount > fileSize)
        return false;
    format = f;
    stride = h.slotStride;
    return true;
}

// Writes a complete new channel of `format` to a fresh temporary file beside `file`.
HResult writeNewChannel(const fs::path &file, const ChannelFormat &format, std::string &tmp) {
    ensureChannelDirectory(file.parent_path());
    tmp = file.string() + ".new-XXXXXX";
    UniqueFd fd(::mkostemp(tmp.data(), O_CLOEXEC));
    if (!fd)
        return hresultFromErrno(errno);
    setChannelPermissions(fd.get());

    const uint64_t stride = strideOf(format);
    const uint64_t size = kHeaderSize + stride * FrameChannel::kSlotCount;
    ChannelHeader h{};
    std::memcpy(h.fields.magic, kMagic, sizeof(kMagic));
    h.fields.version = kChannelVersion;
    h.fields.headerSize = kHeaderSize;
    h.fields.width = format.width;
    h.fields.height = format.height;
    h.fields.fps = format.fps;
    h.fields.slotCount = FrameChannel::kSlotCount;
    h.fields.slotStride = stride;
    h.fields.frameBytes = format.frameBytes();
    std::random_device rd;
    do {
        h.fields.channelId = rd();
    } while (h.fields.channelId == 0);
    h.nextToken = 1;
    h.committedSlot = -1;

    // Written through the descriptor: nobody else's truncation can fault this process here.
    int error = 0;
    if (::ftruncate(fd.get(), static_cast<off_t>(size)) < 0 ||
        ::pwrite(fd.get(), &h, sizeof(h), 0) != static_cast<ssize_t>(sizeof(h)) ||
        ::fsync(fd.get()) < 0)
        error = errno ? errno : EIO;
    if (error) {
        ::unlink(tmp.c_str());
        return hresultFromErrno(error);
    }
    return S_OK;
}

}  // namespace

HResult FrameChannel::create(const fs::path &file, const ChannelFormat &format) {
    if (!formatValid(format))
        return E_INVALIDARG;

    std::unique_ptr<FrameChannel> existing;
    if (open(file, existing).succeeded() && existing->format() == format) {
        // Kept with its frames; an update puts its permissions right.
        UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        struct stat st;
        if (fd && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode))
            setChannelPermissions(fd.get());
        return S_OK;
    }
    existing.reset();

    std::string tmp;
    HResult r = writeNewChannel(file, format, tmp);
    if (r.failed())
        return r;
    if (::rename(tmp.c_str(), file.c_str()) < 0) {
        r = hresultFromErrno(errno);
        ::unlink(tmp.c_str());
        return r;
    }
    return S_OK;
}

HResult FrameChannel::openOrCreate(const fs::path &file, const ChannelFormat &format,
                                   std::unique_ptr<FrameChannel> &out) {
    HResult r = open(file, out);
    if (r != hresultFromWin32(ERROR_FILE_NOT_FOUND))
        return r;
    if (!formatValid(format))
        return E_INVALIDARG;
    // A channel removed again between the link and the open is made once more.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string tmp;
        r = writeNewChannel(file, format, tmp);
        if (r.failed())
            return r;
        // link() never replaces a file: of several creators one wins and the others open the
        // winner's channel, frames and all.
        const int error = ::link(tmp.c_str(), file.c_str()) == 0 ? 0 : errno;
        ::unlink(tmp.c_str());
        if (error != 0 && error != EEXIST)
            return hresultFromErrno(error);
        r = open(file, out);
        if (r != hresultFromWin32(ERROR_FILE_NOT_FOUND))
            return r;
    }
    return r;
}

HResult FrameChannel::open(const fs::path &file, std::unique_ptr<FrameChannel> &out) {
    UniqueFd fd(::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd)
        return hresultFromErrno(errno);
    struct stat st;
    if (::fstat(fd.get(), &st) < 0 || !S_ISREG(st.st_mode))
        return hresultFromWin32(ERROR_INVALID_DATA);
    // The geometry is read once, through the descriptor, and checked against the file's size;
    // nothing the mapping holds later changes it.
    HeaderFields fields;
    ChannelFormat format;
    uint64_t stride = 0;
    if (::pread(fd.get(), &fields, sizeof(fields), 0) != static_cast<ssize_t>(sizeof(fields)) ||
        !headerGeometry(fields, static_cast<uint64_t>(st.st_size), format, stride))
        return hresultFromWin32(ERROR_INVALID_DATA);

    // The header and slots, then one page nobody may touch: a stray access past the slots
    // faults at once instead of reaching whatever lies beyond.
    const size_t used = static_cast<size_t>(kHeaderSize + stride * kSlotCount);
    const size_t pageSize = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const size_t mappedSize = static_cast<size_t>(roundUp(used, pageSize)) + pageSize;
    void *area =
        ::mmap(nullptr, mappedSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (area == MAP_FAILED)
        return E_OUTOFMEMORY;
    void *map = ::mmap(area, used, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd.get(), 0);
    const int mapping = map == MAP_FAILED ? -1 : guardMapping(map, used);
    if (mapping < 0) {
        ::munmap(area, mappedSize);
        return E_OUTOFMEMORY;
    }

    std::unique_ptr<FrameChannel> channel(new FrameChannel);
    channel->file_ = file;
    channel->header_ = static_cast<ChannelHeader *>(map);
    channel->base_ = static_cast<uint8_t *>(map);
    channel->usedSize_ = used;
    channel->mappedSize_ = mappedSize;
    channel->mapping_ = mapping;
    channel->device_ = st.st_dev;
    channel->inode_ = st.st_ino;
    channel->format_ = format;
    channel->frameBytes_ = format.frameBytes();
    channel->slotStride_ = stride;
    channel->channelId_ = fields.channelId;
    out = std::move(channel);
    return S_OK;
}

FrameChannel::~FrameChannel() {
    if (mapping_ >= 0)
        unguardMapping(mapping_);
    if (base_)
        ::munmap(base_, mappedSize_);
}

bool FrameChannel::replaced() const {
    struct stat st;
    return ::lstat(file_.c_str(), &st) != 0 || st.st_ino != inode_ || st.st_dev != device_;
}

bool FrameChannel::broken() const {
    return guardedMappings[mapping_].broken.load(std::memory_order_acquire);
}

bool FrameChannel::stale() const {
    struct stat st;
    if (::lstat(file_.c_str(), &st) != 0 || st.st_ino != inode_ || st.st_dev != device_ ||
        static_cast<uint64_t>(st.st_size) < usedSize_)
        return true;
    return !intact();
}

bool FrameChannel::intact() const {
    if (broken())
        return false;
    HeaderFields now;
    std::memcpy(&now, &header_->fields, sizeof(now));
    return !broken() && std::memcmp(now.magic, kMagic, sizeof(kMagic)) == 0 &&
           now.version == kChannelVersion && now.width == format_.width &&
           now.height == format_.height && now.fps == format_.fps &&
           now.frameBytes == frameBytes_ && now.slotStride == slotStride_ &&
           now.channelId == channelId_;
}

uint8_t *FrameChannel::slotData(uint32_t slot) const {
    if (slot >= kSlotCount)
        return nullptr;
    return base_ + kHeaderSize + slotStride_ * slot;
}

HResult FrameChannel::acquireSlot(uint32_t &slot, uint64_t &token) {
    if (broken())
        return hresultFromWin32(ERROR_INVALID_DATA);
    uint64_t t = header_->nextToken.fetch_add(1);
    if (t == 0)  // 0 marks a free slot
        t = header_->nextToken.fetch_add(1);
    const int64_t now = monotonicNs();
    for (int pass = 0; pass < 2; ++pass) {
        for (uint32_t i = 0; i < kSlotCount; ++i) {
            SlotState &s = header_->slots[i];
            if (static_cast<int32_t>(i) == header_->committedSlot.load())
                continue;
            uint64_t expected = 0;
            // The second pass takes over slots whose producer went away without giving them
            // back. A lease from the future is no producer's.
            if (pass == 1) {
                expected = s.owner.load();
                const int64_t lease = s.leaseNs.load();
                const bool expired =
                    lease > now || static_cast<uint64_t>(now) - static_cast<uint64_t>(lease) >=
                                       static_cast<uint64_t>(kLeaseNs);
                if (expected == 0 || expected == t || !expired)
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
    // The frame went to private pages if the file shrank meanwhile: nobody will see it.
    return broken() ? hresultFromWin32(ERROR_INVALID_DATA) : S_OK;
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

int64_t FrameChannel::commitTimeNs() const {
    return header_->commitTimeNs.load();
}

bool FrameChannel::readLatest(std::vector<uint8_t> &frame, uint64_t *sequence) const {
    frame.resize(frameBytes_);
    return useLatest([&](const uint8_t *data) { std::memcpy(frame.data(), data, frameBytes_); },
                     sequence);
}

bool FrameChannel::useLatest(const std::function<void(const uint8_t *frame)> &use,
                             uint64_t *sequence) const {
    const int64_t deadline = monotonicNs() + int64_t{kReadPatienceMs} * 1'000'000;
    for (int attempt = 0;; ++attempt) {
        // A few quick tries, then only until the deadline: a slot whose sequence stays odd or
        // keeps changing is a producer gone wrong, not a reason to wait for ever.
        if (attempt >= 4 && monotonicNs() >= deadline)
            return false;
        if (broken())
            return false;
        const uint64_t commitSeq = header_->commitSeq.load();
        const int32_t slot = header_->committedSlot.load();
        if (slot < 0 || slot >= static_cast<int32_t>(kSlotCount))
            return false;
        const SlotState &s = header_->slots[slot];
        const uint64_t before = s.seq.load(std::memory_order_acquire);
        if (before & 1) {
            sched_yield();
            continue;
        }
        use(slotData(static_cast<uint32_t>(slot)));
        std::atomic_thread_fence(std::memory_order_acquire);
        if (s.seq.load(std::memory_order_relaxed) != before)
            continue;
        if (broken())
            return false;
        if (sequence)
            *sequence = commitSeq;
        return true;
    }
}

uint64_t FrameChannel::waitForCommit(uint64_t seen, int timeoutMs) const {
    const int64_t deadline = monotonicNs() + int64_t{timeoutMs} * 1'000'000;
    for (;;) {
        const uint32_t futexValue = header_->commitFutex.load();
        const uint64_t now = header_->commitSeq.load();
        if (now != seen || broken())
            return now;
        const int64_t left = deadline - monotonicNs();
        if (left <= 0)
            return now;
        timespec ts{static_cast<time_t>(left / 1'000'000'000),
                    static_cast<long>(left % 1'000'000'000)};
        syscall(SYS_futex, reinterpret_cast<uint32_t *>(&header_->commitFutex), FUTEX_WAIT,
                futexValue, &ts, nullptr, 0);
    }
}

}  // namespace lumaghost
