// SPDX-License-Identifier: LGPL-2.1-or-later
// Lumadesk's window under the offscreen platform: start-up and its place, the driver messages,
// the modes and command rules, the open operation, the Setup dialog and languages, the tray,
// the close check, another start, help and About.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>

#include "desk/app/single_instance.h"
#include "desk/dialogs/about_dlg.h"
#include "desk/dialogs/setup_main.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/service/play_service_control.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "lang/pack_ids.h"
#include "platform/project_info.h"
#include "tests/desk/desk_fixture.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using namespace cmd;
using test::DeskFixture;
using Running = CLumadeskApp::StartResult;

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
        // The dialog's language defaults to English.
        EXPECT_EQ(setup.values().language, 1033);
        setup.reject();
    });
    // Cancel wrote nothing; the stored language is missing, so the dialog's 1033 applies.
    EXPECT_FALSE(fs::exists(configFile()));
    EXPECT_EQ(app().context().packs.CurrentLanguageId(), 1033);
    EXPECT_EQ(menuTitle(frame().menuBar(), 0), QStringLiteral("&File"));
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
    EXPECT_EQ(messages(),
              std::vector<std::string>(
                  {"Lumadesk: Can't find Lumaghost driver.\n\nPlease reinstall Lumaghost again!"}));
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

    const QString avi = writeFile("clip.jpeg");
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
    EXPECT_EQ(prompter_.shown[0].text, QStringLiteral("Can't find help file"));
    EXPECT_TRUE(prompter_.shown[0].caption.endsWith(QStringLiteral("/Lumaghost.html")));
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

}  // namespace
}  // namespace lumaghost
