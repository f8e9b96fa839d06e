// SPDX-License-Identifier: LGPL-2.1-or-later
// The text of a language pack file read with the private-profile rules: sections and keys
// without regard to case, values trimmed, one pair of surrounding quotes removed, values cut to
// the reader's buffer. Pack files are UTF-8; a cut never splits a character.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ini_file.h"

namespace lumaghost {

/// The buffer every pack value is read into: at most 255 bytes of text are kept.
inline constexpr size_t kPackBufferSize = 256;

class PackText {
public:
    PackText() = default;
    /// Parses the bytes of a pack file; a leading UTF-8 byte-order mark is skipped.
    static PackText parse(std::string_view bytes);

    /// Private-profile string read: the value of `key` in `section`, or `defaultText` when
    /// the key is missing, cut to `bufferSize` - 1 bytes. Returns the length of `out`.
    size_t profileString(std::string_view section, std::string_view key,
                         std::string_view defaultText, size_t bufferSize, std::string &out) const;

    /// Private-profile integer read: the decimal number the value starts with (0 when it
    /// starts with none), or `defaultValue` when the key is missing or empty.
    uint32_t profileInt(std::string_view section, std::string_view key,
                        uint32_t defaultValue) const;

    const IniFile &ini() const { return ini_; }

private:
    IniFile ini_;
};

/// Cuts `text` to at most `maxBytes` bytes, backing off to the start of a UTF-8 character
/// that the cut would split.
void cutUtf8(std::string &text, size_t maxBytes);

/// True when `text` is well-formed UTF-8 without NUL bytes.
bool isUtf8Text(std::string_view text);

/// Expands the pack escapes in place: a backslash and "n" become CR LF, a backslash and "t" a
/// blank and a tab; the length does not change and every other backslash stays.
void expandPackEscapes(std::string &text);

}  // namespace lumaghost
