// SPDX-License-Identifier: LGPL-2.1-or-later
// Qt's own texts (the buttons of message boxes, the file dialogs, the context menus of text
// fields) in the language of the current pack: Qt's translation files (qtbase_<language>.qm, in
// Debian's qt6-translations-l10n) installed into the application.
#pragma once

#include <cstdint>
#include <memory>

#include <QString>

class QTranslator;

namespace lumaghost {

class QtTranslations {
public:
    /// Looks in Qt's translation folder.
    QtTranslations();
    /// Looks in `folder` (tests).
    explicit QtTranslations(QString folder);
    ~QtTranslations();
    QtTranslations(const QtTranslations &) = delete;
    QtTranslations &operator=(const QtTranslations &) = delete;

    /// Replaces the translation installed before by Qt's translation for `languageId` and makes
    /// that language the default locale. English needs none; false when a translation for
    /// another language was not found (Qt's texts then stay English).
    bool select(uint16_t languageId);

    /// The file installed, empty when none is.
    QString installedFile() const { return installedFile_; }

private:
    QString folder_;
    std::unique_ptr<QTranslator> translator_;
    QString installedFile_;
};

}  // namespace lumaghost
