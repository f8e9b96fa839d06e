// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/message_format.h"

#include <vector>

#include <QStringList>

namespace lumaghost {

namespace {

QString convert(QChar conversion, const MessageArg &arg) {
    if (const QString *text = std::get_if<QString>(&arg))
        return *text;
    const int64_t value = std::get<int64_t>(arg);
    switch (conversion.unicode()) {
        case 'x':
            return QString::number(static_cast<uint32_t>(value), 16);
        case 'X':
            return QString::number(static_cast<uint32_t>(value), 16).toUpper();
        case 'o':
            return QString::number(static_cast<uint32_t>(value), 8);
        case 'u':
            return QString::number(static_cast<uint32_t>(value));
        case 'c':
            return QString(QChar(static_cast<char16_t>(value)));
        default:
            return QString::number(value);
    }
}

}  // namespace

QString formatMessage(const QString &format, std::initializer_list<MessageArg> args) {
    const std::vector<MessageArg> list(args);
    size_t next = 0;
    QString out;
    out.reserve(format.size() + 16);
    const qsizetype n = format.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (format[i] != u'%') {
            out += format[i];
            continue;
        }
        if (i + 1 < n && format[i + 1] == u'%') {
            out += u'%';
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        bool leftAlign = false, zeroPad = false;
        for (; j < n && (format[j] == u'-' || format[j] == u'0'); ++j)
            (format[j] == u'-' ? leftAlign : zeroPad) = true;
        int width = 0;
        for (; j < n && format[j].isDigit() && width < 1000; ++j)
            width = width * 10 + format[j].digitValue();
        while (j < n && (format[j] == u'l' || format[j] == u'h'))
            ++j;
        if (j >= n || !QStringLiteral("diuxXocs").contains(format[j]) || next >= list.size()) {
            // Not a conversion this filler knows, or no argument left: shown as written.
            out += format.mid(i, j - i + (j < n ? 1 : 0));
            i = j;
            continue;
        }
        QString text = convert(format[j], list[next++]);
        const bool number = std::holds_alternative<int64_t>(list[next - 1]);
        if (text.size() < width) {
            const QString pad(width - text.size(), zeroPad && !leftAlign && number ? u'0' : u' ');
            if (leftAlign)
                text += pad;
            else if (zeroPad && number && text.startsWith(u'-'))
                text.insert(1, pad);
            else
                text.prepend(pad);
        }
        out += text;
        i = j;
    }
    return out;
}

QString withDetail(const QString &message, const QString &detail) {
    if (detail.isEmpty())
        return message;
    return message + u'\n' + detail;
}

}  // namespace lumaghost
