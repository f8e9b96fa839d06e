// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/dialogs/setup_main.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <unistd.h>

#include <cerrno>

#include "camera/camera_link.h"
#include "desk/model/desk_context.h"
#include "desk/model/message_format.h"
#include "device/format_choice.h"
#include "device/installed_devices.h"
#include "lang/pack_ids.h"
#include "lang/relabel.h"
#include "platform/registry.h"

namespace lumaghost {

namespace ids = pack_ids;

SetupValues readSetupValues(const SettingsStore &store, int languageInUse) {
    using namespace settings;
    const SettingsSnapshot stored = store.snapshot();
    SetupValues v;
    static_cast<DeskSettings &>(v) = DeskSettings::read(stored);
    v.language = stored.readInt(kSettings, kLanguage, languageInUse);
    return v;
}

bool writeSetupValues(SettingsStore &store, const SetupValues &v) {
    using namespace settings;
    std::vector<std::pair<std::string_view, int>> values = v.values();
    values.emplace_back(kLanguage.name, v.language);
    return store.writeInts(kSettings, values);
}

CSetupMain::CSetupMain(DeskContext &context, bool trayAvailable, QWidget *parent)
    : QDialog(parent), context_(context) {
    setObjectName(QStringLiteral("SetupDialog"));
    const SetupValues stored =
        readSetupValues(context_.settings, context_.packs.CurrentLanguageId());
    languageValue_ = stored.language;

    auto check = [this](int id, const char *text, bool value) {
        auto *box = new QCheckBox(QString::fromUtf8(text), this);
        box->setProperty(kControlIdProperty, id);
        box->setChecked(value);
        return box;
    };
    autoSetLastImage_ =
        check(ids::kAutoSetLastImage, "Auto save the image last set", stored.autoSetLastImage);
    serviceAutoStart_ =
        check(ids::kServiceAutoStart, "Auto play the picture sequence", stored.serviceAutoStart);
    autoSaveSequenceForNext_ =
        check(ids::kAutoSaveSequenceForNext, "When save the sequence auto set it for play",
              stored.autoSaveSequenceForNext);
    miniSizeToSystemTray_ =
        check(ids::kMiniSizeToSystemTray, "Minimize to system tray", stored.miniSizeToSystemTray);
    // Without a tray the window only minimises: the choice keeps its value for a desktop
    // that has one.
    miniSizeToSystemTray_->setEnabled(trayAvailable);

    auto *movie = new QGroupBox(QStringLiteral("Movie"), this);
    movie->setProperty(kControlIdProperty, ids::kMovieGroup);
    stretch_ = check(ids::kStretch, "Stretch", stored.stretch);
    keepRatio_ = check(ids::kKeepRatio, "Retain Aspect Ratio ", stored.keepRatio);
    center_ = check(ids::kCenter, "Center (Letterbox/pan && scan)", stored.center);
    auto *movieLayout = new QVBoxLayout(movie);
    for (QCheckBox *box : {stretch_, keepRatio_, center_}) {
        box->setParent(movie);
        movieLayout->addWidget(box);
    }

    auto *languageLabel = new QLabel(QStringLiteral("&Language:"), this);
    languageLabel->setProperty(kControlIdProperty, ids::kLanguageLabel);
    language_ = new QComboBox(this);
    language_->setProperty(kControlIdProperty, ids::kLanguageCombo);
    languageLabel->setBuddy(language_);

    auto *formatLabel = new QLabel(QStringLiteral("Camera &format:"), this);
    formatLabel->setProperty(kControlIdProperty, ids::kCameraFormatLabel);
    cameraFormat_ = new QComboBox(this);
    cameraFormat_->setProperty(kControlIdProperty, ids::kCameraFormatCombo);
    formatLabel->setBuddy(cameraFormat_);
    auto *formatNote = new QLabel(
        QStringLiteral("Stored pictures and saved sequences of the camera's old size do not "
                       "play at a new one."),
        this);
    formatNote->setProperty(kControlIdProperty, ids::kCameraFormatNote);
    formatNote->setWordWrap(true);
    addCameraFormats();

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setProperty(kControlIdProperty, ids::kOk);
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setProperty(kControlIdProperty, ids::kCancel);

    auto *layout = new QVBoxLayout(this);
    for (QCheckBox *box :
         {autoSetLastImage_, serviceAutoStart_, autoSaveSequenceForNext_, miniSizeToSystemTray_})
        layout->addWidget(box);
    layout->addWidget(movie);
    auto *languageRow = new QHBoxLayout;
    languageRow->addWidget(languageLabel);
    languageRow->addWidget(language_, 1);
    layout->addLayout(languageRow);
    auto *formatRow = new QHBoxLayout;
    formatRow->addWidget(formatLabel);
    formatRow->addWidget(cameraFormat_, 1);
    layout->addLayout(formatRow);
    layout->addWidget(formatNote);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    relabelDialog(context_.packs, *this, ids::kSetupDialog);
    // The list is named by its label, in the pack's language.
    language_->setAccessibleName(languageLabel->text().remove(u'&').remove(u':').trimmed());
    cameraFormat_->setAccessibleName(formatLabel->text().remove(u'&').remove(u':').trimmed());
    keepRatio_->setEnabled(stretch_->isChecked());
    fillLanguageCombo(context_.packs, *language_, languageValue_);

    // Toggled, not clicked: a screen reader's toggle action changes the box without a click.
    connect(stretch_, &QCheckBox::toggled, this, &CSetupMain::stretchClicked);
    connect(keepRatio_, &QCheckBox::toggled, this, &CSetupMain::keepRatioClicked);
    connect(language_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            languageValue_ = language_->itemData(index).toInt();
    });
    connect(ok, &QPushButton::clicked, this, &CSetupMain::accept);
    connect(cancel, &QPushButton::clicked, this, &CSetupMain::reject);
}

QCheckBox *CSetupMain::checkBox(int controlId) const {
    for (QCheckBox *box : {autoSetLastImage_, serviceAutoStart_, autoSaveSequenceForNext_,
                           miniSizeToSystemTray_, stretch_, keepRatio_, center_}) {
        if (box->property(kControlIdProperty).toInt() == controlId)
            return box;
    }
    return nullptr;
}

void CSetupMain::stretchClicked() {
    if (stretch_->isChecked()) {
        keepRatio_->setEnabled(true);
        center_->setEnabled(keepRatio_->isChecked());
    } else {
        keepRatio_->setEnabled(false);
    }
}

void CSetupMain::keepRatioClicked() {
    if (stretch_->isChecked()) {
        keepRatio_->setEnabled(true);
        center_->setEnabled(keepRatio_->isChecked());
    }
}

SetupValues CSetupMain::values() const {
    SetupValues v;
    v.autoSetLastImage = autoSetLastImage_->isChecked();
    v.serviceAutoStart = serviceAutoStart_->isChecked();
    v.autoSaveSequenceForNext = autoSaveSequenceForNext_->isChecked();
    v.miniSizeToSystemTray = miniSizeToSystemTray_->isChecked();
    v.stretch = stretch_->isChecked();
    v.keepRatio = keepRatio_->isChecked();
    v.center = center_->isChecked();
    v.language = languageValue_;
    return v;
}

// The usual sizes at the camera's rate, and the camera's own format where it is another.
void CSetupMain::addCameraFormats() {
    run_ = context_.environment.runProgram;
    std::vector<InstalledDevice> devices;
    if (readInstalledDevices(machineHive(), devices).succeeded()) {
        for (const InstalledDevice &d : devices) {
            if (d.nameResult.succeeded() && d.name == kCameraName) {
                haveCamera_ = true;
                cameraFormatValue_ = d.format;
                break;
            }
        }
    }
    cameraFormat_->setEnabled(haveCamera_);
    if (!haveCamera_)
        return;
    std::vector<ChannelFormat> formats;
    for (ChannelFormat f : FormatChoice::usualSizes()) {
        f.fps = cameraFormatValue_.fps;
        formats.push_back(f);
    }
    if (std::find(formats.begin(), formats.end(), cameraFormatValue_) == formats.end())
        formats.push_back(cameraFormatValue_);
    for (const ChannelFormat &f : formats) {
        const QString text = QString::fromStdString(FormatChoice::describe(f));
        cameraFormat_->addItem(text, text);
        if (f == cameraFormatValue_)
            cameraFormat_->setCurrentIndex(cameraFormat_->count() - 1);
    }
}

bool CSetupMain::applyCameraFormat() {
    const std::string chosen = cameraFormat_->currentData().toString().toStdString();
    if (!haveCamera_ || chosen.empty() || chosen == FormatChoice::describe(cameraFormatValue_))
        return true;
    const std::string lumacam = (context_.paths.applicationFolder() + "/lumacam").toStdString();
    std::vector<std::string> argv{lumacam, "format", kCameraName, chosen};
    if (::geteuid() != 0)
        argv.insert(argv.begin(), "pkexec");
    const int status = run_ ? run_(argv) : -ENOSYS;
    if (status == 0)
        return true;
    context_.ask(this, appTitle(),
                 formatMessage(context_.message(pack_ids::kCameraFormatKept),
                               {QString::fromStdString(FormatChoice::describe(cameraFormatValue_)),
                                int64_t(status)}),
                 MessageButtons::Ok, MessageIcon::Error);
    return false;
}

void CSetupMain::accept() {
    writeSetupValues(context_.settings, values());
    (void)applyCameraFormat();
    QDialog::accept();
}

}  // namespace lumaghost
