// SPDX-License-Identifier: LGPL-2.1-or-later
// The command table's enable and check rules.
#include "desk/model/command_table.h"
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
#include "desk/model/file_dialog_filter.h"
#include "desk/model/message_format.h"
#include "desk/model/recent_file_list.h"
#include "desk/model/settings_store.h"
#include "desk/window/lumadesk_doc.h"
#include "tests/desk/desk_fixture.h"

namespace lumaghost {
namespace {

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

}  // namespace
}  // namespace lumaghost
