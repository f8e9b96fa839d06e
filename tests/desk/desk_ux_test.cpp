// SPDX-License-Identifier: LGPL-2.1-or-later
// Lumadesk as a Linux desktop's user meets it: the status bar's source pane, the strip's marks
// and keys, the movie bar's times, the keys of the window, the preview's place, the window's
// growth in sequence mode, icons under a dark palette, the file and folder dialogs and the
// view at a scale factor of 2.
#include <QApplication>
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

#include <gst/gst.h>

#include "desk/app/system_environment.h"
#include "desk/media/dialog_select_directory.h"
#include "desk/media/dialog_video_control.h"
#include "desk/media/movie_player.h"
#include "desk/media/preview_window.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/model/file_dialog_filter.h"
#include "desk/model/on_camera.h"
#include "desk/model/part_set.h"
#include "desk/picture/picture_view.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/sequence/sequence_strip.h"
#include "desk/sequence/show_time.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "desk/window/palette_icon_engine.h"
#include "device/frame_channel.h"
#include "gst/playable_movie_types.h"
#include "platform/ini_file.h"
#include "tests/desk/desk_fixture.h"
#include "tests/device/test_camera.h"
#include "tests/gst/media_files.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using namespace cmd;
using test::waitFor;

constexpr ChannelFormat kCameraFormat{64, 48, 30};

class UxTest : public test::DeskFixture {
protected:
    UxTest() {
        cameraOutcome_ = CameraStart::Outcome::Ready;
        camera_.setSize(64, 48);
    }
    /// A command as a menu runs it: the states brought up to date, then the command.
    void run(int id) {
        frame().updateCommandStates();
        trigger(id);
    }
    bool enabled(int id) {
        frame().updateCommandStates();
        return frame().command(id)->isEnabled();
    }
    CLumadeskView &view() { return *frame().view(); }
    PictureView &picture() { return dynamic_cast<PictureView &>(*frame().parts().picture()); }
    SequenceEditor &editor() { return dynamic_cast<SequenceEditor &>(*frame().parts().sequence()); }
    SequenceStrip &strip() { return *editor().strip(); }
    QString pane() { return frame().sourcePane()->text(); }
    QString picturePath(const char *name, QRgb colour, QSize size = {400, 300}) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(colour);
        const fs::path file = root_.path() / "pictures" / name;
        fs::create_directories(file.parent_path());
        EXPECT_TRUE(image.save(QString::fromStdString(file.string())));
        return QString::fromStdString(file.string());
    }
    void key(QWidget *widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(widget, &press);
    }
    void mouse(QEvent::Type type, QPoint at) {
        QWidget *viewport = view().viewport();
        QMouseEvent event(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    }
};

/// Lumadesk on an installed camera, for the movie graphs.
class UxMediaTest : public UxTest {
protected:
    std::unique_ptr<FrameChannel> startWithCamera() {
        DeviceInstance device{"MEDIA", "0000"};
        EXPECT_TRUE(test::installCamera(device, "Lumaghost", kCameraFormat).succeeded());
        std::unique_ptr<FrameChannel> channel;
        EXPECT_TRUE(FrameChannel::open(frameChannelPath(device), channel).succeeded());
        cameraStart_ = [] { return startCamera(systemVersionSource()); };
        EXPECT_EQ(start(), CLumadeskApp::StartResult::Running);
        EXPECT_TRUE(view().cameraAvailable());
        return channel;
    }
    MoviePlayer &movie() { return *dynamic_cast<MoviePlayer *>(frame().parts().movie()); }
    QString clip(const std::string &name, int frames) {
        const fs::path path = root_.path() / "files" / name;
        fs::create_directories(path.parent_path());
        test::writeMediaFile(path, "videotestsrc num-buffers=" + std::to_string(frames) +
                                       " ! video/x-raw,width=160,height=120,framerate=10/1 ! "
                                       "jpegenc ! avimux");
        return QString::fromStdString(path.string());
    }
};

// Ctrl+Q quits; no key opens the maker's page (Home moves in lists and fields); Paste from
// clipboard has Ctrl+V and Shift+Insert, which no other command takes.
TEST_F(UxTest, LinuxKeys) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    EXPECT_TRUE(frame().command(kExit)->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Q)));
    EXPECT_TRUE(frame().command(kHomepage)->shortcuts().isEmpty());
    const QList<QKeySequence> paste = frame().command(kPaste)->shortcuts();
    EXPECT_TRUE(paste.contains(QKeySequence(Qt::CTRL | Qt::Key_V)));
    EXPECT_TRUE(paste.contains(QKeySequence(Qt::SHIFT | Qt::Key_Insert)));
    for (const auto &[id, action] : frame().commandActions()) {
        for (const QKeySequence &sequence : action->shortcuts()) {
            EXPECT_NE(sequence, QKeySequence(Qt::Key_Home)) << id;
            if (id != kPaste) {
                EXPECT_NE(sequence, QKeySequence(Qt::CTRL | Qt::Key_V)) << id;
            }
        }
    }
    // The packs' menu text shows no key for the page either.
    for (const char *pack : {"English.ini", "German.ini"}) {
        const std::optional<IniFile> ini =
            IniFile::load(fs::path(LUMAGHOST_RES_DIR) / "lang" / pack);
        ASSERT_TRUE(ini) << pack;
        const std::string text = ini->value("MENU", "ID147").value_or(std::string());
        EXPECT_FALSE(text.empty()) << pack;
        EXPECT_EQ(text.find('\t'), std::string::npos) << pack << ": " << text;
    }
    // Ctrl+Q reaches the close of the window.
    bool closed = false;
    QObject::connect(&frame(), &CMainFrame::closed, [&] { closed = true; });
    frame().command(kExit)->trigger();
    EXPECT_TRUE(waitFor([&] { return closed; }));
}

// No lock-key panes that are always off: the status bar holds the message and the source pane.
TEST_F(UxTest, NoLockPanesThatCannotKnow) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    for (QLabel *label : frame().statusBar()->findChildren<QLabel *>()) {
        for (const char *lock : {"CAP", "NUM", "SCRL"})
            EXPECT_NE(label->text(), QLatin1String(lock));
    }
}

// The source pane names the stored image at the start, the picture set, and stays in every
// mode; its accessible name is its text.
TEST_F(UxTest, SourcePaneNamesThePictureSet) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    QLabel *sourcePane = frame().sourcePane();
    ASSERT_NE(sourcePane, nullptr);
    EXPECT_EQ(pane(), QStringLiteral("On the camera: the stored image"));
    EXPECT_EQ(sourcePane->accessibleName(), pane());
    frame().show();
    EXPECT_TRUE(sourcePane->isVisible());

    ASSERT_TRUE(app().doc()->OnOpenDocument(picturePath("red.bmp", qRgb(255, 0, 0))));
    run(kSetPicture);
    EXPECT_EQ(pane(), QStringLiteral("On the camera: picture red.bmp"));
    // Another picture opened is not on the camera until it is set.
    ASSERT_TRUE(app().doc()->OnOpenDocument(picturePath("blue.bmp", qRgb(0, 0, 255))));
    EXPECT_EQ(pane(), QStringLiteral("On the camera: picture red.bmp"));
    run(kSequence);
    EXPECT_TRUE(sourcePane->isVisible());
    EXPECT_EQ(sourcePane->accessibleName(), pane());
}

// The pane speaks the language chosen.
TEST_F(UxTest, SourcePaneInGerman) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    app().context().packs.SelectLanguage(1031);
    frame().applyLanguage();
    EXPECT_EQ(pane(), QStringLiteral("Auf der Kamera: das gespeicherte Bild"));
    EXPECT_EQ(frame().sourcePane()->accessibleName(), pane());
}

// A sequence that plays: the pane says which item of how many, the strip marks it, and each
// thumbnail has its display time under it; Stop takes the mark away.
TEST_F(UxTest, PlayingSequenceItemIsNamedAndMarked) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    run(kSequence);
    for (QRgb colour : {qRgb(255, 0, 0), qRgb(0, 255, 0)}) {
        ASSERT_TRUE(app().doc()->OnOpenDocument(
            picturePath((std::to_string(colour) + ".bmp").c_str(), colour)));
        run(kAddItem);
    }
    ASSERT_EQ(strip().count(), 2);
    EXPECT_EQ(strip().timeText(0), QStringLiteral("1000 ms"));
    EXPECT_FALSE(strip().timeRect(0).isEmpty());
    EXPECT_GE(strip().height(), SequenceStrip::kTotalHeight);
    EXPECT_LE(strip().timeRect(0).bottom(), strip().height() - 1);

    run(kPlaySequence);
    ASSERT_TRUE(waitFor([&] { return strip().playingItem() == 0; }));
    EXPECT_EQ(pane(), QStringLiteral("On the camera: sequence item 1 of 2"));
    ASSERT_TRUE(waitFor([&] { return strip().playingItem() == 1; }, 4000));
    EXPECT_EQ(pane(), QStringLiteral("On the camera: sequence item 2 of 2"));
    // The mark is drawn: the time row of the item on the camera has the highlight's colour.
    const QImage shown = strip().grab().toImage();
    const QRect row = strip().timeRect(1);
    EXPECT_EQ(shown.pixelColor(row.left() + 2, row.top() + 2),
              strip().palette().color(QPalette::Highlight));
    run(kStopSequence);
    EXPECT_EQ(strip().playingItem(), -1);
    EXPECT_EQ(pane(), QStringLiteral("On the camera: nothing plays"));
}

// The strip takes the focus: the arrow keys select, Delete deletes the selected item.
TEST_F(UxTest, StripKeys) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    run(kSequence);
    for (QRgb colour : {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)}) {
        ASSERT_TRUE(app().doc()->OnOpenDocument(
            picturePath((std::to_string(colour) + ".bmp").c_str(), colour)));
        run(kAddItem);
    }
    EXPECT_NE(strip().focusPolicy() & Qt::TabFocus, 0);
    EXPECT_EQ(strip().selected(), -1);
    key(&strip(), Qt::Key_Right);
    EXPECT_EQ(strip().selected(), 0);
    EXPECT_TRUE(enabled(kDeleteItem));
    key(&strip(), Qt::Key_Right);
    key(&strip(), Qt::Key_Right);
    key(&strip(), Qt::Key_Right);
    EXPECT_EQ(strip().selected(), 2);
    key(&strip(), Qt::Key_Left);
    EXPECT_EQ(strip().selected(), 1);
    // The display-time bar follows the keys as it follows clicks.
    strip().item(2).frame.displayTime = 4000;
    key(&strip(), Qt::Key_Right);
    EXPECT_EQ(editor().displayTimeBar()->slider()->value(), 4000);
    key(&strip(), Qt::Key_Delete);
    EXPECT_EQ(strip().count(), 2);
    EXPECT_EQ(strip().selected(), 1);
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
    EXPECT_EQ(picture().pickRect(), start.translated(1, PictureView::kPickLargeStep));
    key(&view(), Qt::Key_Left, Qt::ShiftModifier);
    key(&view(), Qt::Key_Up);
    EXPECT_EQ(picture().pickRect(), start.translated(1 - PictureView::kPickLargeStep, 9));

    // Dragged far past the window's top left.
    const QRect before = picture().pickRect();
    const QPoint grab = before.center();
    mouse(QEvent::MouseButtonPress, grab);
    mouse(QEvent::MouseMove, grab - QPoint(5000, 5000));
    mouse(QEvent::MouseButtonRelease, grab - QPoint(5000, 5000));
    const QRect off = picture().pickRect();
    EXPECT_EQ(off.size(), before.size());
    EXPECT_EQ(off.right() + 1, PictureView::kPickGrip);
    EXPECT_EQ(off.bottom() + 1, PictureView::kPickGrip);
    // The grip is in the window: a drag from it brings the frame back.
    const QPoint grip(off.right() - 2, off.bottom() - 2);
    mouse(QEvent::MouseButtonPress, grip);
    mouse(QEvent::MouseMove, grip + QPoint(100, 100));
    mouse(QEvent::MouseButtonRelease, grip + QPoint(100, 100));
    EXPECT_EQ(picture().pickRect(), off.translated(100, 100));
}

// Entering sequence mode in the default window makes it tall enough for the pick frame, with
// the room it was placed in, above the strip, within the screen.
TEST_F(UxTest, SequenceModeFitsThePickFrame) {
    camera_.setSize(320, 240);
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    frame().show();
    ASSERT_EQ(frame().size(), QSize(580, 460));
    run(kSequence);
    QCoreApplication::processEvents();
    const QRect pick = picture().pickRect();
    EXPECT_EQ(pick.size(), QSize(320, 240));
    EXPECT_GE(view().viewport()->height(), pick.bottom() + 1);
    EXPECT_TRUE(frame().screen()->availableGeometry().contains(frame().geometry()));
    // The strip lies under the view, whole.
    QWidget *place = frame().controlBar(kSequenceStrip);
    EXPECT_EQ(place->height(), SequenceStrip::kTotalHeight);
    EXPECT_GE(place->mapTo(&frame(), QPoint(0, 0)).y(),
              view().mapTo(&frame(), QPoint(0, view().height())).y());
    EXPECT_LE(place->mapTo(&frame(), QPoint(0, place->height())).y(),
              frame().statusBar()->mapTo(&frame(), QPoint(0, 0)).y());
    // Back in picture mode the window keeps its size.
    const QSize grown = frame().size();
    run(kSequence);
    EXPECT_EQ(frame().size(), grown);
}

// A sequence opened before the window is shown (from the command line) grows it once it is,
// by what the pick frame needs, not by what an unshown view measures.
TEST_F(UxTest, SequenceOpenedAtTheStartFitsOnceShown) {
    camera_.setSize(320, 240);
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    frame().hide();
    run(kSequence);
    EXPECT_EQ(frame().size(), QSize(580, 460));
    frame().show();
    ASSERT_TRUE(waitFor([&] { return frame().height() > 460; }));
    const QRect pick = picture().pickRect();
    EXPECT_GE(view().viewport()->height(), pick.bottom() + 1);
    // No more than the room it needs, and a few pixels of the bars' settling.
    EXPECT_LE(view().viewport()->height(), pick.bottom() + 1 + pick.top() + 24);
    EXPECT_TRUE(frame().screen()->availableGeometry().contains(frame().geometry()));
}

// The preview goes beside the main window: to its right, else its left, else below or above;
// over it only when the screen has no room anywhere.
TEST(PreviewPlaceTest, BesideTheOwnerOnItsScreen) {
    const QRect screen(0, 0, 1920, 1080);
    const QSize size(320, 240);
    EXPECT_EQ(PreviewWindow::placeBeside(QRect(100, 100, 580, 460), size, screen),
              QRect(688, 100, 320, 240));
    EXPECT_EQ(PreviewWindow::placeBeside(QRect(1300, 100, 580, 460), size, screen),
              QRect(972, 100, 320, 240));
    EXPECT_EQ(PreviewWindow::placeBeside(QRect(0, 0, 1800, 500), size, screen),
              QRect(0, 508, 320, 240));
    EXPECT_EQ(PreviewWindow::placeBeside(QRect(0, 600, 1800, 480), size, screen),
              QRect(0, 352, 320, 240));
    // Low on the screen: moved up to stay on it.
    EXPECT_EQ(PreviewWindow::placeBeside(QRect(100, 900, 580, 170), size, screen),
              QRect(688, 840, 320, 240));
    // A maximised owner: over its lower right, never over its menu bar.
    const QRect full = PreviewWindow::placeBeside(screen, size, screen);
    EXPECT_EQ(full, QRect(1600, 840, 320, 240));
    // A second screen to the right: placed on the owner's.
    const QRect right(1920, 0, 1280, 1024);
    EXPECT_TRUE(right.contains(PreviewWindow::placeBeside(QRect(2000, 50, 580, 460), size, right)));
}

// Our icons follow the palette: under a dark one their ink is light, under a light one dark.
TEST_F(UxTest, IconsFollowThePalette) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    const QPalette original = QApplication::palette();
    auto inkLightness = [&](int id) {
        const QImage image = frame().command(id)->icon().pixmap(QSize(32, 32)).toImage();
        int64_t sum = 0, count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (c.alpha() > 200) {
                    sum += c.lightness();
                    ++count;
                }
            }
        return count ? int(sum / count) : -1;
    };
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x2d));
    dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    dark.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(dark);
    for (int id : {kShowNext, kShowPrevious, kZoomIn, kZoomOut, kZoomOff})
        EXPECT_GT(inkLightness(id), 180) << id;
    QPalette light;
    light.setColor(QPalette::ButtonText, QColor(0x20, 0x20, 0x20));
    QApplication::setPalette(light);
    for (int id : {kShowNext, kZoomIn})
        EXPECT_LT(inkLightness(id), 80) << id;
    QApplication::setPalette(original);

    // The dark bodies get an outline of the ink.
    const QByteArray body = R"(<rect fill="#2e3436"/><path stroke="#2b3a55"/>)";
    QPalette white;
    white.setColor(QPalette::ButtonText, Qt::white);
    EXPECT_EQ(PaletteIconEngine::tinted(body, white, QIcon::Normal),
              QByteArray(R"(<rect fill="#2e3436" stroke="#ffffff" stroke-width="1"/>)"
                         R"(<path stroke="#ffffff"/>)"));
}

// The filters show their patterns once, "*" for every file, the movie types GStreamer plays
// beside the legacy ones, and File Open starts on the filter of everything Lumadesk opens.
TEST(FileDialogFilterTest, PatternsOnceAndAllFiles) {
    EXPECT_EQ(fileDialogFilter("AVI files(*.avi)|*.avi|Microsoft Media(*.wmv;*.asf)|*.wmv;*.asf|"
                               "All Files (*.*)|*.*||"),
              QStringLiteral("AVI files (*.avi);;Microsoft Media (*.wmv *.asf);;All Files (*)"));
    EXPECT_EQ(fileDialogFilter("Picture Files (bmp dib jpg)|*.bmp;*.dib;*.jpg||"),
              QStringLiteral("Picture Files (*.bmp *.dib *.jpg)"));
    // A name whose parentheses say something else keeps them.
    EXPECT_EQ(fileDialogFilter("Pictures (old)|*.bmp||"), QStringLiteral("Pictures (old) (*.bmp)"));
    const QString movies = fileDialogFilter(
        "All support movie format|*.avi;*.wmv;*.mpg|AVI files(*.avi)|*.avi||", {"mp4", "avi"});
    EXPECT_EQ(movies, QStringLiteral("All support movie format (*.avi *.wmv *.mpg *.mp4);;"
                                     "AVI files (*.avi)"));
    EXPECT_EQ(openDialogFilter("Movies|*.avi;*.mpg|Sequences|*.lgs|Pictures|*.jpg|All|*.*||",
                               "Everything", {"mkv"}),
              QStringLiteral("Everything (*.avi *.mpg *.mkv *.lgs *.jpg);;Movies (*.avi *.mpg "
                             "*.mkv);;Sequences (*.lgs);;Pictures (*.jpg);;All (*)"));
}

// The movie types offered are those this machine's GStreamer plays.
TEST(FileDialogFilterTest, MovieTypesGStreamerPlays) {
    ASSERT_TRUE(gst_init_check(nullptr, nullptr, nullptr));
    const std::vector<std::string> types = PlayableMovieTypes({"mkv", "mp4", "webm", "nosuchtype"});
    auto has = [&](const char *type) {
        return std::find(types.begin(), types.end(), type) != types.end();
    };
    auto installed = [](const char *element) {
        GstElementFactory *factory = gst_element_factory_find(element);
        if (factory)
            gst_object_unref(factory);
        return factory != nullptr;
    };
    EXPECT_EQ(has("mkv"), installed("matroskademux"));
    EXPECT_EQ(has("webm"), installed("matroskademux"));
    EXPECT_EQ(has("mp4"), installed("qtdemux"));
    EXPECT_FALSE(has("nosuchtype"));
    // gstreamer1.0-plugins-good is a dependency: both demuxers are here.
    EXPECT_TRUE(has("mkv") && has("mp4"));
}

/// Runs `open`, which shows a file dialog, and hands the dialog to `work` once it is shown.
void withFileDialog(const std::function<void()> &open,
                    const std::function<void(QFileDialog &)> &work) {
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || seen)
            return;
        seen = true;
        work(*dialog);
    });
    poll.start(20);
    open();
    poll.stop();
    EXPECT_TRUE(seen);
}

TEST_F(UxTest, FileOpenStartsOnEverythingLumadeskOpens) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    withFileDialog([&] { app().doc()->onFileOpen(); },
                   [](QFileDialog &dialog) {
                       const QString selected = dialog.selectedNameFilter();
                       EXPECT_TRUE(selected.startsWith(QStringLiteral("All files Lumadesk opens")))
                           << selected.toStdString();
                       for (const char *pattern : {"*.jpg", "*.lgs", "*.avi", "*.mkv", "*.wmf"})
                           EXPECT_TRUE(selected.contains(QLatin1String(pattern))) << pattern;
                       for (const QString &filter : dialog.nameFilters())
                           EXPECT_EQ(filter.count(u'('), 1) << filter.toStdString();
                       EXPECT_TRUE(dialog.nameFilters().last().endsWith(QStringLiteral("(*)")));
                       dialog.reject();
                   });
}

// The directory dialog's "..." asks for a folder, and the folder chosen goes into the box.
TEST_F(UxTest, DirectoryBrowseChoosesAFolder) {
    ASSERT_EQ(start(), CLumadeskApp::StartResult::Running);
    const fs::path folder = root_.path() / "movies only";
    fs::create_directories(folder);
    CDialogSelectDirectory dialog(app().context(), &frame());
    withFileDialog([&] { dialog.browse(); },
                   [&](QFileDialog &files) {
                       EXPECT_EQ(files.fileMode(), QFileDialog::Directory);
                       EXPECT_TRUE(files.testOption(QFileDialog::ShowDirsOnly));
                       if (files.fileMode() != QFileDialog::Directory) {
                           files.reject();  // a file dialog never accepts a folder
                           return;
                       }
                       // Accepted in the folder itself, as its "Choose" button does.
                       files.setDirectory(QString::fromStdString(folder.string()));
                       files.selectFile(QString());
                       QMetaObject::invokeMethod(&files, "accept");
                   });
    EXPECT_EQ(dialog.directoryCombo()->currentText(), QString::fromStdString(folder.string()));
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

// The movie bar shows the elapsed and the total time; the pane names the movie, and Stop Above
// says nothing plays.
TEST_F(UxMediaTest, MovieBarTimes) {
    EXPECT_EQ(CDialogVideoControl::formatMediaTime(0), QStringLiteral("0:00"));
    EXPECT_EQ(CDialogVideoControl::formatMediaTime(int64_t{61} * 10000000), QStringLiteral("1:01"));
    EXPECT_EQ(CDialogVideoControl::formatMediaTime(int64_t{3661} * 10000000),
              QStringLiteral("1:01:01"));
    auto camera = startWithCamera();
    const QString file = clip("clip.avi", 25);  // 2.5 s at 10 frames a second
    ASSERT_EQ(playMovie(file), S_OK);
    EXPECT_EQ(pane(), QStringLiteral("On the camera: movie ") + file);
    QLabel *time = movie().controlBar()->timeLabel();
    ASSERT_NE(time, nullptr);
    EXPECT_TRUE(time->text().endsWith(QStringLiteral(" / 0:02"))) << time->text().toStdString();
    ASSERT_TRUE(waitFor([&] { return time->text().startsWith(QStringLiteral("0:01")); }, 5000))
        << time->text().toStdString();
    EXPECT_EQ(time->accessibleName(), time->text());
    run(kStopAbove);
    EXPECT_EQ(pane(), QStringLiteral("On the camera: nothing plays"));
}

}  // namespace
}  // namespace lumaghost
