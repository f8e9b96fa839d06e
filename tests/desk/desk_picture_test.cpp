// SPDX-License-Identifier: LGPL-2.1-or-later
// The picture view: its drawing geometry, the folder it browses, zoom, the pick frame, setting
// the picked region on the camera, and pasting.
#include <QClipboard>
#include <QMouseEvent>
#include <QScrollBar>

#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/picture/picture_editor.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "frames/picture_file.h"
#include "media/sequence_file.h"
#include "tests/desk/desk_fixture.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using namespace cmd;
using Running = CLumadeskApp::StartResult;

struct LayoutCase {
    QSize client, picture;
    int zoom;
    PictureLayout expected;
};

class PictureLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

// The drawing geometry: centred while it fits, a scroll extent two pixels short of the drawn
// size from level 0 up, 1 / (1 - level) of the picture below.
TEST_P(PictureLayoutTest, DrawingGeometry) {
    const LayoutCase &c = GetParam();
    EXPECT_EQ(LayoutPicture(c.client, c.picture, c.zoom), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, PictureLayoutTest,
    ::testing::Values(
        // Larger than the window at level 0: drawn at (0, 0), extent 638 × 478.
        LayoutCase{{580, 400}, {640, 480}, 0, {0, 0, 640, 480, 638, 478}},
        LayoutCase{{580, 400}, {100, 80}, 0, {240, 160, 100, 80, 98, 78}},
        // Zoomed in while it still fits: drawn from where level 0 centred it.
        LayoutCase{{580, 400}, {100, 80}, 1, {240, 160, 200, 160, 198, 158}},
        LayoutCase{{580, 400}, {100, 80}, 50, {0, 0, 5100, 4080, 5098, 4078}},
        LayoutCase{{580, 400}, {640, 480}, -1, {130, 80, 320, 240, 320, 240}},
        LayoutCase{{580, 400}, {5100, 4080}, -50, {240, 160, 100, 80, 100, 80}},
        // Wider than the window only: the width decides, the height follows it.
        LayoutCase{{580, 400}, {600, 100}, 0, {0, 150, 600, 100, 598, 98}},
        // A long, narrow picture at level 50: sizes beyond an int are held at 2^30.
        LayoutCase{{580, 400}, {67108864, 1}, 50, {0, 174, 1 << 30, 51, 1 << 30, 49}}));

/// A picture file of `size` whose pixel (x, y) has red x, green y, blue 77.
QImage writePattern(const fs::path &file, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x & 0xFF, y & 0xFF, 77));
    fs::create_directories(file.parent_path());
    EXPECT_TRUE(image.save(QString::fromStdString(file.string())));
    return image;
}

// The picture types by extension in any case (the seven, and what the readers add: .jpeg, .png),
// in name order, directories and other files left out; the index of the current file, or the
// last when it is not among them.
TEST(PictureFolderTest, ScanKeepsPictureFilesInNameOrder) {
    test::TempRoot root;
    const fs::path dir = root.path() / "pictures";
    for (const char *name : {"d.jpg", "c.txt", "b.GIF", "a.bmp", "e.jpeg", "f.Wmf", "g.PNG"})
        test::writeFile(dir / name, "x");
    fs::create_directories(dir / "g.jpg");
    const auto path = [&](const char *name) {
        return QString::fromStdString((dir / name).string());
    };

    PictureFolder folder = ScanPictureFolder(path("b.GIF"));
    EXPECT_EQ(folder.files, QStringList({path("a.bmp"), path("b.GIF"), path("d.jpg"),
                                         path("e.jpeg"), path("f.Wmf"), path("g.PNG")}));
    EXPECT_EQ(folder.index, 2);
    EXPECT_EQ(ScanPictureFolder(path("f.Wmf")).index, 5);
    EXPECT_EQ(ScanPictureFolder(path("missing.bmp")).index, 6);
    EXPECT_EQ(ScanPictureFolder(path("c.txt")).index, 1);
    EXPECT_TRUE(IsPictureName(QStringLiteral("x.JPG")));
    EXPECT_TRUE(IsPictureName(QStringLiteral("photo.jpeg")));
    EXPECT_TRUE(IsPictureName(QStringLiteral("/a/p2.png")));
    EXPECT_FALSE(IsPictureName(QStringLiteral("/a.png/readme")));
    EXPECT_FALSE(IsPictureName(QStringLiteral("clip.avi")));
}

class PictureTest : public test::DeskFixture {
protected:
    /// A command as a menu runs it: the states brought up to date, then the command.
    void run(int id) {
        frame().updateCommandStates();
        trigger(id);
    }
    PictureTest() { cameraOutcome_ = CameraStart::Outcome::Ready; }
    PictureEditor &picture() { return dynamic_cast<PictureEditor &>(*frame().parts().picture()); }
    bool enabled(int id) {
        frame().updateCommandStates();
        return frame().command(id)->isEnabled();
    }
    /// What the view shows at window point (x, y) at level 0, from the picture itself.
    QRgb shownAt(const QImage &image, int x, int y) {
        const PictureLayout &layout = picture().layout();
        CLumadeskView &view = *frame().view();
        const int px = x - layout.x + view.horizontalScrollBar()->value();
        const int py = y - layout.y + view.verticalScrollBar()->value();
        if (px < 0 || py < 0 || px >= image.width() || py >= image.height())
            return picture().background().rgb();
        return image.pixel(px, py);
    }
    /// The camera frame (bottom row first, blue green red) the window's rectangle at (left, top)
    /// makes, built pixel by pixel from the picture.
    std::vector<uint8_t> expectedFrame(const QImage &image, int left, int top, int w, int h) {
        std::vector<uint8_t> frame;
        for (int r = h - 1; r >= 0; --r)
            for (int c = 0; c < w; ++c) {
                const QRgb p = shownAt(image, left + c, top + r);
                frame.insert(frame.end(),
                             {uint8_t(qBlue(p)), uint8_t(qGreen(p)), uint8_t(qRed(p))});
            }
        return frame;
    }
    void mouse(QEvent::Type type, QPoint at) {
        QWidget *viewport = frame().view()->viewport();
        QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    }
};

// Opening b.GIF browses its folder: Next goes to d.jpg and is then disabled, Previous comes
// back; a listed file that is no picture gives the default picture, "Default" and the message.
TEST_F(PictureTest, FolderBrowsingAndItsRules) {
    ASSERT_EQ(start(), Running::Running);
    const fs::path dir = root_.path() / "pictures";
    writePattern(dir / "a.bmp", {40, 30});
    writePattern(dir / "b.GIF.bmp", {8, 8});  // b.GIF itself: Qt writes no GIF
    fs::rename(dir / "b.GIF.bmp", dir / "b.GIF");
    test::writeFile(dir / "c.txt", "x");
    writePattern(dir / "d.jpg", {50, 20});
    ASSERT_TRUE(app().doc()->OnOpenDocument(QString::fromStdString((dir / "b.GIF").string())));
    EXPECT_EQ(picture().folder().count(), 3);
    EXPECT_EQ(picture().folder().index, 2);
    EXPECT_EQ(picture().picture().size(), QSize(8, 8));
    EXPECT_TRUE(enabled(kShowPrevious));
    EXPECT_TRUE(enabled(kShowNext));

    run(kZoomIn);
    run(kShowNext);
    EXPECT_EQ(picture().picture().size(), QSize(50, 20));
    EXPECT_EQ(picture().zoom(), 0);
    EXPECT_EQ(frame().windowTitle(), QStringLiteral("d.jpg - Lumadesk"));
    EXPECT_FALSE(enabled(kShowNext));
    run(kShowPrevious);
    run(kShowPrevious);
    EXPECT_EQ(picture().picture().size(), QSize(40, 30));
    EXPECT_FALSE(enabled(kShowPrevious));

    test::writeFile(dir / "a.bmp", "not a picture");
    run(kShowNext);
    run(kShowPrevious);
    EXPECT_EQ(picture().picture().size(), QSize(640, 480));  // the default picture
    EXPECT_EQ(frame().windowTitle(), QStringLiteral("Default - Lumadesk"));
    ASSERT_FALSE(prompter_.shown.empty());
    EXPECT_EQ(prompter_.shown.back().caption, QStringLiteral("Can not load picture"));
    EXPECT_EQ(prompter_.shown.back().text, QStringLiteral("Not a known picture type"));
}

// A PNG and a .jpeg are pictures: opened (as the command line, a hand-over and a drop do) they
// are shown, titled by name and filed under the recent pictures, never played as a movie; Next
// and Previous browse them with the rest of the folder.
TEST_F(PictureTest, PngAndJpegAreOpenedAsPictures) {
    ASSERT_EQ(start(), Running::Running);
    const fs::path dir = root_.path() / "formats";
    writePattern(dir / "a.bmp", {40, 30});
    writePattern(dir / "p2.png", {21, 13});
    writePattern(dir / "q.jpeg", {30, 10});
    const QString png = QString::fromStdString((dir / "p2.png").string());
    ASSERT_TRUE(app().doc()->OnOpenDocument(png));
    EXPECT_TRUE(prompter_.shown.empty()) << messages().front();
    EXPECT_EQ(picture().picture().size(), QSize(21, 13));
    EXPECT_EQ(frame().windowTitle(), QStringLiteral("p2.png - Lumadesk"));
    EXPECT_EQ(app().context().recentPictures.paths(), QStringList({png}));
    EXPECT_TRUE(app().context().recentMovies.paths().isEmpty());
    EXPECT_FALSE(frame().controlBar(kMovieControlBar)->isVisibleTo(&frame()));
    EXPECT_EQ(picture().folder().count(), 3);
    run(kShowNext);
    EXPECT_EQ(picture().picture().size(), QSize(30, 10));
    EXPECT_EQ(frame().windowTitle(), QStringLiteral("q.jpeg - Lumadesk"));
    run(kShowPrevious);
    run(kShowPrevious);
    EXPECT_EQ(picture().picture().size(), QSize(40, 30));
}

// A picture file that cannot be shown gets the design's message with the file and what is wrong
// with it on the line under it: no picture of a known type, damaged, or too large.
TEST_F(PictureTest, PictureErrorsNameTheFileAndTheProblem) {
    ASSERT_EQ(start(), Running::Running);
    const fs::path dir = root_.path() / "bad";
    fs::create_directories(dir);
    // A GIF of 30000 × 30000 pixels: refused by its size before any pixel is read.
    std::string huge(
        "GIF89a\x30\x75\x30\x75\0\0\0"
        "\x2C\0\0\0\0\x30\x75\x30\x75\0\x02\x02\x4C\x01\0\x3B",
        30);
    const std::pair<std::string, std::string> files[] = {
        {"text.gif", "not a picture"},
        {"cut.bmp", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(40, 'x')},
        {"huge.gif", huge},
    };
    for (const auto &[name, bytes] : files)
        test::writeFile(dir / name, bytes);
    auto shown = [&](const std::string &name) {
        prompter_.shown.clear();
        app().doc()->OnOpenDocument(QString::fromStdString((dir / name).string()));
        EXPECT_EQ(prompter_.shown.size(), 1u) << name;
        return prompter_.shown.empty() ? QStringList() : prompter_.shown[0].text.split(u'\n');
    };
    const QString at = QString::fromStdString(dir.string()) + u'/';
    EXPECT_EQ(shown("text.gif"),
              QStringList({QStringLiteral("IPicture interface is not supported \t"),
                           at + QStringLiteral("text.gif is not a picture of a type Lumadesk reads "
                                               "(BMP, DIB, EMF, GIF, ICO, JPG, PNG, WMF).")}));
    EXPECT_EQ(shown("cut.bmp"),
              QStringList({QStringLiteral("IPicture interface is not supported \t"),
                           at + QStringLiteral("cut.bmp is damaged or not a complete picture.")}));
    const QStringList tooLarge = shown("huge.gif");
    ASSERT_EQ(tooLarge.size(), 2);
    EXPECT_EQ(tooLarge[0], QStringLiteral("Can not allocate enough memory \t"));
    EXPECT_TRUE(
        tooLarge[1].startsWith(at + QStringLiteral("huge.gif is too large a picture: at most ")))
        << tooLarge[1].toStdString();
    EXPECT_EQ(prompter_.shown[0].caption, QStringLiteral("Error"));
}

TEST_F(PictureTest, ZoomStopsAtFiftyEitherWay) {
    ASSERT_EQ(start(), Running::Running);
    for (int i = 0; i < 51; ++i)
        picture().zoomIn();
    EXPECT_EQ(picture().zoom(), 50);
    EXPECT_EQ(picture().layout().drawWidth, 51 * 640);
    EXPECT_EQ(frame().view()->horizontalScrollBar()->maximum(),
              51 * 640 - 2 - frame().view()->viewport()->width());
    run(kZoomOff);
    EXPECT_EQ(picture().zoom(), 0);
    for (int i = 0; i < 51; ++i)
        picture().zoomOut();
    EXPECT_EQ(picture().zoom(), -50);
    EXPECT_EQ(picture().layout().drawWidth, 640 / 51);
}

// Set picture sends the pixels under the pick frame as the view shows them, without the
// frame's outline, also where the frame lies partly outside the window (the view's
// background there), and stores the frame as the last image.
TEST_F(PictureTest, SetPictureSendsThePickedRegion) {
    camera_.setSize(32, 24);
    ASSERT_EQ(start(), Running::Running);
    // Taller than the window: drawn from the window's top.
    const QImage image = writePattern(root_.path() / "p.bmp", {200, 600});
    ASSERT_TRUE(
        app().doc()->OnOpenDocument(QString::fromStdString((root_.path() / "p.bmp").string())));
    EXPECT_FALSE(picture().pickFrameShown());
    run(kSetPicture);  // shows a frame of the camera's size around the old centre
    EXPECT_TRUE(picture().pickFrameShown());
    EXPECT_EQ(picture().pickRect(), QRect(210 - 16, 170 - 12, 32, 24));
    ASSERT_EQ(camera_.commitCount(), 1u);
    const QRect pick = picture().pickRect();
    EXPECT_EQ(camera_.commits()[0].frame, expectedFrame(image, pick.x(), pick.y(), 32, 24));
    std::vector<uint8_t> stored;
    ASSERT_TRUE(ReadStoredImage(storedImagePath(), 32, 24, stored));
    EXPECT_EQ(stored, camera_.commits()[0].frame);

    // Dragged over the picture's left edge and past the window's top.
    const PictureLayout &layout = picture().layout();
    ASSERT_EQ(layout.y, 0);
    const QPoint grab = pick.center();
    mouse(QEvent::MouseButtonPress, grab);
    const QPoint to = grab + QPoint(layout.x - 10 - pick.left(), -8 - pick.top());
    mouse(QEvent::MouseMove, to);
    mouse(QEvent::MouseButtonRelease, to);
    const QRect moved = picture().pickRect();
    EXPECT_EQ(moved.topLeft(), pick.topLeft() + (to - grab));
    EXPECT_EQ(moved.topLeft(), QPoint(layout.x - 10, -8));
    run(kSetPicture);
    ASSERT_EQ(camera_.commitCount(), 2u);
    const std::vector<uint8_t> sent = camera_.commits()[1].frame;
    ASSERT_EQ(sent.size(), 32u * 24 * 3);
    EXPECT_EQ(sent, expectedFrame(image, moved.x(), moved.y(), 32, 24));

    // The frame hidden and shown again keeps its centre.
    run(kShowPickFrame);
    EXPECT_FALSE(picture().pickFrameShown());
    run(kShowPickFrame);
    EXPECT_EQ(picture().pickRect(), moved);
}

// The camera's failures have their messages: no format, no buffer.
TEST_F(PictureTest, CameraFailuresAreTold) {
    ASSERT_EQ(start(), Running::Running);
    camera_.setFailures(E_FAIL, S_OK);
    run(kShowPickFrame);
    run(kSetPicture);
    EXPECT_EQ(messages(), std::vector<std::string>({"DirectShow FAILED: ERROR! #800102",
                                                    "DirectShow FAILED: Get Buffer ERROR!"}));
    camera_.setFailures(S_OK, E_FAIL);
    run(kSetPicture);
    EXPECT_EQ(messages().back(), "DirectShow FAILED: Get Buffer ERROR!");
    EXPECT_FALSE(fs::exists(storedImagePath()));
}

// A clipboard picture enables Paste and replaces the picture; the folder stays the one of the
// file opened last.
TEST_F(PictureTest, PasteReplacesThePictureOnly) {
    ASSERT_EQ(start(), Running::Running);
    const fs::path dir = root_.path() / "pictures";
    writePattern(dir / "a.bmp", {40, 30});
    writePattern(dir / "b.bmp", {20, 10});
    ASSERT_TRUE(app().doc()->OnOpenDocument(QString::fromStdString((dir / "a.bmp").string())));
    QGuiApplication::clipboard()->clear();
    EXPECT_FALSE(enabled(kPaste));
    QImage pasted(12, 7, QImage::Format_ARGB32);
    pasted.fill(qRgba(10, 20, 30, 255));
    QGuiApplication::clipboard()->setImage(pasted);
    ASSERT_TRUE(test::waitFor([&] { return enabled(kPaste); }));
    run(kPaste);
    EXPECT_EQ(picture().picture().size(), QSize(12, 7));
    EXPECT_EQ(picture().picture().pixel(3, 3), qRgb(10, 20, 30));
    EXPECT_EQ(frame().windowTitle(), QStringLiteral("a.bmp - Lumadesk"));
    run(kShowNext);
    EXPECT_EQ(picture().picture().size(), QSize(20, 10));
    QGuiApplication::clipboard()->clear();
}

}  // namespace
}  // namespace lumaghost
