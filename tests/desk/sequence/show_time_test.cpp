// SPDX-License-Identifier: LGPL-2.1-or-later
// The display-time bar: its edit and its slider.
#include "desk/sequence/show_time.h"
#include <sys/resource.h>
#include <QFocusEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSlider>
#include <thread>
#include "desk/model/camera_gate.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/sequence/sequence_strip.h"
#include "desk/service/play_service_command.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "media/sequence_file.h"
#include "tests/desk/desk_fixture.h"

namespace lumaghost {
namespace {

using test::leaveEdit;

using namespace cmd;
using namespace std::chrono_literals;

// The edit takes its leading digits, clamped to 1000 ... 10000, and moves the slider; the slider
// writes the edit; showing an item's time never changes it.
TEST(DisplayTimeTest, EditClampsAndSliderFollows) {
    test::ensureApplication();
    CShowTime bar;
    std::vector<int> told;
    QObject::connect(&bar, &CShowTime::displayTimeChanged, [&](int ms) { told.push_back(ms); });
    EXPECT_EQ(bar.edit()->text(), QStringLiteral("1000"));
    EXPECT_EQ(bar.slider()->minimum(), 1000);
    EXPECT_EQ(bar.slider()->maximum(), 10000);
    EXPECT_EQ(bar.slider()->pageStep(), 1000);
    leaveEdit(bar.edit(), QStringLiteral("4000"));  // refers to nothing: told to nobody
    EXPECT_TRUE(told.empty());

    bar.referTo(10);  // an item of 10 ms from a file keeps its time while it is looked at
    EXPECT_EQ(bar.edit()->text(), QStringLiteral("10"));
    EXPECT_TRUE(told.empty());
    for (const char *typed : {"250", "12000", "abc", "  3500ms", "-7", "99999999999999999999"})
        leaveEdit(bar.edit(), QString::fromLatin1(typed));
    EXPECT_EQ(told, (std::vector<int>{1000, 10000, 1000, 3500, 1000, 10000}));
    EXPECT_EQ(bar.slider()->value(), 10000);
    EXPECT_EQ(bar.edit()->text(), QStringLiteral("10000"));
    bar.slider()->setValue(6000);
    EXPECT_EQ(bar.edit()->text(), QStringLiteral("6000"));
    EXPECT_EQ(told.back(), 6000);
}

}  // namespace
}  // namespace lumaghost
