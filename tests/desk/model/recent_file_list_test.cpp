// SPDX-License-Identifier: LGPL-2.1-or-later
// The recent-file lists: order, limit, storage and display.
#include "desk/model/recent_file_list.h"
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
#include "desk/model/settings_store.h"
#include "desk/window/lumadesk_doc.h"
#include "tests/desk/desk_fixture.h"

namespace lumaghost {
namespace {

using test::TempRoot;

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

}  // namespace
}  // namespace lumaghost
