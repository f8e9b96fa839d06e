// SPDX-License-Identifier: LGPL-2.1-or-later
// The picture part: its drawing geometry, the folder it browses, zoom, the pick frame and its
// keys, setting the picked region on the camera (after a change of the camera's size too),
// pasting, and painting at a scale factor of 2.
#include "desk/picture/picture_editor.h"
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include "desk/app/system_environment.h"
#include "desk/dialogs/setup_main.h"
#include "desk/media/dialog_select_directory.h"
#include "desk/media/dialog_video_control.h"
#include "desk/media/movie_player.h"
#include "desk/media/preview_window.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/model/file_dialog_filter.h"
#include "desk/model/on_camera.h"
#include "desk/model/part_set.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/sequence/sequence_strip.h"
#include "desk/sequence/show_time.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "desk/window/palette_icon_engine.h"
#include "device/frame_channel.h"
#include "device/installed_devices.h"
#include "frames/picture_file.h"
#include "gst/playable_movie_types.h"
#include "media/sequence_file.h"
#include "platform/device_tree.h"
#include "platform/ini_file.h"
#include "tests/desk/camera_format_fixture.h"
#include "tests/desk/desk_fixture.h"
#include "tests/desk/ux_fixture.h"
#include "tests/device/test_camera.h"
#include "tests/gst/media_files.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using namespace cmd;
using Running = CLumadeskApp::StartResult;
using test::CameraFormatTest;
using test::kCameraFormat;
using test::kDevice;
using test::UxMediaTest;
using test::UxTest;
using test::waitFor;

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
    EXPECT_EQ(layoutPicture(c.client, c.picture, c.zoom), c.expected);
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

    PictureFolder folder = scanPictureFolder(path("b.GIF"));
    EXPECT_EQ(folder.files, QStringList({path("a.bmp"), path("b.GIF"), path("d.jpg"),
                                         path("e.jpeg"), path("f.Wmf"), path("g.PNG")}));
    EXPECT_EQ(folder.index, 2);
    EXPECT_EQ(scanPictureFolder(path("f.Wmf")).index, 5);
    EXPECT_EQ(scanPictureFolder(path("missing.bmp")).index, 6);
    EXPECT_EQ(scanPictureFolder(path("c.txt")).index, 1);
    EXPECT_TRUE(isPictureName(QStringLiteral("x.JPG")));
    EXPECT_TRUE(isPictureName(QStringLiteral("photo.jpeg")));
    EXPECT_TRUE(isPictureName(QStringLiteral("/a/p2.png")));
    EXPECT_FALSE(isPictureName(QStringLiteral("/a.png/readme")));
    EXPECT_FALSE(isPictureName(QStringLiteral("clip.avi")));
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
    ASSERT_TRUE(readStoredImage(storedImagePath(), 32, 24, stored));
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

// The pick frame moves with the arrow keys, ten pixels a press with Shift; dragged off the
// window it keeps a grip inside, so it can be taken back.
TEST_F(UxTest, PickFrameKeysAndGrip) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    frame().show();
    run(kShowPickFrame);
    ASSERT_TRUE(picture().pickFrameShown());
    EXPECT_NE(view().focusPolicy() & Qt::ClickFocus, 0);
    const QRect start = picture().pickRect();
    key(&view(), Qt::Key_Right);
    EXPECT_EQ(picture().pickRect(), start.translated(1, 0));
    key(&view(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(picture().pickRect(), start.translated(1, PictureEditor::kPickLargeStep));
    key(&view(), Qt::Key_Left, Qt::ShiftModifier);
    key(&view(), Qt::Key_Up);
    EXPECT_EQ(picture().pickRect(), start.translated(1 - PictureEditor::kPickLargeStep, 9));

    // Dragged far past the window's top left.
    const QRect before = picture().pickRect();
    const QPoint grab = before.center();
    mouse(QEvent::MouseButtonPress, grab);
    mouse(QEvent::MouseMove, grab - QPoint(5000, 5000));
    mouse(QEvent::MouseButtonRelease, grab - QPoint(5000, 5000));
    const QRect off = picture().pickRect();
    EXPECT_EQ(off.size(), before.size());
    EXPECT_EQ(off.right() + 1, PictureEditor::kPickGrip);
    EXPECT_EQ(off.bottom() + 1, PictureEditor::kPickGrip);
    // The grip is in the window: a drag from it brings the frame back.
    const QPoint grip(off.right() - 2, off.bottom() - 2);
    mouse(QEvent::MouseButtonPress, grip);
    mouse(QEvent::MouseMove, grip + QPoint(100, 100));
    mouse(QEvent::MouseButtonRelease, grip + QPoint(100, 100));
    EXPECT_EQ(picture().pickRect(), off.translated(100, 100));
}

// At a scale factor of 2 the view draws at the screen's pixels: a picture shown at half size
// keeps its one-pixel stripes. What goes to the camera keeps the window's pixels.
TEST_F(UxTest, ViewPaintsAtTheDevicePixelRatio) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    QImage stripes(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < stripes.height(); ++y)
        for (int x = 0; x < stripes.width(); ++x)
            stripes.setPixel(x, y, x % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const fs::path file = root_.path() / "stripes.bmp";
    ASSERT_TRUE(stripes.save(QString::fromStdString(file.string())));
    ASSERT_TRUE(app().doc()->OnOpenDocument(QString::fromStdString(file.string())));
    run(kZoomOut);
    const PictureLayout &layout = picture().layout();
    ASSERT_EQ(layout.drawWidth, 200);

    QImage screen(view().viewport()->size() * 2, QImage::Format_RGB32);
    screen.setDevicePixelRatio(2);
    {
        QPainter painter(&screen);
        picture().paint(painter, QRect(QPoint(0, 0), view().viewport()->size()));
    }
    const int y = (layout.y + 50) * 2;
    int contrasts = 0;
    for (int x = (layout.x + 10) * 2; x < (layout.x + 60) * 2; ++x) {
        if (std::abs(qGray(screen.pixel(x, y)) - qGray(screen.pixel(x + 1, y))) > 200)
            ++contrasts;
    }
    EXPECT_GT(contrasts, 90);
    // The camera's region at the window's own pixels.
    const QImage region = picture().renderRegion(QRect(0, 0, 64, 48));
    EXPECT_EQ(region.size(), QSize(64, 48));
}

// Set Lumaghost Picture during a movie ends the movie first: the picture stays on the camera.
TEST_F(UxMediaTest, SetPictureEndsTheMovie) {
    auto camera = startWithCamera();
    ASSERT_EQ(playMovie(clip("long.avi", 600)), S_OK);
    EXPECT_EQ(frame().onCamera().kind, OnCamera::Kind::Movie);
    EXPECT_TRUE(pane().startsWith(QStringLiteral("On the camera: movie ")));
    ASSERT_TRUE(app().doc()->OnOpenDocument(picturePath("green.bmp", qRgb(0, 255, 0))));
    ASSERT_TRUE(enabled(kSetPicture));
    run(kSetPicture);
    EXPECT_FALSE(movie().graphExists());
    EXPECT_EQ(pane(), QStringLiteral("On the camera: picture green.bmp"));
    const uint64_t set = camera->commitSequence();
    QElapsedTimer t;
    t.start();
    waitFor([&] { return t.elapsed() > 400; }, 2000);
    EXPECT_EQ(camera->commitSequence(), set);
    std::vector<uint8_t> shown;
    ASSERT_TRUE(camera->readLatest(shown));
    const size_t middle = (size_t(kCameraFormat.height / 2) * kCameraFormat.width + 32) * 3;
    EXPECT_EQ(shown[middle + 1], 255);
    EXPECT_EQ(shown[middle + 2], 0);
}

// The camera made again at 96x72 under a running Lumadesk: the next Set picture says so and
// sends nothing, the pick frame has the new size, and the Set picture after it sends a frame of
// that size to the new channel.
TEST_F(CameraFormatTest, SetPictureAfterASizeChangeTellsAndFollows) {
    startWithCamera({64, 48, 30});
    QImage image(200, 150, QImage::Format_RGB32);
    image.fill(Qt::red);
    const fs::path file = root_.path() / "red.bmp";
    ASSERT_TRUE(image.save(QString::fromStdString(file.string()), "BMP"));
    ASSERT_TRUE(app().doc()->OnOpenDocument(QString::fromStdString(file.string())));
    run(kShowPickFrame);
    EXPECT_EQ(picture().pickRect().size(), QSize(64, 48));

    ASSERT_TRUE(FrameChannel::create(frameChannelPath(kDevice), {96, 72, 30}).succeeded());
    run(kSetPicture);
    ASSERT_FALSE(messages().empty());
    EXPECT_EQ(messages().back().rfind("Lumadesk: The camera's frame size changed to 96 x 72", 0),
              0u)
        << messages().back();
    EXPECT_EQ(picture().pickRect().size(), QSize(96, 72));
    EXPECT_EQ(channel()->commitSequence(), 0u);

    const size_t told = messages().size();
    run(kSetPicture);
    EXPECT_EQ(messages().size(), told);
    auto now = channel();
    std::vector<uint8_t> frame;
    ASSERT_TRUE(now->readLatest(frame));
    ASSERT_EQ(frame.size(), 96u * 72 * 3);
    // Blue, green, red of the middle pixel: the red picture.
    const size_t middle = (36 * 96 + 48) * 3;
    EXPECT_EQ(frame[middle + 2], 255);
    EXPECT_EQ(frame[middle], 0);
}

}  // namespace
}  // namespace lumaghost
