// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/media/dialog_select_directory.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "desk/model/desk_context.h"
#include "desk/model/message_format.h"
#include "desk/model/message_ids.h"
#include "lang/pack_ids.h"
#include "lang/relabel.h"

namespace lumaghost {

namespace {

constexpr int kDefaultDisplayTime = 10;
constexpr int kShortestPeriodMs = 10;
// The spin control's step: ten seconds a click.
constexpr int kDisplayTimeStep = 10;

/// The display time's edit with its spin buttons. Any text may be typed; what is not a whole
/// number of seconds counts as the default.
class DisplayTimeBox final : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    QValidator::State validate(QString &, int &) const override { return QValidator::Acceptable; }
    int valueFromText(const QString &text) const override { return parseDisplayTime(text); }
};

}  // namespace

int parseDisplayTime(const QString &text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() ||
        !std::all_of(trimmed.begin(), trimmed.end(), [](QChar c) { return c.isDigit(); }))
        return kDefaultDisplayTime;
    bool ok = false;
    const qlonglong seconds = trimmed.toLongLong(&ok);
    if (!ok)
        return kMaxDisplayTime;  // digits only, beyond any number: as long as there is
    return int(std::min<qlonglong>(seconds, kMaxDisplayTime));
}

int stepPeriodMs(int displayTime) {
    const int seconds = std::clamp(displayTime, 0, kMaxDisplayTime);
    return seconds == 0 ? kShortestPeriodMs : seconds * 1000;
}

RecentFileList makeRecentDirectoryList() {
    return RecentFileList(settings::kRecentDirectory, "dir%d ", 8, 30);
}

CDialogSelectDirectory::CDialogSelectDirectory(DeskContext &context, QWidget *parent)
    : QDialog(parent), context_(context), recent_(makeRecentDirectoryList()) {
    setObjectName(QStringLiteral("SelectDirectoryDialog"));
    setWindowTitle(QStringLiteral("Select a Directory"));
    using namespace settings;
    const SettingsSnapshot stored = context_.settings.snapshot();
    recent_.read(stored);

    auto *directoryLabel = new QLabel(QStringLiteral("Directory"), this);
    directoryLabel->setProperty(kControlIdProperty, kDirectoryLabel);
    directory_ = new QComboBox(this);
    directory_->setProperty(kControlIdProperty, kDirectoryCombo);
    directory_->setEditable(true);
    directory_->setInsertPolicy(QComboBox::NoInsert);
    directory_->setMinimumWidth(260);
    directoryLabel->setBuddy(directory_);
    for (const QString &path : recent_.paths())
        directory_->addItem(path);
    if (directory_->count() > 0)
        directory_->setCurrentIndex(0);
    auto *browse = new QPushButton(QStringLiteral("..."), this);
    browse->setProperty(kControlIdProperty, kBrowse);
    browse->setAccessibleName(context_.message(pack_ids::kBrowseName));

    auto check = [this](int id, const char *text, int value) {
        auto *box = new QCheckBox(QString::fromUtf8(text), this);
        box->setProperty(kControlIdProperty, id);
        box->setChecked(value != 0);
        return box;
    };
    stretch_ = check(kStretch, "Stretch", stored.readInt(kSettings, kPicStretch));
    keepRatio_ =
        check(kKeepRatio, "Retain Aspect Ratio ", stored.readInt(kSettings, kPicKeepRatio));
    center_ =
        check(kCenter, "Center (Letterbox/pan && scan)", stored.readInt(kSettings, kPicCenter));
    loop_ = check(kLoop, "&Loop", stored.readInt(kSettings, kPicLoop));

    auto *timeLabel = new QLabel(QStringLiteral("Display Time(sec)"), this);
    timeLabel->setProperty(kControlIdProperty, kDisplayTimeLabel);
    displayTime_ = new DisplayTimeBox(this);
    displayTime_->setProperty(kControlIdProperty, kDisplayTime);
    displayTime_->setRange(0, kMaxDisplayTime);
    displayTime_->setSingleStep(kDisplayTimeStep);
    displayTime_->setValue(
        std::clamp(stored.readInt(kSettings, kPicDisplayTime), 0, kMaxDisplayTime));
    timeLabel->setBuddy(displayTime_);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setProperty(kControlIdProperty, pack_ids::kOk);
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setProperty(kControlIdProperty, pack_ids::kCancel);

    auto *layout = new QVBoxLayout(this);
    auto *directoryRow = new QHBoxLayout;
    directoryRow->addWidget(directoryLabel);
    directoryRow->addWidget(directory_, 1);
    directoryRow->addWidget(browse);
    layout->addLayout(directoryRow);
    for (QCheckBox *box : {stretch_, keepRatio_, center_})
        layout->addWidget(box);
    auto *timeRow = new QHBoxLayout;
    timeRow->addWidget(timeLabel);
    timeRow->addWidget(displayTime_);
    timeRow->addStretch(1);
    layout->addLayout(timeRow);
    layout->addWidget(loop_);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    relabelDialog(context_.packs, *this, kDialogId);
    // The fields are named by their labels, in the pack's language.
    directory_->setAccessibleName(directoryLabel->text().remove(u'&'));
    directory_->lineEdit()->setAccessibleName(directory_->accessibleName());
    displayTime_->setAccessibleName(timeLabel->text().remove(u'&'));

    connect(browse, &QPushButton::clicked, this, &CDialogSelectDirectory::browse);
    connect(ok, &QPushButton::clicked, this, &CDialogSelectDirectory::accept);
    connect(cancel, &QPushButton::clicked, this, &CDialogSelectDirectory::reject);
}

CDialogSelectDirectory::~CDialogSelectDirectory() {
    recent_.write(context_.settings);
}

QCheckBox *CDialogSelectDirectory::checkBox(int controlId) const {
    for (QCheckBox *box : {stretch_, keepRatio_, center_, loop_}) {
        if (box->property(kControlIdProperty).toInt() == controlId)
            return box;
    }
    return nullptr;
}

DirectoryChoice CDialogSelectDirectory::choice() const {
    DirectoryChoice c;
    c.directory = directory_->currentText().trimmed();
    c.flags = FitFlags{stretch_->isChecked(), keepRatio_->isChecked(), center_->isChecked()};
    c.loop = loop_->isChecked();
    c.displayTime = parseDisplayTime(displayTime_->text());
    return c;
}

void CDialogSelectDirectory::addDirectory(const QString &directory) {
    if (directory.isEmpty())
        return;
    int index = directory_->findText(directory, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (index < 0) {
        directory_->addItem(directory);
        index = directory_->count() - 1;
    }
    directory_->setCurrentIndex(index);
    recent_.add(directory);
}

void CDialogSelectDirectory::browse() {
    // A folder, not a file in it: a folder of movies or an empty one is chosen as well.
    QString directory = QFileDialog::getExistingDirectory(
        this, context_.message(msg::kSelectMediasTitle), directory_->currentText());
    if (directory.size() > 1 && directory.endsWith(u'/'))
        directory.chop(1);
    addDirectory(directory);
}

void CDialogSelectDirectory::accept() {
    const DirectoryChoice c = choice();
    using namespace settings;
    context_.settings.writeInts(kSettings, {{kPicStretch.name, c.flags.stretch},
                                            {kPicKeepRatio.name, c.flags.keepRatio},
                                            {kPicCenter.name, c.flags.center},
                                            {kPicLoop.name, c.loop ? 1 : 0},
                                            {kPicDisplayTime.name, c.displayTime}});
    recent_.add(c.directory);
    QDialog::accept();
}

}  // namespace lumaghost
