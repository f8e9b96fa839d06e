// SPDX-License-Identifier: LGPL-2.1-or-later
// The picture-sequence file (.lgs) and the stored last image (LastLgImage.lgi): both built from
// image records, a 20-byte header and a bottom-up blue-green-red pixel block. All numbers are
// 32-bit little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device/frame_channel.h"
#include "media/frame_pixels.h"
#include "platform/hresult.h"
#include "platform/registry.h"

namespace lumaghost {

inline constexpr char kSequenceMagic[4] = {'Q', 'm', 'S', 'q'};
inline constexpr char kImageMagic[4] = {'Q', 'm', 'L', 'g'};
inline constexpr size_t kSequenceHeaderSize = 12;
inline constexpr size_t kImageHeaderSize = 20;
inline constexpr uint32_t kNewItemDisplayTime = 1000;
inline constexpr uint32_t kStoredImageDisplayTime = 5000;
inline constexpr char kStoredImageName[] = "LastLgImage.lgi";
inline constexpr char kLastImageValue[] = "LastLgImage";
/// The most images a sequence holds. The desktop adds items one at a time, each with a
/// thumbnail of its own, so a file of more is none it wrote; the bound keeps a reader's memory
/// in proportion to the pixels it returns however small the frames are.
inline constexpr int32_t kMaxSequenceImages = 65536;
/// The widest and highest image a record may hold: the frame channel's own bound.
inline constexpr int32_t kMaxImageSide = static_cast<int32_t>(FrameChannel::kMaxDimension);
/// The most pixels all the images of a sequence hold together (768 MiB of pixel data): a file
/// beyond it is refused before any of its pixels is read.
inline constexpr uint64_t kMaxSequencePixels = uint64_t{256} << 20;
/// The stored image's mode: any member of group video replaces it, anyone reads it.
inline constexpr unsigned kStoredImageMode = 0664;

struct ImageRecordHeader {
    char magic[4];
    int32_t width;
    int32_t height;
    int32_t recordSize;
    uint32_t displayTime;
};
static_assert(sizeof(ImageRecordHeader) == kImageHeaderSize);

/// One frame of a sequence: its record header as read and its own copy of the pixel block
/// (width × height × 3 bytes).
struct SequenceFrame {
    ImageRecordHeader header{};
    std::vector<uint8_t> pixels;

    int width() const { return header.width; }
    int height() const { return header.height; }
    uint32_t displayTime() const { return header.displayTime; }
};

/// An item to write: its size, 24-bit pixels and display time.
struct SequenceItem {
    int width = 0;
    int height = 0;
    const uint8_t *pixels = nullptr;  // width × height × 3 bytes
    uint32_t displayTime = kNewItemDisplayTime;
    /// Where the pixels are read from when `pixels` is null (a block left in its file is read
    /// a record at a time).
    const FramePixels *source = nullptr;
};

/// Writes the items. Width, height and record size of every record are the first item's; each
/// record's pixel block is its item's own pixels with the item's top-left corner at the frame's,
/// black where the item does not reach. No item is read beyond its own width × height × 3 bytes,
/// and one record is held at a time. A file some item's pixels are still read from is replaced,
/// not overwritten: it is written beside its name and renamed over it, with its mode.
/// E_INVALIDARG for a first item without pixels (0 wide or high), a negative size, a source
/// smaller than its item, more than kMaxSequenceImages items or a file beyond 32-bit sizes;
/// E_POINTER for a missing pixel block; an errno's code for a source that can no longer be read.
HResult writeSequenceFile(const std::filesystem::path &path,
                          const std::vector<SequenceItem> &items);

/// Receives the desktop's "Read File Error!" report.
class ReadErrorReporter {
public:
    virtual ~ReadErrorReporter() = default;
    virtual void reportReadFileError() = 0;
};

/// The widest and highest record a reader takes.
struct RecordBound {
    int32_t width = kMaxImageSide;
    int32_t height = kMaxImageSide;
};

/// Reads and checks a sequence file. On success `frames` is replaced by the file's frames; on
/// failure it is left as it was. Only a regular file is opened (a FIFO or a device "cannot be
/// opened", without blocking). Records are read one at a time: the reader needs no memory beyond
/// the frames it returns. A file of more than kMaxSequenceImages images, with a record 0 pixels
/// wide or high or wider or higher than kMaxImageSide, or of more than kMaxSequencePixels in
/// all, is rejected before those pixels are read. `stopped`, when given, is asked between pieces
/// of a pixel block; when it answers true the file is given up. With a reporter (the desktop),
/// a file that opened but was rejected is reported to it; without one (the service) nothing is
/// said.
/// `bound`: records wider or higher are rejected as the ones beyond kMaxImageSide are.
bool readSequenceFile(const std::filesystem::path &path, std::vector<SequenceFrame> &frames,
                      ReadErrorReporter *reporter = nullptr,
                      const std::function<bool()> &stopped = {}, RecordBound bound = {});

/// One record of a sequence file: its header as read and its pixel block, left in the file.
struct SequenceRecord {
    ImageRecordHeader header{};
    std::shared_ptr<const FramePixels> pixels;
};

/// Checks a sequence file as readSequenceFile does, reading only its headers: on success
/// `records` is replaced by the file's records, each reading its pixels from the file (kept
/// open) when asked; on failure it is left as it was. The memory taken is that of the headers.
bool readSequenceRecords(const std::filesystem::path &path, std::vector<SequenceRecord> &records,
                         ReadErrorReporter *reporter = nullptr, RecordBound bound = {});

/// The checks of readSequenceFile on bytes in memory (for tests and the fuzzer).
bool parseSequence(const uint8_t *data, size_t size, std::vector<SequenceFrame> &frames);

/// The stored image's place: the system directory + LastLgImage.lgi.
std::filesystem::path storedImagePath();

/// Writes the frame just pushed to the camera as the stored image, and names it in the value
/// "LastLgImage" under the driver key (skipped, silently, when the key is empty or unusable).
HResult registerLastImage(int width, int height, const uint8_t *pixels, RegistryHive &machine,
                          const std::string &driverKey);

/// Reads a stored image of `width` × `height` into `pixels`: the file, named by a member of
/// group video, is opened as openSharedFile opens it and must hold one image record of that
/// size, its pixel block filling the rest of the file (its record size and display time are not
/// looked at). False, with `pixels` left as it was, for any other file; `problem`, when given,
/// then says why.
bool readStoredImage(const std::filesystem::path &path, int width, int height,
                     std::vector<uint8_t> &pixels, std::string *problem = nullptr);

}  // namespace lumaghost
