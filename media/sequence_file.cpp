#include "sequence_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

#include "paths.h"
#include "posix_file.h"

namespace lumaghost {

namespace fs = std::filesystem;

namespace {

void putI32(std::vector<uint8_t> &out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

int32_t getI32(const uint8_t *p) {
    return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                                uint32_t{p[3]} << 24);
}

ImageRecordHeader decodeRecordHeader(const uint8_t *p) {
    ImageRecordHeader h;
    std::memcpy(h.magic, p, 4);
    h.width = getI32(p + 4);
    h.height = getI32(p + 8);
    h.recordSize = getI32(p + 12);
    h.displayTime = static_cast<uint32_t>(getI32(p + 16));
    return h;
}

void encodeRecordHeader(std::vector<uint8_t> &out, int width, int height, uint32_t displayTime) {
    out.insert(out.end(), kImageMagic, kImageMagic + 4);
    putI32(out, static_cast<uint32_t>(width));
    putI32(out, static_cast<uint32_t>(height));
    putI32(out, static_cast<uint32_t>(width * height * 3 + 20));
    putI32(out, displayTime);
}

HResult errnoResult(int err) {
    switch (err) {
        case 0:
            return S_OK;
        case ENOENT:
            return hresultFromWin32(ERROR_FILE_NOT_FOUND);
        case EACCES:
        case EPERM:
        case EROFS:
            return E_ACCESSDENIED;
        case ENOSPC:
            return hresultFromWin32(112);  // ERROR_DISK_FULL
        default:
            return E_FAIL;
    }
}

HResult writeFile(const fs::path &path, const std::vector<uint8_t> &bytes) {
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd)
        return errnoResult(errno);
    int err = writeAll(fd.get(), bytes.data(), bytes.size());
    if (!err && ::close(fd.release()) < 0)
        err = errno;
    return errnoResult(err);
}

// Where the data comes from: a file read piece by piece, or bytes in memory.
class Source {
public:
    virtual ~Source() = default;
    virtual bool read(uint64_t offset, void *out, size_t size) = 0;
};

class MemorySource final : public Source {
public:
    MemorySource(const uint8_t *data, size_t size) : data_(data), size_(size) {}
    bool read(uint64_t offset, void *out, size_t size) override {
        if (offset > size_ || size > size_ - offset)
            return false;
        std::memcpy(out, data_ + offset, size);
        return true;
    }

private:
    const uint8_t *data_;
    size_t size_;
};

class FileSource final : public Source {
public:
    explicit FileSource(int fd) : fd_(fd) {}
    bool read(uint64_t offset, void *out, size_t size) override {
        auto *p = static_cast<uint8_t *>(out);
        while (size > 0) {
            ssize_t n = ::pread(fd_, p, size, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            p += n;
            size -= static_cast<size_t>(n);
            offset += static_cast<uint64_t>(n);
        }
        return true;
    }

private:
    int fd_;
};

// The checks, in order. Every size is checked against the length before anything is allocated
// or read, in 64-bit arithmetic.
bool parse(Source &source, uint64_t length, std::vector<SequenceFrame> &frames) {
    uint8_t header[kSequenceHeaderSize];
    if (length < kSequenceHeaderSize || !source.read(0, header, sizeof(header)))
        return false;
    const int64_t count = getI32(header + 4);
    const int64_t total = getI32(header + 8);
    if (std::memcmp(header, kSequenceMagic, 4) != 0 || total != static_cast<int64_t>(length) ||
        count <= 0)
        return false;

    uint8_t record[kImageHeaderSize];
    if (length < kSequenceHeaderSize + kImageHeaderSize ||
        !source.read(kSequenceHeaderSize, record, sizeof(record)))
        return false;
    const ImageRecordHeader first = decodeRecordHeader(record);
    if (std::memcmp(first.magic, kImageMagic, 4) != 0 ||
        total != int64_t{first.recordSize} * count + int64_t{kSequenceHeaderSize})
        return false;

    // Records after the first are read as they come: their magic and record size are not
    // compared, but each must lie wholly inside the file.
    std::vector<SequenceFrame> read;
    read.reserve(static_cast<size_t>(count));
    uint64_t offset = kSequenceHeaderSize;
    for (int64_t i = 0; i < count; ++i) {
        if (length - offset < kImageHeaderSize || !source.read(offset, record, sizeof(record)))
            return false;
        offset += kImageHeaderSize;
        SequenceFrame frame;
        frame.header = decodeRecordHeader(record);
        if (frame.header.width < 0 || frame.header.height < 0)
            return false;
        uint64_t pixelBytes = 0;
        if (__builtin_mul_overflow(uint64_t(frame.header.width), uint64_t(frame.header.height),
                                   &pixelBytes) ||
            __builtin_mul_overflow(pixelBytes, uint64_t{3}, &pixelBytes) ||
            pixelBytes > length - offset)
            return false;
        frame.pixels.resize(static_cast<size_t>(pixelBytes));
        if (pixelBytes && !source.read(offset, frame.pixels.data(), frame.pixels.size()))
            return false;
        offset += pixelBytes;
        read.push_back(std::move(frame));
    }
    frames = std::move(read);
    return true;
}

}  // namespace

HResult WriteSequenceFile(const fs::path &path, const std::vector<SequenceItem> &items) {
    const int n = static_cast<int>(items.size());
    const int w = n ? items[0].width : 0, h = n ? items[0].height : 0;
    if (w < 0 || h < 0 || int64_t{w} * h * 3 + 20 > INT32_MAX ||
        (int64_t{w} * h * 3 + 20) * n + 12 > INT32_MAX)
        return E_INVALIDARG;
    const size_t pixelBytes = size_t(w) * h * 3;
    for (const auto &item : items) {
        if (pixelBytes && !item.pixels)
            return E_POINTER;
    }

    std::vector<uint8_t> bytes;
    bytes.reserve(12 + items.size() * (20 + pixelBytes));
    bytes.insert(bytes.end(), kSequenceMagic, kSequenceMagic + 4);
    putI32(bytes, static_cast<uint32_t>(n));
    putI32(bytes, static_cast<uint32_t>(n * (w * h * 3 + 20) + 12));
    for (const auto &item : items) {
        encodeRecordHeader(bytes, w, h, item.displayTime);
        bytes.insert(bytes.end(), item.pixels, item.pixels + pixelBytes);
    }
    return writeFile(path, bytes);
}

bool ParseSequence(const uint8_t *data, size_t size, std::vector<SequenceFrame> &frames) {
    MemorySource source(data, size);
    return parse(source, size, frames);
}

bool ReadSequenceFile(const fs::path &path, std::vector<SequenceFrame> &frames,
                      ReadErrorReporter *reporter) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return false;
    struct stat st;
    bool ok = false;
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)) {
        FileSource source(fd.get());
        try {
            ok = parse(source, static_cast<uint64_t>(st.st_size), frames);
        } catch (const std::bad_alloc &) {
            ok = false;
        }
    }
    if (!ok && reporter)
        reporter->reportReadFileError();
    return ok;
}

fs::path storedImagePath() {
    return systemDirectory() / kStoredImageName;
}

HResult RegisterLastImage(int width, int height, const uint8_t *pixels, RegistryHive &machine,
                          const std::string &driverKey) {
    if (width < 0 || height < 0 || int64_t{width} * height * 3 + 20 > INT32_MAX)
        return E_INVALIDARG;
    const size_t pixelBytes = size_t(width) * height * 3;
    if (pixelBytes && !pixels)
        return E_POINTER;
    std::vector<uint8_t> bytes;
    bytes.reserve(20 + pixelBytes);
    encodeRecordHeader(bytes, width, height, kStoredImageDisplayTime);
    bytes.insert(bytes.end(), pixels, pixels + pixelBytes);

    const fs::path path = storedImagePath();
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    HResult r = writeFile(path, bytes);
    if (r.failed())
        return r;

    if (!driverKey.empty() && machine.writable()) {
        (void)machine.modify([&](HiveData &d) {
            if (!d.hasKey(driverKey))
                return hresultFromWin32(ERROR_FILE_NOT_FOUND);
            d.setValue(driverKey, kLastImageValue, RegValue::string(fs::absolute(path).string()));
            return S_OK;
        });
    }
    return S_OK;
}

}  // namespace lumaghost
