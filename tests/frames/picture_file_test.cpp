#include "picture_file.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>

#include <gtest/gtest.h>

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

// A placeable WMF, 1 x 0.5 inch, filled with one red rectangle.
QByteArray redWmf() {
    Le h;
    h.u32(0x9AC6CDD7).u16(0).u16(0).u16(0).u16(1440).u16(720).u16(1440).u32(0);
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

// An EMF of 25.4 x 12.7 mm (96 x 48 pixels) with one red rectangle.
QByteArray redEmf() {
    Le r;
    r.u32(39).u32(24).u32(1).u32(0).u32(0x000000FF).u32(0);  // brush
    r.u32(37).u32(12).u32(1);                                // select
    r.u32(43).u32(24).u32(0).u32(0).u32(96).u32(48);         // rectangle
    r.u32(14).u32(20).u32(0).u32(16).u32(20);                // end
    Le h;
    h.u32(1).u32(88).u32(0).u32(0).u32(95).u32(47).u32(0).u32(0).u32(2540).u32(1270);
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
        QImage image = DecodePicture(encoded(source, format));
        ASSERT_FALSE(image.isNull()) << format;
        EXPECT_EQ(image.size(), QSize(7, 5)) << format;
        EXPECT_EQ(image.format(), QImage::Format_RGB32) << format;
        EXPECT_NEAR(qGreen(image.pixel(3, 2)), 200, 4) << format;
    }
    // A one-pixel red GIF.
    const char gif[] =
        "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00,\x00\x00\x00\x00"
        "\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;";
    QImage g = DecodePicture(QByteArray(gif, sizeof(gif) - 1));
    ASSERT_FALSE(g.isNull());
    EXPECT_EQ(g.pixel(0, 0), qRgb(255, 0, 0));
}

// Transparent parts are composed over black.
TEST_F(PictureFileTest, TransparencyShowsBlack) {
    QImage source(4, 4, QImage::Format_ARGB32);
    source.fill(Qt::transparent);
    source.setPixel(1, 1, qRgba(255, 255, 255, 255));
    QImage image = DecodePicture(encoded(source, "png"));
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(image.pixel(1, 1) & 0xFFFFFF, 0xFFFFFFu);
}

TEST_F(PictureFileTest, MetafilesRenderAtNinetySixPixelsPerInch) {
    for (const auto &[what, data] : {std::pair{"wmf", redWmf()}, std::pair{"emf", redEmf()}}) {
        QImage image = DecodePicture(data);
        ASSERT_FALSE(image.isNull()) << what;
        EXPECT_EQ(image.size(), QSize(96, 48)) << what;
        EXPECT_EQ(image.pixel(48, 24) & 0xFFFFFF, 0xFF0000u) << what;
    }
}

TEST_F(PictureFileTest, NoPictureIsRefused) {
    EXPECT_TRUE(DecodePicture("this is no picture").isNull());
    EXPECT_TRUE(DecodePicture(QByteArray()).isNull());
    QByteArray truncatedEmf = redEmf().left(90);
    truncatedEmf[4] = char(200);  // a header claiming more than the file holds
    EXPECT_TRUE(DecodePicture(truncatedEmf).isNull());
    QString error;
    EXPECT_TRUE(LoadPictureFile("/nonexistent/picture.bmp", &error).isNull());
    EXPECT_FALSE(error.isEmpty());
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
