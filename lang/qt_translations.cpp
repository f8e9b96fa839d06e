// SPDX-License-Identifier: LGPL-2.1-or-later
#include "lang/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "lang/language_id.h"

namespace lumaghost {

QtTranslations::QtTranslations()
    : QtTranslations(QLibraryInfo::path(QLibraryInfo::TranslationsPath)) {}

QtTranslations::QtTranslations(QString folder) : folder_(std::move(folder)) {}

QtTranslations::~QtTranslations() {
    if (translator_)
        QCoreApplication::removeTranslator(translator_.get());
}

/// \brief Installs Qt's translation for a pack's language.
bool QtTranslations::select(uint16_t languageId) {
    if (translator_) {
        QCoreApplication::removeTranslator(translator_.get());
        translator_.reset();
        installedFile_.clear();
    }
    const uint16_t canonical = canonicalLanguageId(languageId);
    const QString name = QString::fromStdString(localeNameFromLanguageId(canonical));
    const QLocale locale = name.isEmpty() ? QLocale(QLocale::English) : QLocale(name);
    QLocale::setDefault(locale);
    if (canonical == kEnglishLanguageId)
        return true;
    auto translator = std::make_unique<QTranslator>();
    // qtbase_de_AT.qm, qtbase_de.qm, ...: the most specific file there is.
    if (name.isEmpty() ||
        !translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"), folder_))
        return false;
    installedFile_ = translator->filePath();
    QCoreApplication::installTranslator(translator.get());
    translator_ = std::move(translator);
    return true;
}

}  // namespace lumaghost
