// SPDX-License-Identifier: LGPL-2.1-or-later
// printf-style message formats from language packs, filled safely: a format is pack data, so a
// conversion that does not match its argument, or has none, never reads memory it should not.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <variant>

#include <QString>

namespace lumaghost {

using MessageArg = std::variant<int64_t, QString>;

/// Fills %d %i %u %x %X %o %c %s (with flags "-0", a width and "l"/"h" length letters; "%%" is
/// a percent sign) from `args` in order. An integer conversion given a text shows the text; a
/// text conversion given a number shows it in decimal; a conversion without an argument is
/// left as written. Hexadecimal conversions show numbers as 32-bit unsigned, as the messages'
/// result codes are.
QString formatMessage(const QString &format, std::initializer_list<MessageArg> args);

/// A message with the line that says what is wrong or what to do under it: the message's own
/// text first, unchanged, then the detail on a line of its own (none when it is empty).
QString withDetail(const QString &message, const QString &detail);

}  // namespace lumaghost
