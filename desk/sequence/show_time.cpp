// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/sequence/show_time.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

#include <algorithm>

#include "lang/pack_ids.h"
#include "lang/relabel.h"

namespace lumaghost {

CShowTime::CShowTime(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("displayTimeBar"));
    const LanguagePackList &packs = appLanguagePacks();
    setAccessibleName(loadPackQString(packs, pack_ids::kDisplayTimeName));
    edit_ = new QLineEdit(QString::number(kMinTime), this);
    edit_->setObjectName(QStringLiteral("displayTimeEdit"));
    edit_->setAccessibleName(loadPackQString(packs, pack_ids::kDisplayTimeEditName));
    edit_->setProperty(kControlIdProperty, kEditId);
    edit_->setMaximumWidth(edit_->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName(QStringLiteral("displayTimeSlider"));
    slider_->setAccessibleName(loadPackQString(packs, pack_ids::kDisplayTimeSliderName));
    slider_->setProperty(kControlIdProperty, kSliderId);
    slider_->setRange(kMinTime, kMaxTime);
    slider_->setPageStep(kPageStep);
    slider_->setSingleStep(100);
    slider_->setValue(kMinTime);
    slider_->setMinimumWidth(160);
    auto *unit = new QLabel(loadPackQString(packs, pack_ids::kMillisecondsUnit), this);
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(edit_);
    layout->addWidget(slider_, 1);
    layout->addWidget(unit);

    edit_->installEventFilter(this);
    connect(edit_, &QLineEdit::returnPressed, this, &CShowTime::takeEdit);
    connect(slider_, &QSlider::valueChanged, this, &CShowTime::sliderMoved);
}

int CShowTime::ParseDisplayTime(const QString &text) {
    // As a C reader of decimal integers takes it: blanks, a sign, then digits; saturating.
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+'))
        negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > kMaxTime)
            value = kMaxTime + 1;  // large enough to clamp, small enough never to overflow
    }
    if (negative)
        value = -value;
    return int(std::clamp<long long>(value, kMinTime, kMaxTime));
}

void CShowTime::referTo(std::optional<int> displayTime) {
    refersToItem_ = displayTime.has_value();
    if (!displayTime)
        return;
    // Only shown: an item's time outside the bar's range is not changed by looking at it.
    showing_ = true;
    edit_->setText(QString::number(*displayTime));
    slider_->setValue(*displayTime);
    showing_ = false;
}

bool CShowTime::eventFilter(QObject *watched, QEvent *event) {
    if (watched == edit_ && event->type() == QEvent::FocusOut)
        takeEdit();
    return QWidget::eventFilter(watched, event);
}

void CShowTime::takeEdit() {
    const int value = ParseDisplayTime(edit_->text());
    showing_ = true;
    slider_->setValue(value);
    edit_->setText(QString::number(value));
    showing_ = false;
    if (refersToItem_)
        emit displayTimeChanged(value);
}

void CShowTime::sliderMoved(int value) {
    if (showing_)
        return;
    edit_->setText(QString::number(value));
    if (refersToItem_)
        emit displayTimeChanged(value);
}

}  // namespace lumaghost
