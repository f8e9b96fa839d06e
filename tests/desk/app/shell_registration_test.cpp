// SPDX-License-Identifier: LGPL-2.1-or-later
// The .lgs type and its icon, registered for the user's desktop.
#include "desk/app/shell_registration.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <fstream>
#include <sstream>
#include <thread>
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

}  // namespace
}  // namespace lumaghost
