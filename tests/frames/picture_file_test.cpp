// SPDX-License-Identifier: LGPL-2.1-or-later
#include "frames/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <chrono>
#include <future>

#include <gtest/gtest.h>

#include "tests/test_support.h"

namespace lumaghost {
namespace {

// Little-endian builders for hand-made metafiles.
struct Le {
    QByteArray b;
    Le &u16(int v) {
        b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
        return *this;
    }
    Le &u32(uint32_t v) { return u16(int(v & 0xFFFF)).u16(int(v >> 16)); }
};

// A placeable WMF of 1440 x 720 units, 1 x 0.5 inch at 1440 units per inch, filled with one
// red rectangle.
QByteArray redWmf(int unitsPerInch = 1440) {
    Le h;
    h.u32(0x9AC6CDD7).u16(0).u16(0).u16(0).u16(1440).u16(720).u16(unitsPerInch).u32(0);
    uint16_t sum = 0;
    for (int i = 0; i < 20; i += 2)
        sum ^= uint16_t(uint8_t(h.b[i]) | uint8_t(h.b[i + 1]) << 8);
    h.u16(sum);
    Le records;
    records.u32(7).u16(0x02FC).u16(0).u32(0x000000FF).u16(0);     // solid red brush
    records.u32(4).u16(0x012D).u16(0);                            // select it
    records.u32(7).u16(0x041B).u16(720).u16(1440).u16(0).u16(0);  // rectangle
    records.u32(3).u16(0);                                        // end
    Le header;
    const int words = (18 + records.b.size()) / 2;
    header.u16(1).u16(9).u16(0x300).u32(uint32_t(words)).u16(1).u32(7).u16(0);
    return h.b + header.b + records.b;
}

// An EMF of 25.4 x 12.7 mm (96 x 48 pixels, or `width` x `height` at most) with one red
// rectangle.
QByteArray redEmf(int width = 96, int height = 48) {
    Le r;
    r.u32(39).u32(24).u32(1).u32(0).u32(0x000000FF).u32(0);  // brush
    r.u32(37).u32(12).u32(1);                                // select
    r.u32(43).u32(24).u32(0).u32(0).u32(96).u32(48);         // rectangle
    r.u32(14).u32(20).u32(0).u32(16).u32(20);                // end
    Le h;
    h.u32(1).u32(88).u32(0).u32(0).u32(95).u32(47).u32(0).u32(0);
    h.u32(uint32_t(width * 2540 / 96)).u32(uint32_t(height * 2540 / 96));
    h.u32(0x464D4520).u32(0x10000).u32(uint32_t(88 + r.b.size())).u32(5).u16(2).u16(0);
    h.u32(0).u32(0).u32(0).u32(1920).u32(1080).u32(508).u32(286);
    return h.b + r.b;
}

QByteArray encoded(const QImage &image, const char *format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    EXPECT_TRUE(writer.write(image)) << format << ": " << writer.errorString().toStdString();
    return bytes;
}

class PictureFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "pictures_test";
        static char *argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = new QGuiApplication(argc, argv);
    }
    static QGuiApplication *app_;
};
QGuiApplication *PictureFileTest::app_ = nullptr;

// The raster kinds decode at their pixel size whatever the file is called.
TEST_F(PictureFileTest, RasterFormatsDecodeAtTheirPixelSize) {
    QImage source(7, 5, QImage::Format_RGB32);
    source.fill(QColor(10, 200, 30));
    for (const char *format : {"bmp", "png", "ico", "jpg"}) {
        QImage image = decodePicture(encoded(source, format));
        ASSERT_FALSE(image.isNull()) << format;
        EXPECT_EQ(image.size(), QSize(7, 5)) << format;
        EXPECT_EQ(image.format(), QImage::Format_RGB32) << format;
        EXPECT_NEAR(qGreen(image.pixel(3, 2)), 200, 4) << format;
    }
    // A one-pixel red GIF.
    const char gif[] =
        "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00,\x00\x00\x00\x00"
        "\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";
    QImage g = decodePicture(QByteArray(gif, sizeof(gif) - 1));
    ASSERT_FALSE(g.isNull());
    EXPECT_EQ(g.pixel(0, 0), qRgb(255, 0, 0));
}

// Transparent parts are composed over black.
TEST_F(PictureFileTest, TransparencyShowsBlack) {
    QImage source(4, 4, QImage::Format_ARGB32);
    source.fill(Qt::transparent);
    source.setPixel(1, 1, qRgba(255, 255, 255, 255));
    QImage image = decodePicture(encoded(source, "png"));
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(image.pixel(1, 1) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(PictureFileTest, MetafilesRenderAtNinetySixPixelsPerInch) {
    for (const auto &[what, data] : {std::pair{"wmf", redWmf()}, std::pair{"emf", redEmf()}}) {
        QImage image = decodePicture(data);
        ASSERT_FALSE(image.isNull()) << what;
        EXPECT_EQ(image.size(), QSize(96, 48)) << what;
        EXPECT_EQ(image.pixel(48, 24) & 0xFFFFFF, 0xFF0000u) << what;
    }
}

TEST_F(PictureFileTest, NoPictureIsRefused) {
    EXPECT_TRUE(decodePicture("this is no picture").isNull());
    EXPECT_TRUE(decodePicture(QByteArray()).isNull());
    QByteArray truncatedEmf = redEmf().left(90);
    truncatedEmf[4] = char(200);  // a header claiming more than the file holds
    EXPECT_TRUE(decodePicture(truncatedEmf).isNull());
    QString error;
    EXPECT_TRUE(loadPictureFile("/nonexistent/picture.bmp", &error).isNull());
    EXPECT_FALSE(error.isEmpty());
}

// A BMP header of the given size with no pixels after it.
QByteArray bmpHeader(int width, int height) {
    Le h;
    h.u16('B' | 'M' << 8).u32(54 + 16).u32(0).u32(54);
    h.u32(40).u32(uint32_t(width)).u32(uint32_t(height)).u16(1).u16(24).u32(0).u32(0);
    h.u32(2835).u32(2835).u32(0).u32(0);
    h.b.append(16, '\0');
    return h.b;
}

// Pictures that would decode beyond the bound are refused, with the reason, before their pixels
// are allocated; metafiles are bounded the same way.
TEST_F(PictureFileTest, OversizedPicturesAreRefused) {
    const int qtLimit = QImageReader::allocationLimit();
    QString error;
    // 324 MB of pixels: beyond the bound itself.
    EXPECT_TRUE(decodePicture(bmpHeader(9000, 9000), &error).isNull());
    EXPECT_TRUE(error.startsWith("The picture is too large (9000 x 9000 pixels"))
        << error.toStdString();
    // 196 MB: beyond Qt's allocation limit when that is lower (128 MB by default).
    QImageReader::setAllocationLimit(128);
    error.clear();
    EXPECT_TRUE(decodePicture(bmpHeader(7000, 7000), &error).isNull());
    EXPECT_EQ(error.toStdString(),
              "The picture is too large (7000 x 7000 pixels, at most 32 Mpixel)");
    QImageReader::setAllocationLimit(0);  // no limit of Qt's: the bound itself holds
    error.clear();
    EXPECT_TRUE(decodePicture(bmpHeader(9000, 9000), &error).isNull());
    EXPECT_EQ(error.toStdString(),
              "The picture is too large (9000 x 9000 pixels, at most 64 Mpixel)");
    error.clear();
    EXPECT_TRUE(decodePicture(redEmf(10000, 10000), &error).isNull());
    EXPECT_EQ(error.toStdString(),
              "The picture is too large (10000 x 10000 pixels, at most 64 Mpixel)");
    error.clear();
    EXPECT_TRUE(decodePicture(redWmf(10), &error).isNull());  // 144 x 72 inches
    EXPECT_EQ(error.toStdString(),
              "The picture is too large (13824 x 6912 pixels, at most 64 Mpixel)");
    EXPECT_EQ(decodePicture(redWmf(480)).size(), QSize(288, 144));
    QImageReader::setAllocationLimit(qtLimit);
    // Within the bound the same metafile renders.
    EXPECT_EQ(decodePicture(redEmf(400, 300)).size(), QSize(400, 300));
    error.clear();
    EXPECT_TRUE(decodePicture("this is no picture", &error).isNull());
    EXPECT_EQ(error.toStdString(), "Not a known picture type");
}

// Only regular files are read: a FIFO without a writer fails at once instead of waiting, a
// directory fails, and a file beyond the size bound is refused before it is read.
TEST_F(PictureFileTest, OnlyRegularFilesOfBoundedSizeAreRead) {
    test::TempRoot root;
    const auto fifo = root.path() / "pipe.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto loading = std::async(std::launch::async, [&] {
        QString error;
        const bool loaded =
            !loadPictureFile(QString::fromStdString(fifo.string()), &error).isNull();
        return std::pair{loaded, error};
    });
    if (loading.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        // A writer that comes and goes frees the waiting reader: it then reads to the end.
        ::close(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        ADD_FAILURE() << "Loading a FIFO waited for a writer";
    }
    auto [loaded, error] = loading.get();
    EXPECT_FALSE(loaded);
    EXPECT_EQ(error.toStdString(), "Not a regular file");
    EXPECT_TRUE(loadPictureFile(QString::fromStdString(root.path().string()), &error).isNull());
    EXPECT_EQ(error.toStdString(), "Not a regular file");

    // A picture followed by zeros, one byte beyond the bound (a sparse file).
    QImage small(4, 4, QImage::Format_RGB32);
    small.fill(Qt::white);
    const QByteArray png = encoded(small, "png");
    const auto big = root.path() / "big.png";
    test::writeFile(big, png.toStdString());
    EXPECT_FALSE(loadPictureFile(QString::fromStdString(big.string())).isNull());
    ASSERT_EQ(::truncate(big.c_str(), off_t{kMaxPictureFileBytes} + 1), 0);
    EXPECT_TRUE(loadPictureFile(QString::fromStdString(big.string()), &error).isNull());
    EXPECT_EQ(error.toStdString(), "The file is larger than 256 MB");
}

TEST(HimetricTest, RoundsLikeMulDiv) {
    EXPECT_EQ(himetricToPixels(2540), 96);
    EXPECT_EQ(himetricToPixels(1270), 48);
    EXPECT_EQ(himetricToPixels(13), 0);  // 0.4913
    EXPECT_EQ(himetricToPixels(14), 1);  // 0.529
    EXPECT_EQ(himetricToPixels(-14), -1);
}

}  // namespace
}  // namespace lumaghost
