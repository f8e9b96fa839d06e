// SPDX-License-Identifier: LGPL-2.1-or-later
// Message formats from the packs, filled safely.
#include "desk/model/message_format.h"
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
#include "desk/model/recent_file_list.h"
#include "desk/model/settings_store.h"
#include "desk/window/lumadesk_doc.h"
#include "tests/desk/desk_fixture.h"

namespace lumaghost {
namespace {

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

}  // namespace
}  // namespace lumaghost
