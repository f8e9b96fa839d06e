// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/dialogs/about_dlg.h"

#include <cstring>

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "desk/model/desk_context.h"
#include "desk/model/message_format.h"
#include "lang/pack_ids.h"
#include "lang/relabel.h"
#include "platform/project_info.h"

namespace lumaghost {

namespace ids = pack_ids;

int buildNumber(const char *date) {
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char *p = date;
    for (int pass = 0; pass < 2 && p && *p; ++pass) {
        for (int m = 0; m < 12; ++m) {
            if (std::strncmp(p, kMonths[m], 3) == 0 && p[3] == ' ') {
                const int day = std::atoi(p + 4);
                return day > 0 && day <= 31 ? 100 * (m + 1) + day : 0;
            }
        }
        p = std::strchr(p, ' ');  // the weekday comes first in ctime()'s form
        if (p)
            ++p;
    }
    return 0;
}

QString versionLine(const QString &format) {
    return formatMessage(format, {int64_t{0}, int64_t{9}, int64_t{0}, int64_t{0},
                                  QStringLiteral("beta"), int64_t{buildNumber(kBuildDate)}});
}

CAboutDlg::CAboutDlg(DeskContext &context, QWidget *parent) : QDialog(parent), context_(context) {
    setObjectName(QStringLiteral("AboutDialog"));
    auto *icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/icons/lumadesk.svg")).pixmap(48, 48));
    icon->setAccessibleName(QStringLiteral("Lumadesk"));

    auto label = [this](int id, const char *text) {
        auto *l = new QLabel(QString::fromUtf8(text), this);
        l->setProperty(kControlIdProperty, id);
        return l;
    };
    version_ = label(ids::kVersionLine, "Lumaghost version");
    release_ = new QLabel(this);
    release_->setObjectName(QStringLiteral("ReleaseLine"));
    auto *copyright = label(ids::kCopyrightLine, "Copyright (C) 2005 Quillmoor");
    translator_ = label(ids::kTranslatorLine, "Language pack is translated by:");
    auto link = [this](int id, const char *text) {
        auto *b = new QPushButton(QString::fromUtf8(text), this);
        b->setProperty(kControlIdProperty, id);
        b->setFlat(true);
        b->setCursor(Qt::PointingHandCursor);
        return b;
    };
    homepage_ = link(ids::kHomepageLink, "Quillmoor Homepage");
    mail_ = link(ids::kSupportMailLink, "support@quillmoor.example");
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setProperty(kControlIdProperty, ids::kOk);
    ok->setDefault(true);

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(icon, 0, Qt::AlignTop);
    auto *texts = new QVBoxLayout;
    for (QWidget *w : std::initializer_list<QWidget *>{version_, release_, copyright, translator_})
        texts->addWidget(w);
    auto *links = new QHBoxLayout;
    links->addWidget(homepage_);
    links->addWidget(mail_);
    links->addStretch(1);
    texts->addLayout(links);
    layout->addLayout(texts, 1);
    layout->addWidget(ok, 0, Qt::AlignTop);

    relabelDialog(context_.packs, *this, ids::kAboutDialog);
    // The dialog's own texts override the pack's for these controls.
    version_->setText(versionLine(loadPackQString(context_.packs, ids::kVersionFormat)));
    release_->setText(context_.message(ids::kReleaseLine, {QString::fromLatin1(kProjectVersion),
                                                           QString::fromLatin1(kProjectLicense)}));
    translator_->setText(packDisplayText(context_.packs.TranslatorLine()));

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(homepage_, &QPushButton::clicked, this, &CAboutDlg::homepageRequested);
    connect(mail_, &QPushButton::clicked, this, [this] {
        context_.environment.openUrl(
            QUrl(QStringLiteral("mailto:") + QString::fromLatin1(kSupportMailAddress)));
    });
}

}  // namespace lumaghost
