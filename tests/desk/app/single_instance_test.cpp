// SPDX-License-Identifier: LGPL-2.1-or-later
// One instance per desktop: a second start hands its files to the first.
#include "desk/app/single_instance.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <fstream>
#include <sstream>
#include <thread>
#include "desk/app/shell_registration.h"
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

using test::TempRoot;

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
