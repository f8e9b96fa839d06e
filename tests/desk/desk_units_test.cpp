// SPDX-License-Identifier: LGPL-2.1-or-later
// The desktop application's parts that need no window: settings store, recent lists, message
// formats, command rules, file kinds, the file type registration and the single-instance rule.
#include <fstream>
#include <sstream>
#include <thread>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include "desk/app/shell_registration.h"
#include "desk/app/single_instance.h"
#include "desk/dialogs/about_dlg.h"
#include "desk/model/command_table.h"
#include "desk/model/file_dialog_filter.h"
#include "desk/model/message_format.h"
#include "desk/model/recent_file_list.h"
#include "desk/model/settings_store.h"
#include "desk/window/lumadesk_doc.h"
#include "tests/desk/desk_fixture.h"

namespace lumaghost {
namespace {

namespace fs = std::filesystem;
using test::TempRoot;

// A named value reads only from its own section: a value of "Settings" read from "Main" does
// not compile.
template <typename Section, typename Value>
concept Readable = requires(const SettingsStore &store, Section section, Value value) {
    store.readInt(section, value);
};
static_assert(Readable<decltype(settings::kMain), decltype(settings::kLastX)>);
static_assert(Readable<decltype(settings::kSettings), decltype(settings::kStretch)>);
static_assert(!Readable<decltype(settings::kMain), decltype(settings::kStretch)>);
static_assert(!Readable<decltype(settings::kSettings), decltype(settings::kLastCx)>);

// A damaged or missing store never stops the program: defaults are read, the damage is told
// in one line naming the file, and the first write keeps the damaged file beside the new one.
TEST(SettingsStoreTest, DefaultsTypesAndDamagedFiles) {
    TempRoot root;
    const fs::path file = root.path() / "Lumadesk.conf";
    std::ostringstream errors;
    SettingsStore store{RegistryHive(file), errors};

    EXPECT_EQ(store.readInt(settings::kSettings, settings::kMiniSizeToSystemTray), 1);
    EXPECT_EQ(store.readInt(settings::kMain, settings::kLastCx), 580);
    EXPECT_EQ(store.readString(settings::kSettings, settings::kLanguageDir, "Language"),
              "Language");
    ASSERT_TRUE(store.writeInt(settings::kSettings, "PlaySoundTrackVolume", -10000));
    ASSERT_TRUE(store.writeString(settings::kSettings, "Stretch", "text, not a number"));
    EXPECT_EQ(store.readInt(settings::kSettings, settings::kPlaySoundTrackVolume), -10000);
    EXPECT_EQ(store.readInt(settings::kSettings, settings::kStretch), 1);  // wrong type
    EXPECT_TRUE(RegistryHive(file).keyExists("Software\\Quillmoor\\Lumadesk\\Settings"));
    EXPECT_TRUE(errors.str().empty());

    const std::string damaged = "[Software\\Quillmoor\\Lumadesk\\Main]\nthis is no value line\n";
    test::writeFile(file, damaged);
    EXPECT_EQ(store.readInt(settings::kSettings, settings::kPlaySoundTrackVolume), 0);
    EXPECT_EQ(store.readInt(settings::kMain, settings::kLastX), 40);
    const std::string told = errors.str();
    EXPECT_NE(told.find(file.string()), std::string::npos) << told;
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;

    ASSERT_TRUE(store.writeInt(settings::kMain, "LastX", 7));
    EXPECT_EQ(test::readFile(store.damagedCopyPath()), damaged);
    EXPECT_EQ(store.readInt(settings::kMain, settings::kLastX), 7);
    const std::string all = errors.str();
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 1) << all;
    // A second damage keeps the first copy.
    test::writeFile(file, damaged + "again\n");
    ASSERT_TRUE(store.writeInt(settings::kMain, "LastX", 8));
    EXPECT_EQ(test::readFile(store.damagedCopyPath()), damaged);
    EXPECT_EQ(test::readFile(store.damagedCopyPath().string() + ".1"), damaged + "again\n");
}

// One malformed line costs only its own value: the others and the recent lists keep theirs,
// the damage is told once, and the first write keeps the damaged file and every readable value.
TEST(SettingsStoreTest, MalformedLineResetsOnlyItsValue) {
    TempRoot root;
    const fs::path file = root.path() / "Lumadesk.conf";
    std::ostringstream errors;
    const std::string text =
        "[Software\\Quillmoor\\Lumadesk\\Settings]\n"
        "\"Stretch\"=dword:00000000\n"
        "\"KeepRatio\"=dword:0000000g\n"
        "\"Center\"=dword:00000000\n"
        "[Software\\Quillmoor\\Lumadesk\\Main]\n"
        "\"LastX\"=dword:00000123\n"
        "[Software\\Quillmoor\\Lumadesk\\Recent File List]\n"
        "\"File1\"=\"/p/a.jpg\"\n";
    test::writeFile(file, text);
    SettingsStore store{RegistryHive(file), errors};
    using namespace settings;
    EXPECT_EQ(store.readInt(kSettings, kStretch), 0);
    EXPECT_EQ(store.readInt(kSettings, kKeepRatio), 1);  // the damaged line: its default
    EXPECT_EQ(store.readInt(kSettings, kCenter), 0);
    EXPECT_EQ(store.readInt(kMain, kLastX), 0x123);
    RecentFileList recent(kRecentFileList, "File%d");
    recent.read(store.snapshot());
    EXPECT_EQ(recent.paths(), QStringList({"/p/a.jpg"}));
    const std::string told = errors.str();
    EXPECT_NE(told.find(file.string() + ", line 3"), std::string::npos) << told;
    EXPECT_EQ(std::count(told.begin(), told.end(), '\n'), 1) << told;

    ASSERT_TRUE(store.writeInt(kMain, "LastY", 9));
    EXPECT_EQ(test::readFile(store.damagedCopyPath()), text);
    SettingsStore again{RegistryHive(file), errors};
    EXPECT_EQ(again.readInt(kMain, kLastY), 9);
    EXPECT_EQ(again.readInt(kMain, kLastX), 0x123);
    EXPECT_EQ(again.readInt(kSettings, kStretch), 0);
    EXPECT_EQ(again.readInt(kSettings, kKeepRatio), 1);
    EXPECT_EQ(again.readString(kRecentFileList, "File1", ""), "/p/a.jpg");
    const std::string all = errors.str();
    EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 1) << all;
}

// The file is read once however many lookups there are, and again only once it has changed.
TEST(SettingsStoreTest, FileIsReadOnceUntilItChanges) {
    TempRoot root;
    const fs::path file = root.path() / "Lumadesk.conf";
    std::ostringstream errors;
    SettingsStore writer{RegistryHive(file), errors};
    ASSERT_TRUE(writer.writeInt(settings::kSettings, "Stretch", 0));
    SettingsStore store{RegistryHive(file), errors};
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(store.readInt(settings::kSettings, settings::kStretch), 0);
    EXPECT_EQ(store.fileReads(), 1);
    ASSERT_TRUE(writer.writeInt(settings::kSettings, "Stretch", 2));
    EXPECT_EQ(store.readInt(settings::kSettings, settings::kStretch), 2);
    EXPECT_EQ(store.readInt(settings::kSettings, settings::kCenter), 1);
    EXPECT_EQ(store.fileReads(), 2);
}

// Recent lists: newest first, no repeats, at most eight, written back without stale entries,
// shown with at most 30 characters of path.
TEST(RecentFileListTest, OrderLimitStorageAndDisplay) {
    TempRoot root;
    std::ostringstream errors;
    SettingsStore store{RegistryHive(root.path() / "Lumadesk.conf"), errors};
    RecentFileList list(settings::kRecentFileList, "File%d");
    for (int i = 1; i <= 9; ++i)
        list.add(QStringLiteral("/p/%1.jpg").arg(i));
    list.add(QStringLiteral("/p/5.jpg"));
    ASSERT_EQ(list.count(), 8);
    EXPECT_EQ(list.paths(), QStringList({"/p/5.jpg", "/p/9.jpg", "/p/8.jpg", "/p/7.jpg", "/p/6.jpg",
                                         "/p/4.jpg", "/p/3.jpg", "/p/2.jpg"}));
    ASSERT_TRUE(list.write(store));
    EXPECT_EQ(store.readString(settings::kRecentFileList, "File1", ""), "/p/5.jpg");
    EXPECT_EQ(store.readString(settings::kRecentFileList, "File8", ""), "/p/2.jpg");

    list.remove(0);
    list.remove(0);
    ASSERT_TRUE(list.write(store));
    EXPECT_EQ(store.readString(settings::kRecentFileList, "File8", "gone"), "gone");
    RecentFileList again(settings::kRecentFileList, "File%d");
    again.read(store.snapshot());
    EXPECT_EQ(again.paths(), list.paths());

    RecentFileList movies(settings::kMovieFiles, "file%d");
    EXPECT_EQ(movies.entryName(0), "file1");
    movies.add(QStringLiteral("/home/alice/videos/holidays/2005/beach & sea.avi"));
    movies.add(QStringLiteral("/short.avi"));
    EXPECT_EQ(movies.menuText(0), QStringLiteral("&1 /short.avi"));
    EXPECT_EQ(movies.menuText(1), QStringLiteral("&2 /.../2005/beach && sea.avi"));
    EXPECT_EQ(abbreviatePath(QStringLiteral("/a/an-extremely-long-file-name-indeed.avi"), 30),
              QStringLiteral("an-extremely-long-file-name-indeed.avi"));
    EXPECT_LE(abbreviatePath(QStringLiteral("/home/alice/videos/holidays/2005/x.avi"), 30).size(),
              30);
}

// Pack formats are data: conversions are filled by type, never read past their arguments.
TEST(MessageFormatTest, FillsConversionsSafely) {
    EXPECT_EQ(versionLine(QStringLiteral("Lumaghost version %X.%X.%X.%X %s Build %04d")),
              QStringLiteral("Lumaghost version 0.9.0.0 beta Build 0530"));
    EXPECT_EQ(formatMessage(QStringLiteral("Sorry!\nCan't play movie file %s\nError code is:0x%X"),
                            {QStringLiteral("/m.avi"), int64_t{int32_t(0x80004001u)}}),
              QStringLiteral("Sorry!\nCan't play movie file /m.avi\nError code is:0x80004001"));
    EXPECT_EQ(formatMessage(QStringLiteral("%s and %d and %s %%"), {int64_t{7}}),
              QStringLiteral("7 and %d and %s %"));
    EXPECT_EQ(formatMessage(QStringLiteral("[%5d|%-4s|%x|%q]"),
                            {int64_t{-42}, QStringLiteral("ab"), QStringLiteral("t")}),
              QStringLiteral("[  -42|ab  |t|%q]"));
    EXPECT_EQ(buildNumber(kBuildDate), 530);
    EXPECT_EQ(buildNumber("Dec  7 2025"), 1207);
    EXPECT_EQ(buildNumber("no date"), 0);
}

// The enable rules: a command of a missing part is off, and each rule reads its own state.
TEST(CommandRulesTest, RulesFollowTheirState) {
    using namespace cmd;
    CommandInputs none;
    for (const CommandInfo &c : commandTable()) {
        const bool own = c.receiver == Receiver::Document || c.receiver == Receiver::Frame ||
                         c.receiver == Receiver::View || c.receiver == Receiver::App;
        EXPECT_EQ(commandStatus(c.id, none).enabled, own) << c.id << " " << c.caption;
    }
    CommandInputs in;
    in.sequence = in.picture = in.movie = in.realCamera = true;
    EXPECT_FALSE(commandStatus(kSave, in).enabled);
    EXPECT_FALSE(commandStatus(kSaveAs, in).enabled);
    EXPECT_FALSE(commandStatus(kPlaySequence, in).enabled);
    in.itemCount = 1;
    EXPECT_TRUE(commandStatus(kSave, in).enabled);
    EXPECT_TRUE(commandStatus(kPlaySequence, in).enabled);
    in.sequencePlaying = true;
    EXPECT_FALSE(commandStatus(kPlaySequence, in).enabled);
    EXPECT_TRUE(commandStatus(kStopSequence, in).enabled);
    EXPECT_FALSE(commandStatus(kSetPicture, in).enabled);
    EXPECT_FALSE(commandStatus(kPreview, in).enabled);
    EXPECT_FALSE(commandStatus(kPlayMovie, in).enabled);
    in.cameraAvailable = true;
    EXPECT_TRUE(commandStatus(kSetPicture, in).enabled);
    EXPECT_FALSE(commandStatus(kPreview, in).enabled);  // a camera without its preview
    in.previewReady = true;
    EXPECT_TRUE(commandStatus(kPreview, in).enabled);
    EXPECT_TRUE(commandStatus(kPlayMovie, in).enabled);
    EXPECT_FALSE(commandStatus(kStopAbove, in).enabled);
    in.graphRunning = true;
    EXPECT_FALSE(commandStatus(kPlayMovie, in).enabled);
    EXPECT_TRUE(commandStatus(kStopAbove, in).enabled);
    in.selectedCamera = 2;
    EXPECT_EQ(commandStatus(kFirstCamera + 2, in), (CommandStatus{true, true}));
    EXPECT_EQ(commandStatus(kFirstCamera + 1, in), (CommandStatus{true, false}));
    EXPECT_FALSE(commandStatus(kFirstRecentMovie + 1, in).enabled);
    in.recentMovies = true;
    EXPECT_TRUE(commandStatus(kFirstRecentMovie + 1, in).enabled);
    in.sequenceMode = true;
    EXPECT_EQ(commandStatus(kSequence, in), (CommandStatus{true, true}));
    EXPECT_FALSE(commandStatus(kCopy, in).enabled);
}

TEST(DocumentTest, KindByExtensionAndDialogFilter) {
    using Kind = CLumadeskDoc::FileKind;
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/PHOTO.JPG"), Kind::Picture);
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/photo.jpg"), Kind::Picture);
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/x.Wmf"), Kind::Picture);
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/show.LGS"), Kind::Sequence);
    // Whatever the picture readers load is a picture too, .jpeg and .jpe among them.
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/photo.jpeg"), Kind::Picture);
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/photo.JPE"), Kind::Picture);
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/p2.png"), Kind::Picture);
    for (const QByteArray &format : QImageReader::supportedImageFormats())
        EXPECT_EQ(CLumadeskDoc::kindOf("/a/x." + QString::fromLatin1(format)), Kind::Picture)
            << format.toStdString();
    EXPECT_EQ(CLumadeskDoc::kindOf("/a/clip.avi"), Kind::Movie);
    EXPECT_EQ(CLumadeskDoc::kindOf("/a.jpg/readme"), Kind::Movie);
    const QString widened =
        withReaderPictures(QStringLiteral("Pictures|*.bmp;*.jpg|All Files (*.*)|*.*||"));
    EXPECT_TRUE(
        widened.startsWith(QStringLiteral("Pictures|*.bmp;*.dib;*.emf;*.gif;*.ico;*.jpg;"
                                          "*.wmf;*.jpeg;*.jpe;")))
        << widened.toStdString();
    EXPECT_TRUE(widened.contains(QStringLiteral(";*.png")));
    EXPECT_TRUE(widened.endsWith(QStringLiteral("|All Files (*.*)|*.*||")));
    EXPECT_EQ(fileDialogFilter("Picture Sequence File(*.lgs)|*.lgs|All Files (*.*)|*.*||"),
              QStringLiteral("Picture Sequence File (*.lgs);;All Files (*)"));
}

// The .lgs type is registered for the user, and a second start finds nothing to change.
TEST(ShellRegistrationTest, WritesTypeEntryAndIconOnce) {
    test::ensureApplication();
    TempRoot root;
    const QString home = QString::fromStdString((root.path() / "data").string());
    const QString program = QStringLiteral("/opt/my apps/lumadesk");
    ShellRegistrationResult first = registerSequenceFileType(home, program);
    ASSERT_TRUE(first.ok) << first.error.toStdString();
    EXPECT_TRUE(first.changed);
    const std::string entry = test::readFile(root.path() / "data/applications/lumadesk.desktop");
    EXPECT_NE(entry.find("Exec=\"/opt/my apps/lumadesk\" %f"), std::string::npos) << entry;
    EXPECT_NE(entry.find("MimeType=application/x-lumadesk-sequence;"), std::string::npos);
    const std::string mime = test::readFile(root.path() / "data/mime/packages/lumadesk-lgs.xml");
    EXPECT_NE(mime.find("<glob pattern=\"*.lgs\"/>"), std::string::npos);
    EXPECT_TRUE(fs::exists(root.path() / "data/icons/hicolor/scalable/apps/lumadesk.svg"));
    EXPECT_FALSE(registerSequenceFileType(home, program).changed);
    EXPECT_EQ(desktopExecQuote(QStringLiteral("/usr/bin/lumadesk")),
              QStringLiteral("/usr/bin/lumadesk"));
    EXPECT_EQ(desktopExecQuote(QStringLiteral("/a\"b$c")), QStringLiteral("\"/a\\\\\"b\\\\$c\""));
}

// A program in PREFIX/bin whose PREFIX/share is a system data folder leaves the type to the
// prefix's files, and removes a user registration of its own (an older start wrote it: it hid
// the installed entry) or of a program that is gone; a build tree's program registers itself.
TEST(ShellRegistrationTest, InstalledProgramLeavesTheTypeToItsPrefix) {
    test::ensureApplication();
    TempRoot root;
    auto path = [&](const char *relative) {
        return QString::fromStdString((root.path() / relative).string());
    };
    auto makeFile = [](const QString &file) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    };
    const QString installed = path("prefix/bin/lumadesk");
    const QString built = path("build/programs/lumadesk/lumadesk");
    makeFile(installed);
    makeFile(built);
    makeFile(path("prefix/share/applications/lumadesk.desktop"));
    const QStringList dataDirs = {path("other"), path("prefix/share/")};
    EXPECT_TRUE(installedInDataDirs(installed, dataDirs));
    EXPECT_FALSE(installedInDataDirs(installed, {path("other")}));
    EXPECT_FALSE(installedInDataDirs(built, dataDirs));

    const QString home = path("data");
    const fs::path entry = root.path() / "data/applications/lumadesk.desktop";
    const fs::path package = root.path() / "data/mime/packages/lumadesk-lgs.xml";
    const fs::path icon = root.path() / "data/icons/hicolor/scalable/apps/lumadesk.svg";
    auto registered = [&] { return fs::exists(entry) && fs::exists(package) && fs::exists(icon); };
    auto unregistered = [&] {
        return !fs::exists(entry) && !fs::exists(package) && !fs::exists(icon);
    };

    // Installed: nothing written, and the user's entry of this program removed.
    ShellRegistrationResult result = updateSequenceFileType(home, dataDirs, installed);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_FALSE(result.changed);
    EXPECT_TRUE(unregistered());
    ASSERT_TRUE(registerSequenceFileType(home, installed).ok);
    result = updateSequenceFileType(home, dataDirs, installed);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_TRUE(result.changed);
    EXPECT_TRUE(unregistered());

    // A build tree's program registers itself; an installed start keeps that entry while the
    // build tree is there and removes it once it is gone.
    ASSERT_TRUE(updateSequenceFileType(home, dataDirs, built).changed);
    EXPECT_TRUE(registered());
    EXPECT_NE(test::readFile(entry).find("TryExec=" + built.toStdString() + "\n"),
              std::string::npos);
    EXPECT_FALSE(updateSequenceFileType(home, dataDirs, installed).changed);
    EXPECT_TRUE(registered());
    ASSERT_TRUE(QFile::remove(built));
    EXPECT_TRUE(updateSequenceFileType(home, dataDirs, installed).changed);
    EXPECT_TRUE(unregistered());

    // An entry that is not ours stays, whatever it names.
    QDir().mkpath(path("data/applications"));
    {
        std::ofstream other(entry);
        other << "[Desktop Entry]\nType=Application\nName=Other\nTryExec=/nowhere/lumadesk\n";
    }
    EXPECT_FALSE(removeStaleRegistration(home, installed).changed);
    EXPECT_TRUE(fs::exists(entry));
}

// The first start takes the lock and listens; a later one hands its files over and gets an
// answer; a socket left behind by a start that is gone does not stop the next first start.
TEST(SingleInstanceTest, SecondStartHandsFilesToTheFirst) {
    test::ensureApplication();
    TempRoot root;
    const QString dir = QString::fromStdString(root.path().string());
    QFile::remove(dir + QStringLiteral("/t.socket"));
    {
        QFile stale(dir + QStringLiteral("/t.socket"));
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    }
    SingleInstance first(dir, QStringLiteral("t"));
    ASSERT_EQ(first.start(), SingleInstance::Role::First);
    QStringList received;
    QObject::connect(&first, &SingleInstance::activationRequested,
                     [&](const QStringList &files) { received = files; });

    SingleInstance second(dir, QStringLiteral("t"));
    ASSERT_EQ(second.start(), SingleInstance::Role::Second);
    bool answered = false;
    std::thread client([&] {
        answered = second.handOff({QStringLiteral("/x/a b.jpg"), QString()}, 5000);
    });
    ASSERT_TRUE(test::waitFor([&] { return !received.isEmpty(); }));
    client.join();
    EXPECT_TRUE(answered);
    EXPECT_EQ(received, QStringList({QStringLiteral("/x/a b.jpg")}));

    EXPECT_EQ(SingleInstance(QString(), QStringLiteral("t")).start(), SingleInstance::Role::Alone);
}

}  // namespace
}  // namespace lumaghost
