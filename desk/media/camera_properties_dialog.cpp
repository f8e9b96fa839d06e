// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/media/camera_properties_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "camera/device_discovery.h"
#include "desk/model/desk_context.h"
#include "desk/model/message_ids.h"
#include "lang/pack_ids.h"
#include "lang/relabel.h"

namespace lumaghost {

namespace {

/// Shows `value` on a control's widget without applying it again.
void showValue(QWidget *widget, const CameraControl &control, int32_t value) {
    const QSignalBlocker blocker(widget);
    if (auto *slider = qobject_cast<QSlider *>(widget)) {
        slider->setValue(value);
    } else if (auto *box = qobject_cast<QCheckBox *>(widget)) {
        box->setChecked(value != 0);
    } else if (auto *list = qobject_cast<QComboBox *>(widget)) {
        for (size_t i = 0; i < control.entries.size(); ++i) {
            if (control.entries[i].first == value)
                list->setCurrentIndex(int(i));
        }
    }
}

}  // namespace

CameraPropertiesDialog::CameraPropertiesDialog(const QString &device, CameraControls &controls,
                                               const std::vector<CameraControl> &list,
                                               QWidget *parent)
    : QDialog(parent), controls_(controls) {
    setObjectName(QStringLiteral("CameraPropertiesDialog"));
    setWindowTitle(device);
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    layout->addLayout(form);

    for (const CameraControl &control : list) {
        const QString name = QString::fromStdString(control.name);
        const uint32_t id = control.id;
        int32_t value = control.defaultValue;
        (void)controls_.get(id, value);
        QWidget *widget = nullptr;
        switch (control.type) {
            case CameraControl::Type::Class: {
                auto *heading = new QLabel(name, this);
                QFont bold = heading->font();
                bold.setBold(true);
                heading->setFont(bold);
                form->addRow(heading);
                continue;
            }
            case CameraControl::Type::Integer: {
                auto *slider = new QSlider(Qt::Horizontal, this);
                slider->setRange(control.minimum, control.maximum);
                slider->setSingleStep(control.step);
                slider->setPageStep(
                    std::max(control.step, (control.maximum - control.minimum) / 10));
                auto *shown = new QLabel(QString::number(value), this);
                shown->setMinimumWidth(
                    shown->fontMetrics().horizontalAdvance(QStringLiteral("-00000")));
                connect(slider, &QSlider::valueChanged, this, [this, id, slider, shown](int v) {
                    // A value between the steps goes to the nearest step.
                    const int step = slider->singleStep();
                    const int snapped =
                        slider->minimum() + (v - slider->minimum() + step / 2) / step * step;
                    shown->setText(QString::number(snapped));
                    apply(id, std::min(snapped, slider->maximum()));
                });
                auto *row = new QWidget(this);
                auto *rowLayout = new QHBoxLayout(row);
                rowLayout->setContentsMargins(0, 0, 0, 0);
                rowLayout->addWidget(slider, 1);
                rowLayout->addWidget(shown);
                form->addRow(name, row);
                widget = slider;
                break;
            }
            case CameraControl::Type::Boolean: {
                auto *box = new QCheckBox(name, this);
                connect(box, &QCheckBox::toggled, this,
                        [this, id](bool on) { apply(id, on ? 1 : 0); });
                form->addRow(box);
                widget = box;
                break;
            }
            case CameraControl::Type::Menu:
            case CameraControl::Type::IntegerMenu: {
                auto *choices = new QComboBox(this);
                for (const auto &[index, label] : control.entries)
                    choices->addItem(QString::fromStdString(label), index);
                connect(choices, &QComboBox::currentIndexChanged, this, [this, id, choices](int i) {
                    if (i >= 0)
                        apply(id, choices->itemData(i).toInt());
                });
                form->addRow(name, choices);
                widget = choices;
                break;
            }
            case CameraControl::Type::Button: {
                auto *button = new QPushButton(name, this);
                connect(button, &QPushButton::clicked, this, [this, id] { apply(id, 1); });
                form->addRow(button);
                widget = button;
                break;
            }
        }
        widget->setAccessibleName(name);
        showValue(widget, control, value);
        widget->setEnabled(!control.readOnly && !control.inactive);
        widgets_[id] = widget;
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

QWidget *CameraPropertiesDialog::controlWidget(uint32_t id) const {
    auto it = widgets_.find(id);
    return it == widgets_.end() ? nullptr : it->second;
}

/// \brief Sets a control on the device at once; one the device refuses shows its value again.
void CameraPropertiesDialog::apply(uint32_t id, int32_t value) {
    QWidget *widget = controlWidget(id);
    if (controls_.set(id, value).succeeded() || !widget)
        return;
    int32_t current = 0;
    if (controls_.get(id, current).failed())
        return;
    CameraControl shown;
    shown.id = id;
    if (auto *list = qobject_cast<QComboBox *>(widget)) {
        for (int i = 0; i < list->count(); ++i)
            shown.entries.emplace_back(list->itemData(i).toInt(), std::string());
    }
    showValue(widget, shown, current);
}

CDialogRealCameraSetup::CDialogRealCameraSetup(DeskContext &context,
                                               const std::vector<std::string> &cameras,
                                               ControlsOpener openControls, QWidget *parent)
    : QDialog(parent), context_(context), openControls_(std::move(openControls)) {
    setObjectName(QStringLiteral("RealCameraSetupDialog"));
    setWindowTitle(QStringLiteral("Setup your real camera"));
    cameras_ = new QComboBox(this);
    cameras_->setProperty(kControlIdProperty, kCameraList);
    cameras_->setAccessibleName(context_.message(pack_ids::kRealCameraName));
    cameras_->setMinimumWidth(220);
    for (const std::string &name : cameras)
        cameras_->addItem(QString::fromStdString(name));
    if (cameras_->count() > 0)
        cameras_->setCurrentIndex(0);
    setup_ = new QPushButton(QStringLiteral("&Setup"), this);
    setup_->setProperty(kControlIdProperty, kSetup);
    auto *ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setProperty(kControlIdProperty, pack_ids::kOk);
    ok->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(cameras_);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(setup_);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    layout->addLayout(buttons);
    relabelDialog(context_.packs, *this, kDialogId);

    connect(setup_, &QPushButton::clicked, this, &CDialogRealCameraSetup::onSetup);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void CDialogRealCameraSetup::onSetup() {
    if (cameras_->count() == 0)
        return;
    const std::string name = cameras_->currentText().toStdString();
    std::unique_ptr<BaseFilter> device;
    if (findFilterByName(CLSID_VideoInputDeviceCategory, name, device).failed())
        return;
    std::unique_ptr<CameraControls> controls;
    std::vector<CameraControl> list;
    if (!openControls_ || openControls_(*device, controls).failed() || !controls ||
        controls->list(list) != S_OK) {
        context_.ask(this, appTitle(), context_.message(msg::kNoPropertyPage), MessageButtons::Ok,
                     MessageIcon::Information);
        return;
    }
    CameraPropertiesDialog properties(QString::fromStdString(name), *controls, list, this);
    properties.exec();
}

}  // namespace lumaghost
