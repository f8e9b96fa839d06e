// SPDX-License-Identifier: LGPL-2.1-or-later
#include "media/sequence_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/paths.h"
#include "platform/posix_file.h"

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

// Creates a file to write, or truncates it, without blocking on a FIFO; anything but a regular
// file is refused with EINVAL and left as it was. 0 or an errno value.
int createRegularFile(const fs::path &path, UniqueFd &out) {
    UniqueFd fd;
    if (int err = openRegularFile(path, O_WRONLY | O_CREAT, fd, nullptr, 0644))
        return err;
    if (::ftruncate(fd.get(), 0) < 0)
        return errno;
    out = std::move(fd);
    return 0;
}

int closeChecked(UniqueFd &fd) {
    return ::close(fd.release()) < 0 ? errno : 0;
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

// Told of each record once its header has passed the checks: the header and where its pixel
// block lies. False gives the file up.
using RecordVisitor =
    std::function<bool(const ImageRecordHeader &header, uint64_t pixelOffset, size_t pixelBytes)>;

// The checks, in order. Every size is checked against the length before anything is allocated
// or read, in 64-bit arithmetic.
bool walk(Source &source, uint64_t length, RecordBound bound, const RecordVisitor &visit) {
    uint8_t header[kSequenceHeaderSize];
    if (length < kSequenceHeaderSize || !source.read(0, header, sizeof(header)))
        return false;
    const int64_t count = getI32(header + 4);
    const int64_t total = getI32(header + 8);
    if (std::memcmp(header, kSequenceMagic, 4) != 0 || total != static_cast<int64_t>(length) ||
        count <= 0 || count > kMaxSequenceImages)
        return false;

    uint8_t record[kImageHeaderSize];
    if (length < kSequenceHeaderSize + kImageHeaderSize ||
        !source.read(kSequenceHeaderSize, record, sizeof(record)))
        return false;
    const ImageRecordHeader first = decodeRecordHeader(record);
    if (std::memcmp(first.magic, kImageMagic, 4) != 0 ||
        total != int64_t{first.recordSize} * count + int64_t{kSequenceHeaderSize})
        return false;
    // A sequence of images of the first one's size beyond the budget is refused before any
    // pixel is read; the records' own sizes are bounded again as they come.
    if (first.width > 0 && first.height > 0 &&
        uint64_t(first.width) * uint64_t(first.height) * uint64_t(count) > kMaxSequencePixels)
        return false;

    // Records after the first are read as they come: their magic and record size are not
    // compared, but each must lie wholly inside the file and carry a picture.
    uint64_t offset = kSequenceHeaderSize;
    uint64_t pixels = 0;
    for (int64_t i = 0; i < count; ++i) {
        if (length - offset < kImageHeaderSize || !source.read(offset, record, sizeof(record)))
            return false;
        offset += kImageHeaderSize;
        const ImageRecordHeader h = decodeRecordHeader(record);
        if (h.width <= 0 || h.height <= 0 || h.width > std::min(bound.width, kMaxImageSide) ||
            h.height > std::min(bound.height, kMaxImageSide))
            return false;
        const uint64_t framePixels = uint64_t(h.width) * uint64_t(h.height);
        const uint64_t pixelBytes = framePixels * 3;
        pixels += framePixels;
        if (pixels > kMaxSequencePixels || pixelBytes > length - offset)
            return false;
        if (!visit(h, offset, static_cast<size_t>(pixelBytes)))
            return false;
        offset += pixelBytes;
    }
    return true;
}

// The frames with their pixels. Nothing is reserved by the count: memory grows only with the
// frames read.
bool parse(Source &source, uint64_t length, std::vector<SequenceFrame> &frames,
           const std::function<bool()> &stopped, RecordBound bound) {
    std::vector<SequenceFrame> read;
    const bool ok = walk(source, length, bound,
                         [&](const ImageRecordHeader &header, uint64_t offset, size_t pixelBytes) {
                             SequenceFrame frame;
                             frame.header = header;
                             frame.pixels.resize(pixelBytes);
                             // In pieces, so that a stop is heard while a large block is read.
                             constexpr size_t kPiece = size_t{4} << 20;
                             for (size_t at = 0; at < frame.pixels.size(); at += kPiece) {
                                 if (stopped && stopped())
                                     return false;
                                 const size_t piece = std::min(kPiece, frame.pixels.size() - at);
                                 if (!source.read(offset + at, frame.pixels.data() + at, piece))
                                     return false;
                             }
                             read.push_back(std::move(frame));
                             return true;
                         });
    if (ok)
        frames = std::move(read);
    return ok;
}

// Reads an item's rows into a record's black block (both bottom-up): its top `rows` rows, each
// `copyBytes` long, into the block's top rows.
HResult readItemRows(const SequenceItem &item, uint8_t *block, size_t rowBytes, int h, int rows,
                     size_t copyBytes) {
    const size_t itemRowBytes = size_t(item.width) * 3;
    if (!item.source) {
        for (int t = 0; t < rows && copyBytes; ++t)
            std::memcpy(block + size_t(h - 1 - t) * rowBytes,
                        item.pixels + size_t(item.height - 1 - t) * itemRowBytes, copyBytes);
        return S_OK;
    }
    if (rows <= 0 || !copyBytes)
        return S_OK;
    // Whole rows of the same width lie together in both: one read.
    if (copyBytes == rowBytes && copyBytes == itemRowBytes) {
        if (!item.source->read(size_t(item.height - rows) * itemRowBytes,
                               block + size_t(h - rows) * rowBytes, size_t(rows) * rowBytes))
            return hresultFromErrno(EIO);
        return S_OK;
    }
    for (int t = 0; t < rows; ++t)
        if (!item.source->read(size_t(item.height - 1 - t) * itemRowBytes,
                               block + size_t(h - 1 - t) * rowBytes, copyBytes))
            return hresultFromErrno(EIO);
    return S_OK;
}

// Whether a pixel block of `items` is read from the file `st` describes.
bool readsFrom(const std::vector<SequenceItem> &items, const struct stat &st) {
    std::vector<int> looked;
    for (const auto &item : items) {
        const UniqueFd *file = item.source ? item.source->file() : nullptr;
        if (!file || std::find(looked.begin(), looked.end(), file->get()) != looked.end())
            continue;
        looked.push_back(file->get());
        struct stat source;
        if (::fstat(file->get(), &source) == 0 && source.st_dev == st.st_dev &&
            source.st_ino == st.st_ino)
            return true;
    }
    return false;
}

// Where the file is written: the destination itself, or, when items are read from the
// destination, a new file beside it that replaces it once written.
struct Destination {
    UniqueFd fd;
    fs::path replaced;   // empty: written in place
    fs::path temporary;  // the new file while it is written

    int open(const fs::path &path, const std::vector<SequenceItem> &items) {
        struct stat st;
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && readsFrom(items, st)) {
            std::error_code ec;
            replaced = fs::canonical(path, ec);
            if (ec)
                return ec.value();
            std::string name = replaced.string() + ".XXXXXX";
            fd.reset(::mkostemp(name.data(), O_CLOEXEC));
            if (!fd)
                return errno;
            temporary = name;
            ::fchmod(fd.get(), st.st_mode & 07777);
            return 0;
        }
        return createRegularFile(path, fd);
    }
    // Closes the file and puts it in its place; 0 or an errno value.
    int finish() {
        int err = closeChecked(fd);
        if (!err && !temporary.empty() && ::rename(temporary.c_str(), replaced.c_str()) < 0)
            err = errno;
        if (!err)
            temporary.clear();
        return err;
    }
    ~Destination() {
        if (!temporary.empty())
            ::unlink(temporary.c_str());
    }
};

}  // namespace

HResult writeSequenceFile(const fs::path &path, const std::vector<SequenceItem> &items) {
    if (items.size() > size_t(kMaxSequenceImages))
        return E_INVALIDARG;
    const int n = static_cast<int>(items.size());
    const int w = n ? items[0].width : 0, h = n ? items[0].height : 0;
    const int64_t recordSize = int64_t{w} * h * 3 + int64_t{kImageHeaderSize};
    if ((n && (w <= 0 || h <= 0)) || recordSize > INT32_MAX ||
        recordSize * n + int64_t{kSequenceHeaderSize} > INT32_MAX)
        return E_INVALIDARG;
    for (const auto &item : items) {
        if (item.width < 0 || item.height < 0)
            return E_INVALIDARG;
        if (item.width > 0 && item.height > 0 && !item.pixels && !item.source)
            return E_POINTER;
        if (!item.pixels && item.source &&
            item.source->size() < size_t(item.width) * size_t(item.height) * 3)
            return E_INVALIDARG;
    }

    Destination out;
    if (int err = out.open(path, items))
        return hresultFromErrno(err);
    std::vector<uint8_t> bytes;
    bytes.insert(bytes.end(), kSequenceMagic, kSequenceMagic + 4);
    putI32(bytes, static_cast<uint32_t>(n));
    putI32(bytes, static_cast<uint32_t>(recordSize * n + int64_t{kSequenceHeaderSize}));
    if (int err = writeAll(out.fd.get(), bytes.data(), bytes.size()))
        return hresultFromErrno(err);

    // One record at a time: the item's rows top-aligned and left-aligned in a black W x H block,
    // each row bounded by both widths. Blocks are bottom-up, so the top rows are the last.
    const size_t rowBytes = size_t(w) * 3;
    for (const auto &item : items) {
        bytes.clear();
        encodeRecordHeader(bytes, w, h, item.displayTime);
        bytes.resize(static_cast<size_t>(recordSize), 0);
        const size_t copyBytes = std::min(rowBytes, size_t(item.width) * 3);
        if (const HResult r = readItemRows(item, bytes.data() + kImageHeaderSize, rowBytes, h,
                                           std::min(h, item.height), copyBytes);
            r.failed())
            return r;
        if (int err = writeAll(out.fd.get(), bytes.data(), bytes.size()))
            return hresultFromErrno(err);
    }
    return hresultFromErrno(out.finish());
}

bool parseSequence(const uint8_t *data, size_t size, std::vector<SequenceFrame> &frames) {
    MemorySource source(data, size);
    return parse(source, size, frames, {}, {});
}

bool readSequenceFile(const fs::path &path, std::vector<SequenceFrame> &frames,
                      ReadErrorReporter *reporter, const std::function<bool()> &stopped,
                      RecordBound bound) {
    UniqueFd fd;
    struct stat st;
    bool ok = false;
    if (openRegularFile(path, O_RDONLY, fd, &st) != 0)
        return false;
    FileSource source(fd.get());
    try {
        ok = parse(source, static_cast<uint64_t>(st.st_size), frames, stopped, bound);
    } catch (const std::bad_alloc &) {
        ok = false;
    }
    if (!ok && reporter)
        reporter->reportReadFileError();
    return ok;
}

bool readSequenceRecords(const fs::path &path, std::vector<SequenceRecord> &records,
                         ReadErrorReporter *reporter, RecordBound bound) {
    UniqueFd fd;
    struct stat st;
    if (openRegularFile(path, O_RDONLY, fd, &st) != 0)
        return false;
    auto file = std::make_shared<const UniqueFd>(std::move(fd));
    FileSource source(file->get());
    std::vector<SequenceRecord> read;
    bool ok = false;
    try {
        ok = walk(source, static_cast<uint64_t>(st.st_size), bound,
                  [&](const ImageRecordHeader &header, uint64_t offset, size_t pixelBytes) {
                      read.push_back(
                          {header, std::make_shared<const FramePixels>(file, offset, pixelBytes)});
                      return true;
                  });
    } catch (const std::bad_alloc &) {
        ok = false;
    }
    if (ok)
        records = std::move(read);
    else if (reporter)
        reporter->reportReadFileError();
    return ok;
}

bool readStoredImage(const fs::path &path, int width, int height, std::vector<uint8_t> &pixels,
                     std::string *problem) {
    auto refuse = [&](const std::string &why) {
        if (problem)
            *problem = why;
        return false;
    };
    if (width <= 0 || height <= 0)
        return refuse("the camera has no frame size");
    const uint64_t pixelBytes = uint64_t(width) * uint64_t(height) * 3;
    UniqueFd fd;
    struct stat st;
    if (int err = openSharedFile(path, kImageHeaderSize + pixelBytes, fd, &st))
        return refuse(sharedFileProblem(err));
    if (uint64_t(st.st_size) != kImageHeaderSize + pixelBytes)
        return refuse("it is not one image of the camera's size");
    FileSource source(fd.get());
    uint8_t record[kImageHeaderSize];
    if (!source.read(0, record, sizeof(record)))
        return refuse("it cannot be read");
    const ImageRecordHeader header = decodeRecordHeader(record);
    if (std::memcmp(header.magic, kImageMagic, 4) != 0 || header.width != width ||
        header.height != height)
        return refuse("it is not one image of the camera's size");
    std::vector<uint8_t> block(static_cast<size_t>(pixelBytes));
    if (!source.read(kImageHeaderSize, block.data(), block.size()))
        return refuse("it cannot be read");
    pixels = std::move(block);
    return true;
}

fs::path storedImagePath() {
    return systemDirectory() / kStoredImageName;
}

HResult registerLastImage(int width, int height, const uint8_t *pixels, RegistryHive &machine,
                          const std::string &driverKey) {
    if (width < 0 || height < 0 || int64_t{width} * height * 3 + 20 > INT32_MAX)
        return E_INVALIDARG;
    const size_t pixelBytes = size_t(width) * height * 3;
    if (pixelBytes && !pixels)
        return E_POINTER;
    std::vector<uint8_t> bytes;
    bytes.reserve(kImageHeaderSize + pixelBytes);
    encodeRecordHeader(bytes, width, height, kStoredImageDisplayTime);
    bytes.insert(bytes.end(), pixels, pixels + pixelBytes);

    const fs::path path = storedImagePath();
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    // Replaced, never written in place: a reader never takes half a frame, and any user who may
    // write the state directory (group video) replaces an image another one stored. The file
    // gets its own mode and the directory's group, whatever stood at its name; anything but a
    // regular file there stays as it is.
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return hresultFromErrno(EINVAL);
    if (int err = replaceFileAtomically(
            path, std::string_view(reinterpret_cast<const char *>(bytes.data()), bytes.size()),
            kStoredImageMode))
        return hresultFromErrno(err);

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
