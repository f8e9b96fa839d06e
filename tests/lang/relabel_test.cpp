// SPDX-License-Identifier: LGPL-2.1-or-later
#include "lang/relabel.h"

#include <sstream>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include "tests/test_support.h"

inline void PrintTo(const QString &text, std::ostream *out) {
    *out << '"' << text.toStdString() << '"';
}

namespace lumaghost {
namespace {

using test::TempRoot;
using test::writeFile;

constexpr char kPack[] = R"([INFO]
Language=Test
LanguageID=1033
[STRINGTABLE]
ID57345=Ready
ID0=
ID59137=CAP
ID59138=NUM
ID59139=SCRL
ID57601=Open an existing document\nOpen
ID130=Show frame
ID10000=Camera prompt
[MENU]
PID57601=&File
ID57601=&Open...\tCtrl+O
PID32816=Switch To Real Camera
ID32816=Setup Real Camera
ID10000=Renamed camera
ID10065=Command 10065
ID32804=
PID-1=Nested
PID0=Starts with a separator
[DLG_151]
CAPTION=Setup
ID1003=Auto save the image last set
ID1013=
ID1021=Movie
ID1019=Center (Letterbox/pan && scan)
ID1022=Two\nlines
ID65535=no id
ID1001=edit text
ID1002=spin text
ID1004=plain text
ID1025=combo text
ID1005=picture text
ID1=OK
)";

class RelabelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!QApplication::instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "lang_test";
            static char *argv[] = {name, nullptr};
            new QApplication(argc, argv);  // kept for the whole test program
        }
    }
    void SetUp() override {
        writeFile(root_.path() / "app/Language/Test.ini", kPack);
        std::ostringstream errors;
        packs_ = LanguagePackList::LoadLanguagePacks(root_.path() / "app", "Language", errors);
        ASSERT_EQ(errors.str(), "");
        ASSERT_TRUE(packs_.SelectLanguage(1033));
        packs_.ExcludeMenuIdRange(10000, 10064);
    }

    template <typename W>
    static W *withId(W *widget, int id, const char *property = kControlIdProperty) {
        widget->setProperty(property, id);
        return widget;
    }
    static QAction *command(QWidget &menu, const QString &text, int id) {
        QAction *action = new QAction(text, &menu);
        action->setProperty(kCommandIdProperty, id);
        menu.addAction(action);
        return action;
    }

    TempRoot root_;
    LanguagePackList packs_;
};

// Labels, buttons and group boxes change, an empty value empties; editable controls and
// pictures keep their contents.
TEST_F(RelabelTest, DialogControls) {
    QDialog dialog;
    auto *layout = new QVBoxLayout(&dialog);
    auto *autoSave = withId(new QCheckBox("old"), 1003);
    auto *emptied = withId(new QLabel("old"), 1013);
    auto *missing = withId(new QPushButton("old"), 1009);
    auto *group = withId(new QGroupBox("old"), 1021);
    auto *groupLayout = new QVBoxLayout(group);
    auto *center = withId(new QCheckBox("old"), 1019);
    groupLayout->addWidget(center);
    auto *twoLines = withId(new QLabel("old"), 1022);
    auto *noId = new QLabel("old");
    auto *edit = withId(new QLineEdit("typed"), 1001);
    edit->setClearButtonEnabled(true);  // a button inside the edit
    auto *spin = withId(new QSpinBox, 1002);
    spin->setValue(7);
    auto *plain = withId(new QPlainTextEdit("notes"), 1004);
    auto *combo = withId(new QComboBox, 1025);
    combo->addItems({"English", "Deutsch"});
    combo->setCurrentIndex(1);
    QPixmap pixmap(4, 4);
    pixmap.fill(Qt::red);
    auto *picture = withId(new QLabel, 1005);
    picture->setPixmap(pixmap);
    auto *ok = withId(new QPushButton("old"), 1);
    for (QWidget *w : std::initializer_list<QWidget *>{autoSave, emptied, missing, group, twoLines,
                                                       noId, edit, spin, plain, combo, picture, ok})
        layout->addWidget(w);

    relabelDialog(packs_, dialog, 151);

    EXPECT_EQ(dialog.windowTitle(), "Setup");
    EXPECT_EQ(autoSave->text(), "Auto save the image last set");
    EXPECT_EQ(emptied->text(), "");
    EXPECT_EQ(missing->text(), "ID1009");
    EXPECT_EQ(group->title(), "Movie");
    EXPECT_EQ(center->text(), "Center (Letterbox/pan && scan)");
    EXPECT_EQ(twoLines->text(), "Two\nlines");
    EXPECT_EQ(noId->text(), "no id");
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_EQ(edit->text(), "typed");
    for (auto *inside : edit->findChildren<QAbstractButton *>())
        EXPECT_EQ(inside->text(), "");
    EXPECT_FALSE(edit->findChildren<QAbstractButton *>().isEmpty());
    EXPECT_EQ(spin->value(), 7);
    EXPECT_EQ(plain->toPlainText(), "notes");
    EXPECT_EQ(combo->currentText(), "Deutsch");
    EXPECT_FALSE(picture->pixmap().isNull());
}

// Menu keys: PID of the first item, PID-1 for a nested first submenu, the excluded camera
// range, and an empty value that keeps the text.
TEST_F(RelabelTest, MenuBar) {
    QMenuBar bar;
    QMenu *file = bar.addMenu("File");
    QAction *open = command(*file, "Open", 57601);
    file->addSeparator();
    QMenu *real = file->addMenu("Switch");
    QAction *setup = command(*real, "Setup", 32816);
    real->addSeparator();
    QAction *camera0 = command(*real, "Camera - Webcam", 10000);
    QAction *camera64 = command(*real, "Camera - Last", 10064);
    QAction *after = command(*real, "old", 10065);
    QAction *stop = command(*file, "Stop Above", 32804);
    QAction *plain = file->addAction("no command id");
    QMenu *outer = bar.addMenu("Outer");
    QMenu *inner = outer->addMenu("Inner");
    command(*inner, "x", 424242);
    QMenu *separated = bar.addMenu("Separated");
    separated->addSeparator();

    relabelMenu(packs_, bar);

    EXPECT_EQ(file->title(), "&File");
    EXPECT_EQ(open->text(), "&Open... \tCtrl+O");
    EXPECT_EQ(real->title(), "Switch To Real Camera");
    EXPECT_EQ(setup->text(), "Setup Real Camera");
    EXPECT_EQ(camera0->text(), "Camera - Webcam");
    EXPECT_EQ(camera64->text(), "Camera - Last");
    EXPECT_EQ(after->text(), "Command 10065");
    EXPECT_EQ(stop->text(), "Stop Above") << "an empty MENU value keeps the text";
    EXPECT_EQ(plain->text(), "no command id");
    EXPECT_EQ(outer->title(), "Nested");
    EXPECT_EQ(inner->title(), "PID424242") << "the key itself when missing";
    EXPECT_EQ(separated->title(), "Starts with a separator");
}

// The main window's language: menu bar, prompts split into status tip and tool tip, idle
// text that comes back when a message clears, and the indicator panes.
TEST_F(RelabelTest, ApplyLanguageToTheMainWindow) {
    QMainWindow window;
    QMenu *file = window.menuBar()->addMenu("File");
    QAction *open = command(*file, "Open", 57601);
    QAction *frame = command(*file, "Show pick frame", 130);
    QAction *camera = command(*file, "Camera - Webcam", 10000);
    QStatusBar *status = window.statusBar();
    QLabel *caps = withId(new QLabel("caps"), 59137);
    QLabel *scroll = withId(new QLabel("scroll"), 59139);
    status->addPermanentWidget(caps);
    status->addPermanentWidget(scroll);

    applyLanguage(packs_, window);

    EXPECT_EQ(file->title(), "&File");
    EXPECT_EQ(open->statusTip(), "Open an existing document");
    EXPECT_EQ(open->toolTip(), "Open");
    EXPECT_EQ(frame->statusTip(), "Show frame");
    EXPECT_EQ(frame->text(), "ID130") << "a missing key shows itself";
    EXPECT_EQ(frame->toolTip(), "ID130") << "Qt's default tool tip, the text";
    EXPECT_EQ(camera->statusTip(), "") << "camera items have no prompt";
    EXPECT_EQ(caps->text(), "CAP");
    EXPECT_EQ(scroll->text(), "SCRL");
    EXPECT_EQ(status->currentMessage(), "Ready");
    status->showMessage("Open an existing document");
    status->clearMessage();
    EXPECT_EQ(status->currentMessage(), "Ready");
}

// The Setup dialog's list: sorted without regard to case, ids attached, the setting selected.
TEST_F(RelabelTest, LanguageCombo) {
    TempRoot root;
    writeFile(root.path() / "app/Language/a.ini", "[INFO]\nLanguage=english\nLanguageID=1033\n");
    writeFile(root.path() / "app/Language/b.ini", "[INFO]\nLanguage=Deutsch\nLanguageID=1031\n");
    writeFile(root.path() / "app/Language/c.ini", "[INFO]\nLanguage=Chinese\nLanguageID=2052\n");
    writeFile(root.path() / "app/Language/d.ini", "[INFO]\nLanguage=Deutsch\nLanguageID=3079\n");
    std::ostringstream errors;
    auto packs = LanguagePackList::LoadLanguagePacks(root.path() / "app", "Language", errors);

    QComboBox combo;
    fillLanguageCombo(packs, combo, 1033);
    ASSERT_EQ(combo.count(), 4);
    EXPECT_EQ(combo.itemText(0), "Chinese");
    EXPECT_EQ(combo.itemText(1), "Deutsch");
    EXPECT_EQ(combo.itemData(1).toInt(), 1031);
    EXPECT_EQ(combo.itemData(2).toInt(), 3079) << "equal names each get an entry";
    EXPECT_EQ(combo.currentText(), "english");
    fillLanguageCombo(packs, combo, 3079);
    EXPECT_EQ(combo.currentIndex(), 2);
    fillLanguageCombo(packs, combo, 1049);
    EXPECT_EQ(combo.currentIndex(), -1);
}

}  // namespace
}  // namespace lumaghost
