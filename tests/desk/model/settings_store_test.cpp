// SPDX-License-Identifier: LGPL-2.1-or-later
// The settings store: defaults, value types, damaged and malformed files, one read per change,
// and values bound to their sections.
#include "desk/model/settings_store.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <fstream>
#include <sstream>
#include <thread>
#include "desk/app/shell_registration.h"
#include "desk/app/single_instance.h"
#include "desk/dialogs/about_dlg.h"
#include "desk/model/command_table.h"
#include "desk/model/file_dialog_filter.h"
#include "desk/model/message_format.h"
#include "desk/model/recent_file_list.h"
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

}  // namespace
}  // namespace lumaghost
