// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/file_dialog_filter.h"

#include <algorithm>

#include <QRegularExpression>

namespace lumaghost {

namespace {

/// A filter's patterns as QFileDialog takes them: "*" matches every name, with or without a dot.
QStringList dialogPatterns(const QString &patterns) {
    QStringList out;
    for (const QString &pattern : patterns.split(u';', Qt::SkipEmptyParts)) {
        const QString trimmed = pattern.trimmed();
        const QString taken = trimmed == QStringLiteral("*.*") ? QStringLiteral("*") : trimmed;
        if (!taken.isEmpty() && !out.contains(taken))
            out.append(taken);
    }
    return out;
}

/// A filter's name without the list of its patterns that it may show itself ("AVI
/// files(*.avi)", "Picture Files (bmp jpg)"): the dialog shows the patterns once, after it.
QString nameWithoutPatterns(const QString &name, const QStringList &patterns) {
    const QString trimmed = name.trimmed();
    const qsizetype open = trimmed.lastIndexOf(u'(');
    if (open < 0 || !trimmed.endsWith(u')'))
        return trimmed;
    QStringList shown;
    const QString inside = trimmed.mid(open + 1, trimmed.size() - open - 2);
    for (QString word :
         inside.split(QRegularExpression(QStringLiteral("[ ;,]+")), Qt::SkipEmptyParts)) {
        if (!word.startsWith(u'*'))
            word = QStringLiteral("*.") + word;
        for (const QString &pattern : dialogPatterns(word))
            shown.append(pattern);
    }
    // The name's own list may be shorter than the patterns (readers add types), never other.
    const bool listsPatterns =
        !shown.isEmpty() && std::all_of(shown.begin(), shown.end(), [&](const QString &pattern) {
            return patterns.contains(pattern, Qt::CaseInsensitive);
        });
    return listsPatterns ? trimmed.left(open).trimmed() : trimmed;
}

/// The movie filter among a pack's filters: the one of the legacy movie types.
bool isMovieFilter(const QStringList &patterns) {
    return patterns.contains(QStringLiteral("*.avi"), Qt::CaseInsensitive);
}

struct Filter {
    QString name;
    QStringList patterns;
};

std::vector<Filter> parseFilter(const QString &packFilter,
                                const std::vector<std::string> &moreMovieTypes) {
    const QStringList parts = packFilter.split(u'|');
    std::vector<Filter> filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;
        Filter filter;
        filter.patterns = dialogPatterns(parts[i + 1]);
        filter.name = nameWithoutPatterns(parts[i], filter.patterns);
        if (isMovieFilter(filter.patterns) && filter.patterns.size() > 1) {
            for (const std::string &type : moreMovieTypes) {
                const QString pattern = QStringLiteral("*.") + QString::fromStdString(type);
                if (!filter.patterns.contains(pattern, Qt::CaseInsensitive))
                    filter.patterns.append(pattern);
            }
        }
        filters.push_back(std::move(filter));
    }
    return filters;
}

QString joined(const std::vector<Filter> &filters) {
    QStringList out;
    for (const Filter &filter : filters)
        out.append(filter.name + QStringLiteral(" (") + filter.patterns.join(u' ') + u')');
    return out.join(QStringLiteral(";;"));
}

}  // namespace

QString fileDialogFilter(const QString &packFilter,
                         const std::vector<std::string> &moreMovieTypes) {
    return joined(parseFilter(packFilter, moreMovieTypes));
}

QString openDialogFilter(const QString &packFilter, const QString &allName,
                         const std::vector<std::string> &moreMovieTypes) {
    std::vector<Filter> filters = parseFilter(packFilter, moreMovieTypes);
    Filter all{allName, {}};
    for (const Filter &filter : filters) {
        for (const QString &pattern : filter.patterns) {
            if (pattern != QStringLiteral("*") && !all.patterns.contains(pattern))
                all.patterns.append(pattern);
        }
    }
    filters.insert(filters.begin(), std::move(all));
    return joined(filters);
}

}  // namespace lumaghost
