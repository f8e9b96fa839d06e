// SPDX-License-Identifier: LGPL-2.1-or-later
// The main window under the offscreen platform: start-up and its place, the driver messages,
// the modes and command rules, the open operation, the Setup dialog and languages, the tray,
// the close check, another start, help and About; its keys, the source pane, its growth in
// sequence mode and its icons under a dark palette.
#include "desk/window/main_frame.h"
#include <fcntl.h>
#include <gst/gst.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>
#include "desk/app/single_instance.h"
#include "desk/app/system_environment.h"
#include "desk/app/termination_signals.h"
#include "desk/dialogs/about_dlg.h"
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
#include "desk/picture/picture_editor.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/sequence/sequence_strip.h"
#include "desk/sequence/show_time.h"
#include "desk/service/play_service_control.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/palette_icon_engine.h"
#include "device/frame_channel.h"
#include "gst/playable_movie_types.h"
#include "lang/pack_ids.h"
#include "platform/ini_file.h"
#include "platform/project_info.h"
#include "tests/desk/desk_fixture.h"
#include "tests/desk/ux_fixture.h"
#include "tests/device/test_camera.h"
#include "tests/gst/media_files.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using namespace cmd;
using test::DeskFixture;
using Running = CLumadeskApp::StartResult;
using test::UxTest;
using test::waitFor;

QString menuTitle(QMenuBar *bar, int index) {
    return bar->actions().at(index)->text();
}

class WindowTest : public DeskFixture {
protected:
    QString statusText() { return frame().statusBar()->currentMessage(); }
    bool enabled(int id) {
        frame().updateCommandStates();
        return frame().command(id)->isEnabled();
    }
    QString writeFile(const std::string &name, const std::string &text = "x") {
        const fs::path path = root_.path() / "files" / name;
        test::writeFile(path, text);
        return QString::fromStdString(path.string());
    }
};

// An empty store opens the window at (40, 40), 580 × 460, in the system's language, and the
// Setup dialog ticks every box but "When save the sequence auto set it for play".
TEST_F(WindowTest, EmptyStoreDefaults) {
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    const auto started = start();
    ::unsetenv("LC_ALL");
    ASSERT_EQ(started, Running::Running);
    // The frame's top-left, the window's size.
    EXPECT_EQ(frame().pos(), QPoint(40, 40));
    EXPECT_EQ(frame().size(), QSize(580, 460));
    EXPECT_EQ(app().context().packs.CurrentLanguageId(), 1031);
    EXPECT_EQ(menuTitle(frame().menuBar(), 0), QStringLiteral("&Datei"));
    runSetup([](CSetupMain &setup) {
        for (int id : {pack_ids::kAutoSetLastImage, pack_ids::kServiceAutoStart,
                       pack_ids::kMiniSizeToSystemTray, pack_ids::kStretch, pack_ids::kKeepRatio,
                       pack_ids::kCenter})
            EXPECT_TRUE(setup.checkBox(id)->isChecked()) << id;
        EXPECT_FALSE(setup.checkBox(pack_ids::kAutoSaveSequenceForNext)->isChecked());
        EXPECT_TRUE(setup.checkBox(pack_ids::kKeepRatio)->isEnabled());
        // The dialog's language is the one in use, not English.
        EXPECT_EQ(setup.values().language, 1031);
        setup.reject();
    });
    // Cancel wrote nothing, and the session keeps its language.
    EXPECT_FALSE(fs::exists(configFile()));
    EXPECT_EQ(app().context().packs.CurrentLanguageId(), 1031);
    EXPECT_EQ(menuTitle(frame().menuBar(), 0), QStringLiteral("&Datei"));
}

// The place is stored when the window goes, its normal place while minimised; a place off
// every screen comes back onto the primary screen.
TEST_F(WindowTest, PlacementIsStoredAndKeptOnScreen) {
    ASSERT_EQ(start(), Running::Running);
    frame().move(100, 120);
    frame().resize(500, 400);
    frame().showMinimized();
    exit();
    SettingsStore store(userHive(), errors_);
    EXPECT_EQ(store.readInt(settings::kMain, settings::kLastX), 100);
    EXPECT_EQ(store.readInt(settings::kMain, settings::kLastY), 120);
    EXPECT_EQ(store.readInt(settings::kMain, settings::kLastCx), 500);
    EXPECT_EQ(store.readInt(settings::kMain, settings::kLastCy), 400);
    ASSERT_EQ(start(), Running::Running);
    EXPECT_EQ(QRect(frame().pos(), frame().size()), QRect(100, 120, 500, 400));
    exit();

    store.writeInts(settings::kMain, {{"LastX", 5000}, {"LastY", -3000}});
    ASSERT_EQ(start(), Running::Running);
    EXPECT_EQ(QRect(frame().pos(), frame().size()), QRect(40, 40, 500, 400));
}

// Without a camera the driver message of the platform family is shown, and the camera's
// commands stay disabled; each failure of the camera start has its own message.
TEST_F(WindowTest, DriverMessagesAndCameraCommands) {
    ASSERT_EQ(start(), Running::Running);
    // The design's text, then what installs the camera here: without the installer beside the
    // program's data, the package.
    EXPECT_EQ(messages(),
              std::vector<std::string>(
                  {"Lumadesk: Can't find Lumaghost driver.\n\nPlease reinstall Lumaghost again!\n"
                   "No Lumaghost camera is installed. To install it, install the package:\n"
                   "sudo apt install lumaghost"}));
    for (int id : {kShowPickFrame, kSetPicture, kPreview, kStopPreview, kPlayMovie})
        EXPECT_FALSE(enabled(id)) << id;
    EXPECT_TRUE(enabled(kOpen));
    exit();

    prompter_.shown.clear();
    cameraOutcome_ = CameraStart::Outcome::VersionMismatch;
    test::FixedVersion windows98(1, 4, 10);
    versions_ = &windows98;
    prompter_.answers = {MessageAnswer::Ok, MessageAnswer::Yes};
    ASSERT_EQ(start(), Running::Running);
    ASSERT_EQ(prompter_.shown.size(), 2u);
    EXPECT_TRUE(prompter_.shown[0].text.startsWith(
        QStringLiteral("The driver and the main program have NOT the SAME version!")));
    EXPECT_EQ(prompter_.shown[1].caption, QStringLiteral("Driver Error"));
    EXPECT_EQ(prompter_.shown[1].buttons, MessageButtons::YesNo);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0].fragment(), QStringLiteral("install-driver"));
    exit();

    prompter_.shown.clear();
    cameraOutcome_ = CameraStart::Outcome::InitFailed;
    versions_ = nullptr;
    ASSERT_EQ(start(), Running::Running);
    ASSERT_EQ(prompter_.shown.size(), 2u);
    EXPECT_EQ(prompter_.shown[0].caption, QStringLiteral("DirectShow FAILED"));
    EXPECT_EQ(prompter_.shown[0].text, QStringLiteral("Initialize Lumaghost Error!"));
    EXPECT_FALSE(prompter_.shown[0].owned);
    exit();

    prompter_.shown.clear();
    cameraOutcome_ = CameraStart::Outcome::Ready;
    realCameras_ = {"USB Camera", "Other"};
    ASSERT_EQ(start(), Running::Running);
    EXPECT_TRUE(prompter_.shown.empty());
    EXPECT_TRUE(enabled(kSetPicture));
    // A part that is not installed leaves its commands disabled.
    app().frame()->parts().setPicture(nullptr);
    EXPECT_FALSE(enabled(kSetPicture));
    ASSERT_NE(frame().command(kFirstCamera + 1), nullptr);
    EXPECT_EQ(frame().command(kFirstCamera + 1)->text(), QStringLiteral("Camera - Other"));
    // Another language names the items in its words; the camera's name stays.
    app().context().packs.SelectLanguage(1031);
    frame().applyLanguage();
    ASSERT_NE(frame().command(kFirstCamera + 1), nullptr);
    EXPECT_EQ(frame().command(kFirstCamera + 1)->text(), QStringLiteral("Kamera - Other"));
}

// Where the installer and its device description lie beside the program's data (as the package
// puts them in share/lumaghost), the missing-camera message says to run it there.
TEST_F(WindowTest, MissingCameraNamesTheInstaller) {
    {
        std::ofstream(program_ / "Lumacam.inf") << "[Version]\n";
        std::ofstream(program_ / "lumasetup") << "#!/bin/sh\n";
        fs::permissions(program_ / "lumasetup", fs::perms::owner_all);
    }
    ASSERT_EQ(start(), Running::Running);
    ASSERT_EQ(prompter_.shown.size(), 1u);
    const QStringList lines = prompter_.shown[0].text.split(u'\n');
    ASSERT_EQ(lines.size(), 5) << prompter_.shown[0].text.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Can't find Lumaghost driver."));
    EXPECT_EQ(lines[3],
              QStringLiteral("No Lumaghost camera is installed. To install it, run as root:"));
    EXPECT_TRUE(lines[4].startsWith(
        QStringLiteral("cd ") + QString::fromStdString(program_.string()) + QStringLiteral(" && ")))
        << lines[4].toStdString();
    EXPECT_TRUE(lines[4].endsWith(QStringLiteral(" ./lumasetup"))) << lines[4].toStdString();
}

// Qt's own texts follow the pack: German buttons and file dialog words with the German pack,
// English again with the English one.
TEST_F(WindowTest, QtTextsFollowThePack) {
    ASSERT_EQ(start(), Running::Running);
    auto yes = [] { return QCoreApplication::translate("QPlatformTheme", "&Yes"); };
    auto lookIn = [] { return QCoreApplication::translate("QFileDialog", "Look in:"); };
    EXPECT_EQ(yes(), QStringLiteral("&Yes"));
    app().context().packs.SelectLanguage(1031);
    frame().applyLanguage();
    EXPECT_EQ(yes(), QStringLiteral("&Ja"));
    EXPECT_EQ(lookIn(), QStringLiteral("Suchen in:"));
    EXPECT_EQ(QLocale().language(), QLocale::German);
    app().context().packs.SelectLanguage(1033);
    frame().applyLanguage();
    EXPECT_EQ(yes(), QStringLiteral("&Yes"));
    EXPECT_EQ(QLocale().language(), QLocale::English);
}

// Sequence (152) twice returns to picture mode; Save waits for an item and goes to the
// sequence's save, as "Save as..." does.
TEST_F(WindowTest, ModesAndSequenceCommands) {
    ASSERT_EQ(start(), Running::Running);
    auto *picture = new test::FakePicture;
    frame().parts().setPicture(std::unique_ptr<PicturePart>(picture));
    QWidget *main = frame().controlBar(kMainToolBar);
    QWidget *sequenceBar = frame().controlBar(kSequenceToolBar);
    QWidget *strip = frame().controlBar(kSequenceStrip);
    EXPECT_TRUE(frame().pictureMode());
    EXPECT_FALSE(main->isHidden());
    EXPECT_TRUE(sequenceBar->isHidden());

    trigger(kSequence);
    frame().updateCommandStates();
    EXPECT_FALSE(frame().pictureMode());
    EXPECT_TRUE(main->isHidden());
    EXPECT_FALSE(sequenceBar->isHidden());
    EXPECT_FALSE(strip->isHidden());
    EXPECT_FALSE(frame().controlBar(kDisplayTimeBar)->parentWidget()->isEnabled());
    EXPECT_TRUE(frame().command(kSequence)->isChecked());
    EXPECT_EQ(picture->pickFrameShown, 1);

    trigger(kSequence);
    frame().updateCommandStates();
    EXPECT_TRUE(frame().pictureMode());
    EXPECT_FALSE(main->isHidden());
    EXPECT_TRUE(sequenceBar->isHidden());
    EXPECT_TRUE(strip->isHidden());
    EXPECT_TRUE(frame().controlBar(kDisplayTimeBar)->parentWidget()->isHidden());
    EXPECT_FALSE(frame().command(kSequence)->isChecked());

    auto *sequence = new test::FakeSequence;
    frame().parts().setSequence(std::unique_ptr<SequencePart>(sequence));
    EXPECT_FALSE(enabled(kSave));
    trigger(kSave);  // by its key, say: no part is asked while the rule says no
    EXPECT_EQ(sequence->saves, 0);
    sequence->items = 1;
    EXPECT_TRUE(enabled(kSave));
    EXPECT_TRUE(enabled(kSaveAs));
    trigger(kSave);
    trigger(kSaveAs);
    EXPECT_EQ(sequence->saves, 2);

    for (QToolButton *button : {frame().toolButton(kMainToolBar, kOpen),
                                frame().toolButton(kSequenceToolBar, kSequence)}) {
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->popupMode(), QToolButton::MenuButtonPopup);
        EXPECT_NE(button->menu(), nullptr);
    }
}

// Every way of opening ends in the open operation, which dispatches on the extension.
TEST_F(WindowTest, OpenOperationDispatchesByExtension) {
    const QString jpg = writeFile("HOLIDAY.JPG");
    ASSERT_EQ(start({jpg}), Running::Running);
    auto *picture = new test::FakePicture;
    auto *sequence = new test::FakeSequence;
    auto *movie = new test::FakeMovie;
    frame().parts().setPicture(std::unique_ptr<PicturePart>(picture));
    frame().parts().setSequence(std::unique_ptr<SequencePart>(sequence));
    frame().parts().setMovie(std::unique_ptr<MoviePart>(movie));
    EXPECT_EQ(frame().windowTitle(), QStringLiteral("HOLIDAY.JPG - Lumadesk"));
    EXPECT_EQ(app().context().recentPictures.paths(), QStringList({jpg}));

    CLumadeskDoc &doc = *app().doc();
    ASSERT_TRUE(doc.OnOpenDocument(jpg));
    EXPECT_EQ(picture->opened, QStringList({jpg}));

    const QString lgs = writeFile("show.lgs");
    ASSERT_TRUE(doc.OnOpenDocument(lgs));
    EXPECT_EQ(sequence->opened, QStringList({lgs}));
    EXPECT_TRUE(frame().stripShown());
    EXPECT_EQ(app().context().recentSequences.paths(), QStringList({lgs}));

    const QString avi = writeFile("clip.mkv");
    ASSERT_TRUE(doc.OnOpenDocument(avi));
    EXPECT_EQ(movie->played, QStringList({avi}));
    EXPECT_EQ(app().context().recentMovies.paths(), QStringList({avi}));

    movie->result = E_FAIL;
    const QString bad = writeFile("bad.mpg");
    prompter_.shown.clear();
    ASSERT_TRUE(doc.OnOpenDocument(bad));
    ASSERT_EQ(prompter_.shown.size(), 1u);
    EXPECT_EQ(prompter_.shown[0].caption, QStringLiteral("Play File Error"));
    EXPECT_TRUE(prompter_.shown[0].text.endsWith(QStringLiteral("Error code is:0x80004005")));
    EXPECT_EQ(app().context().recentMovies.count(), 1);

    // Files dropped on the window open in turn.
    const QString dropped = writeFile("dropped.bmp");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(dropped)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&frame(), &drop);
    ASSERT_TRUE(test::waitFor([&] { return picture->opened.contains(dropped); }));
    EXPECT_EQ(frame().windowTitle(), QStringLiteral("dropped.bmp - Lumadesk"));

    // A recent entry that no longer opens is told and leaves its list.
    fs::remove(jpg.toStdString());
    prompter_.shown.clear();
    trigger(kFirstRecentPicture + 1);
    ASSERT_EQ(prompter_.shown.size(), 1u);
    EXPECT_TRUE(prompter_.shown[0].text.contains(QStringLiteral("was not found")));
    EXPECT_EQ(app().context().recentPictures.paths(), QStringList({dropped}));
    EXPECT_EQ(picture->opened.size(), 2);
    exit();

    // A command-line file that cannot be opened ends the start.
    EXPECT_EQ(start({jpg}), Running::Failed);
    app_.reset();
}

// A camera whose preview cannot be built: "Initialize Lumaghost Error!" alone, no driver message
// after it, and the camera keeps its commands; only Preview stays disabled.
TEST_F(WindowTest, PreviewThatCannotStartKeepsTheCamera) {
    struct NoPreview : RealCameraPart {
        int setUps = 0;
        bool setUpPreview(CameraLink &) override { return ++setUps, false; }
        bool previewReady() const override { return false; }
        void setupRealCamera() override {}
        void switchToRealCamera(int) override {}
        void startPreview() override {}
        void stopPreview() override {}
        bool isPreviewing() const override { return false; }
        int selectedCamera() const override { return -1; }
    };
    auto *part = new NoPreview;
    cameraStart_ = [this, part] {
        // Installed from the event loop, before the start's end arrives there.
        QMetaObject::invokeMethod(
            qApp,
            [this, part] {
                app().frame()->parts().setRealCamera(std::unique_ptr<RealCameraPart>(part));
            },
            Qt::QueuedConnection);
        CameraStart start;
        start.outcome = CameraStart::Outcome::Ready;
        start.link.captureFilter = std::make_unique<test::RecordingCameraFilter>(camera_);
        start.link.properties = &camera_;
        return start;
    };
    ASSERT_EQ(start(), Running::Running);
    EXPECT_EQ(part->setUps, 1);
    EXPECT_EQ(messages(),
              std::vector<std::string>({"DirectShow FAILED: Initialize Lumaghost Error!"}));
    EXPECT_TRUE(frame().view()->cameraAvailable());
    for (int id : {kShowPickFrame, kSetPicture, kPlayMovie})
        EXPECT_TRUE(enabled(id)) << id;
    EXPECT_FALSE(enabled(kPreview));
}

// A FIFO named like a picture, a sequence or a movie is refused at once, never opened blocking
// (a writer comes along later only so that a blocking open would end at all); a link to a
// device named .lgs is no sequence: "Read File Error!". Neither reaches a part, the title or a
// recent list.
TEST_F(WindowTest, FifosAndDevicesAreRefusedWithoutBlocking) {
    ASSERT_EQ(start(), Running::Running);
    auto *picture = new test::FakePicture;
    auto *sequence = new test::FakeSequence;
    auto *movie = new test::FakeMovie;
    frame().parts().setPicture(std::unique_ptr<PicturePart>(picture));
    frame().parts().setSequence(std::unique_ptr<SequencePart>(sequence));
    frame().parts().setMovie(std::unique_ptr<MoviePart>(movie));
    const QString title = frame().windowTitle();
    fs::create_directories(root_.path() / "files");
    for (const char *name : {"pipe.bmp", "pipe.lgs", "pipe.avi"}) {
        const fs::path fifo = root_.path() / "files" / name;
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        std::atomic<bool> done{false};
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            while (!done) {
                const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    ::close(fd);
                    break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
        prompter_.shown.clear();
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(app().doc()->OnOpenDocument(QString::fromStdString(fifo.string())));
        EXPECT_LT(timer.elapsed(), 1000) << name;
        done = true;
        writer.join();
        ASSERT_EQ(prompter_.shown.size(), 1u) << name;
        EXPECT_TRUE(name == std::string("pipe.lgs")
                        ? prompter_.shown[0].text == QStringLiteral("Read File Error!")
                        : prompter_.shown[0].text.contains(QStringLiteral("not a file")))
            << prompter_.shown[0].text.toStdString();
    }
    const fs::path zero = root_.path() / "files" / "zero.lgs";
    fs::create_symlink("/dev/zero", zero);
    prompter_.shown.clear();
    EXPECT_FALSE(app().doc()->OnOpenDocument(QString::fromStdString(zero.string())));
    EXPECT_EQ(messages(), std::vector<std::string>({"Lumadesk: Read File Error!"}));
    EXPECT_TRUE(picture->opened.isEmpty());
    EXPECT_TRUE(sequence->opened.isEmpty());
    EXPECT_TRUE(movie->played.isEmpty());
    EXPECT_EQ(frame().windowTitle(), title);
    EXPECT_TRUE(app().context().recentPictures.isEmpty());
    EXPECT_TRUE(app().context().recentSequences.isEmpty());
    EXPECT_TRUE(app().context().recentMovies.isEmpty());
}

// German re-labels the menus, the status bar and the Setup dialog, and English comes back;
// recent entries keep their names; a key the pack lacks shows as the key.
TEST_F(WindowTest, LanguagesRelabelWindowAndDialog) {
    SettingsStore store(userHive(), errors_);
    RecentFileList movies(settings::kMovieFiles, "file%d");
    movies.add("/m/second.avi");
    movies.add("/m/first.avi");
    ASSERT_TRUE(movies.write(store));
    ASSERT_EQ(start(), Running::Running);
    EXPECT_EQ(statusText(), QStringLiteral("Ready"));

    runSetup([](CSetupMain &setup) {
        QComboBox *combo = setup.languageCombo();
        combo->setCurrentIndex(combo->findData(1031));
        setup.accept();
    });
    EXPECT_EQ(menuTitle(frame().menuBar(), 0), QStringLiteral("&Datei"));
    EXPECT_EQ(frame().command(kSetup)->text(), QStringLiteral("Einstellungen"));
    EXPECT_EQ(statusText(), QStringLiteral("Bereit"));
    // Recent movie 2 has the id of "Restore" and 4 that of "Setup Real Camera".
    QAction *secondMovie = frame().command(kFirstRecentMovie + 1);
    ASSERT_NE(secondMovie, nullptr);
    EXPECT_EQ(secondMovie->text(), QStringLiteral("&2 /m/second.avi"));
    EXPECT_TRUE(secondMovie->statusTip().isEmpty());
    // The Open button's drop-down is re-labelled as it opens; the entries stay file names.
    emit frame().openDropDown()->aboutToShow();
    EXPECT_EQ(frame().openDropDown()->actions().at(0)->text(),
              QStringLiteral("Zuletzt geöffnete Dateien hier öffnen"));
    EXPECT_EQ(frame().command(kFirstRecentMovie + 1)->text(), QStringLiteral("&2 /m/second.avi"));

    runSetup([](CSetupMain &setup) {
        EXPECT_EQ(setup.windowTitle(), QStringLiteral("Einstellungen"));
        EXPECT_EQ(setup.checkBox(pack_ids::kStretch)->text(), QStringLiteral("Strecken"));
        QComboBox *combo = setup.languageCombo();
        combo->setCurrentIndex(combo->findData(1033));
        setup.accept();
    });
    EXPECT_EQ(menuTitle(frame().menuBar(), 0), QStringLiteral("&File"));
    EXPECT_EQ(statusText(), QStringLiteral("Ready"));
    EXPECT_EQ(frame().command(kFirstRecentMovie)->text(), QStringLiteral("&1 /m/first.avi"));
    exit();

    // A pack without the Setup command's menu text.
    fs::remove(program_ / "Language");
    fs::create_directories(program_ / "Language");
    std::string pack = test::readFile(fs::path(LUMAGHOST_RES_DIR) / "lang/English.ini");
    pack.erase(pack.find("ID150=Setup\n", pack.find("[MENU]")), 12);
    test::writeFile(program_ / "Language/English.ini", pack);
    ASSERT_EQ(start(), Running::Running);
    EXPECT_EQ(frame().command(kSetup)->text(), QStringLiteral("ID150"));
}

// Setup: OK writes, Cancel writes nothing, and either way the view takes the stored values;
// the start type changes only when "Auto play the picture sequence" did.
TEST_F(WindowTest, SetupWritesOnOkAndViewRereadsAlways) {
    ASSERT_EQ(start(), Running::Running);
    runSetup([](CSetupMain &setup) {
        setup.checkBox(pack_ids::kStretch)->toggle();  // as a screen reader's toggle action does
        EXPECT_FALSE(setup.checkBox(pack_ids::kKeepRatio)->isEnabled());
        setup.checkBox(pack_ids::kStretch)->click();
        setup.checkBox(pack_ids::kKeepRatio)->click();
        EXPECT_TRUE(setup.checkBox(pack_ids::kKeepRatio)->isEnabled());
        EXPECT_FALSE(setup.checkBox(pack_ids::kCenter)->isEnabled());
        setup.checkBox(pack_ids::kServiceAutoStart)->click();
        setup.accept();
    });
    SettingsStore store(userHive(), errors_);
    EXPECT_EQ(store.readInt(settings::kSettings, settings::kKeepRatio), 0);
    EXPECT_EQ(store.readInt(settings::kSettings, settings::kServiceAutoStart), 0);
    EXPECT_EQ(store.readInt(settings::kSettings, settings::kLanguage, 0), 1033);
    frame().view()->serviceControl()->waitForIdle();
    using StartType = std::pair<std::string, uint32_t>;
    EXPECT_EQ(serviceManager_.startTypes,
              std::vector<StartType>({{"LumaghostService", SERVICE_DEMAND_START}}));
    EXPECT_EQ(frame().view()->settings().keepRatio, 0);

    store.writeInt(settings::kSettings, settings::kMiniSizeToSystemTray.name, 0);
    runSetup([](CSetupMain &setup) {
        setup.checkBox(pack_ids::kAutoSetLastImage)->click();
        setup.reject();
    });
    EXPECT_EQ(store.readInt(settings::kSettings, settings::kAutoSetLastImage), 1);
    EXPECT_EQ(frame().view()->settings().miniSizeToSystemTray, 0);
    frame().view()->serviceControl()->waitForIdle();
    EXPECT_EQ(serviceManager_.startTypes.size(), 1u);
}

// Minimising goes to the tray only when asked and where a tray exists; the tray's menu is
// its own, and Exit runs the close check.
TEST_F(WindowTest, TrayAndCloseCheck) {
    trayAvailable_ = true;
    SettingsStore store(userHive(), errors_);
    store.writeInt(settings::kSettings, settings::kMiniSizeToSystemTray.name, 0);
    ASSERT_EQ(start(), Running::Running);
    frame().showMinimized();
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame().isMinimized());
    EXPECT_TRUE(frame().isVisible());
    EXPECT_FALSE(frame().inTray());
    frame().showNormal();

    store.writeInt(settings::kSettings, settings::kMiniSizeToSystemTray.name, 1);
    runSetup([](CSetupMain &setup) { setup.reject(); });
    frame().showMinimized();
    ASSERT_TRUE(test::waitFor([this] { return frame().inTray(); }));
    EXPECT_FALSE(frame().isVisible());
    QMenu *tray = frame().trayMenu();
    ASSERT_NE(tray, nullptr);
    EXPECT_TRUE(frame().findChildren<QMenu *>().indexOf(tray) < 0);
    // The language applied while in the tray names the tray's items but gives "Exit" (170) no
    // prompt: 170 is a message.
    frame().applyLanguage();
    EXPECT_EQ(tray->actions().at(1)->text(), QStringLiteral("Exit"));
    EXPECT_TRUE(tray->actions().at(1)->statusTip().isEmpty());
    tray->actions().at(0)->trigger();  // Restore
    ASSERT_TRUE(test::waitFor([this] { return !frame().inTray(); }));
    EXPECT_TRUE(frame().isVisible());

    // A playing movie: No, No keeps the window; No, Yes sends it to the tray.
    auto *movie = new test::FakeMovie;
    movie->graph = true;
    frame().parts().setMovie(std::unique_ptr<MoviePart>(movie));
    store.writeInt(settings::kSettings, settings::kMiniSizeToSystemTray.name, 0);
    prompter_.shown.clear();
    prompter_.answers = {MessageAnswer::No, MessageAnswer::No};
    EXPECT_FALSE(frame().close());
    EXPECT_EQ(messages(),
              std::vector<std::string>(
                  {"Stop: You are playing a movie or switch to the real camera.\nDo you want to "
                   "stop them?",
                   "Mini size: Mini size to system tray?"}));
    EXPECT_TRUE(frame().isVisible());
    prompter_.answers = {MessageAnswer::No, MessageAnswer::Yes};
    EXPECT_FALSE(frame().close());
    EXPECT_TRUE(frame().inTray());
    // Exit in the tray menu: the same check; a graph that does not answer refuses silently.
    movie->state = GraphState::Unknown;
    prompter_.shown.clear();
    frame().trayMenu()->actions().at(1)->trigger();
    QCoreApplication::processEvents();
    EXPECT_TRUE(prompter_.shown.empty());
    EXPECT_TRUE(frame().inTray());
    movie->state = GraphState::Running;
    prompter_.answers = {MessageAnswer::Yes};
    frame().trayMenu()->actions().at(1)->trigger();
    ASSERT_TRUE(test::waitFor([movie] { return movie->stops == 1; }));
    EXPECT_FALSE(frame().inTray());
}

// Without a tray, minimising stays a plain minimisation, whatever the setting.
TEST_F(WindowTest, NoTrayMinimisesNormally) {
    ASSERT_EQ(start(), Running::Running);
    frame().showMinimized();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame().isMinimized());
    EXPECT_FALSE(frame().inTray());
    runSetup([](CSetupMain &setup) {
        EXPECT_FALSE(setup.checkBox(pack_ids::kMiniSizeToSystemTray)->isEnabled());
        EXPECT_TRUE(setup.checkBox(pack_ids::kMiniSizeToSystemTray)->isChecked());
        setup.reject();
    });
}

// A second start hands its file to the first, which comes to the front and opens it; the
// second shows nothing.
TEST_F(WindowTest, SecondStartRaisesTheFirstAndOpensItsFile) {
    ASSERT_EQ(start(), Running::Running);
    frame().showMinimized();
    QCoreApplication::processEvents();
    const QString file = writeFile("second.gif");
    SingleInstance other(QString::fromStdString((root_.path() / "run").string()),
                         QStringLiteral("lumadesk-test"));
    ASSERT_EQ(other.start(), SingleInstance::Role::Second);
    bool answered = false;
    std::thread client([&] { answered = other.handOff({file}, 5000); });
    ASSERT_TRUE(test::waitFor(
        [this] { return frame().windowTitle() == QStringLiteral("second.gif - Lumadesk"); }));
    client.join();
    EXPECT_TRUE(answered);
    EXPECT_FALSE(frame().isMinimized());
    EXPECT_EQ(app().context().recentPictures.paths(), QStringList({file}));
}

// A hand-over naming 3000 missing files says so once, listing the first of them and counting
// the rest, and still opens the file among them that is there; one missing file alone has the
// open operation's own message.
TEST_F(WindowTest, HandOverOfManyMissingFilesIsToldOnce) {
    ASSERT_EQ(start(), Running::Running);
    QStringList files;
    for (int i = 0; i < 3000; ++i)
        files.append(QString::fromStdString((root_.path() / "gone").string()) +
                     QStringLiteral("/%1.avi").arg(i));
    const QString there = writeFile("there.bmp");
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(there, "BMP"));
    files.insert(1500, there);
    prompter_.shown.clear();
    app().activate(files);
    ASSERT_EQ(prompter_.shown.size(), 1u) << messages().back();
    const QString text = prompter_.shown[0].text;
    EXPECT_TRUE(text.startsWith(QStringLiteral("These 3000 files were not found:\n") + files[0] +
                                u'\n' + files[1] + u'\n'))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith(files[19] + QStringLiteral("\n… and 2980 more")))
        << text.toStdString();
    EXPECT_EQ(app().context().recentPictures.paths(), QStringList({there}));
    EXPECT_TRUE(app().context().recentMovies.isEmpty());

    prompter_.shown.clear();
    app().activate({files[0]});
    ASSERT_EQ(prompter_.shown.size(), 1u);
    EXPECT_EQ(prompter_.shown[0].text, files[0] + QStringLiteral(" was not found."));
}

// SIGTERM, SIGINT and SIGHUP while a movie runs: the graph stops and the event loop ends without
// the close check's questions (168 would wait for an answer), and the exit that follows writes
// the window's place and the recent lists.
TEST_F(WindowTest, TerminationSignalsEndWithoutQuestions) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ASSERT_EQ(start(), Running::Running);
        auto *movie = new test::FakeMovie;
        movie->graph = true;
        frame().parts().setMovie(std::unique_ptr<MoviePart>(movie));
        const QString picture = writeFile("seen.bmp");
        app().context().recentPictures.add(picture);
        frame().move(123, 77);
        prompter_.shown.clear();
        TerminationSignals termination;
        ASSERT_TRUE(termination.installed());
        QObject::connect(&termination, &TerminationSignals::received, &app(),
                         &CLumadeskApp::terminate);
        QTimer::singleShot(0, [signal] { ::raise(signal); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });  // a loop that never ends
        EXPECT_EQ(QApplication::exec(), 0) << signal;
        EXPECT_TRUE(prompter_.shown.empty()) << messages().front();
        EXPECT_GE(movie->stops, 1);
        app().ExitInstance();
        app_.reset();
        SettingsStore stored{RegistryHive(configFile()), errors_};
        EXPECT_EQ(stored.readInt(settings::kMain, settings::kLastX), 123) << signal;
        EXPECT_EQ(stored.readString(settings::kRecentFileList, "File1", ""), picture.toStdString());
    }
}

// Help opens the page of the language in use, else the general one, else says so; About
// shows the version, the release and its licence, and the translator.
TEST_F(WindowTest, HelpAndAbout) {
    ASSERT_EQ(start(), Running::Running);
    trigger(kHelpTopics);
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_TRUE(opened_.back().toLocalFile().endsWith(QStringLiteral("/Lumaghost.html")));
    app().context().packs.SelectLanguage(1031);
    trigger(kHelpTopics);
    EXPECT_TRUE(opened_.back().toLocalFile().endsWith(QStringLiteral("/Lumaghost1031.html")));
    fs::remove(program_ / "Lumaghost1031.html");
    trigger(kHomepage);
    EXPECT_TRUE(opened_.back().toLocalFile().endsWith(QStringLiteral("/Lumaghost.html")));
    EXPECT_EQ(opened_.back().fragment(), QStringLiteral("quillmoor"));
    fs::remove(program_ / "Lumaghost.html");
    prompter_.shown.clear();
    trigger(kHelpTopics);
    ASSERT_EQ(prompter_.shown.size(), 1u);
    // In the German pack's words: the caption names where an installed Lumadesk looks last;
    // the text, under its own first line, every folder looked in.
    const QStringList lines = prompter_.shown[0].text.split(u'\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("Die Hilfedatei wurde nicht gefunden."));
    EXPECT_EQ(lines[1], QStringLiteral("Die Hilfe wird in %1, %2 gesucht.")
                            .arg(app().context().paths.dataFolders()[0],
                                 app().context().paths.dataFolders()[1]));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("/share/lumaghost")));
    EXPECT_TRUE(
        prompter_.shown[0].caption.endsWith(QStringLiteral("/share/lumaghost/Lumaghost.html")))
        << prompter_.shown[0].caption.toStdString();
    EXPECT_EQ(opened_.size(), 3u);

    app().context().packs.SelectLanguage(1033);
    CAboutDlg about(app().context(), &frame());
    EXPECT_EQ(about.versionLabel()->text(),
              QStringLiteral("Lumaghost version 0.9.0.0 beta Build 0530"));
    EXPECT_EQ(about.translatorLabel()->text(),
              QStringLiteral("Language pack is translated by: Quillmoor"));
    const QString release = about.releaseLabel()->text();
    EXPECT_TRUE(release.contains(QString::fromLatin1(kProjectVersion))) << release.toStdString();
    EXPECT_TRUE(release.contains(QStringLiteral("LGPL-2.1-or-later"))) << release.toStdString();
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Lumadesk"));
}

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

}  // namespace
}  // namespace lumaghost
