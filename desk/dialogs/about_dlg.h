// SPDX-License-Identifier: LGPL-2.1-or-later
// The About box (pack_ids::kAboutDialog): the version line of pack_ids::kVersionFormat, the
// translator line of the language pack, and links to the maker's page and mail address; below the
// version line, the release of this Linux build and its licence.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace lumaghost {

struct DeskContext;

/// The build date the build number is computed from.
inline constexpr char kBuildDate[] = "Mon May 30 22:23:26 2005";

/// 100 × month + day of a date in the form of __DATE__ or ctime() ("Mon May 30 ..." or
/// "May 30 2005"); 0 when it names no month.
int buildNumber(const char *date);

/// The version format filled with version 0.9.0.0, "beta" and the build number.
QString versionLine(const QString &format);

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    CAboutDlg(DeskContext &context, QWidget *parent = nullptr);

    QLabel *versionLabel() const { return version_; }
    QLabel *releaseLabel() const { return release_; }
    QLabel *translatorLabel() const { return translator_; }
    QPushButton *homepageLink() const { return homepage_; }

signals:
    /// The maker's page was asked for.
    void homepageRequested();

private:
    DeskContext &context_;
    QLabel *version_ = nullptr;
    QLabel *release_ = nullptr;
    QLabel *translator_ = nullptr;
    QPushButton *homepage_ = nullptr;
    QPushButton *mail_ = nullptr;
};

}  // namespace lumaghost
