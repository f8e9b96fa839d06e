// SPDX-License-Identifier: LGPL-2.1-or-later
#include "lang/pack_text.h"

namespace lumaghost {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool continuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A value as the profile functions hand it out: up to a NUL, without one pair of surrounding
// quotes of either kind.
std::string_view profileValue(std::string_view raw) {
    raw = raw.substr(0, raw.find('\0'));
    if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front())
        raw = raw.substr(1, raw.size() - 2);
    return raw;
}

}  // namespace

/// \brief Parses the bytes of a pack file.
PackText PackText::parse(std::string_view bytes) {
    if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        bytes.remove_prefix(kByteOrderMark.size());
    PackText text;
    text.ini_ = IniFile::parse(bytes);
    return text;
}

size_t PackText::profileString(std::string_view section, std::string_view key,
                               std::string_view defaultText, size_t bufferSize,
                               std::string &out) const {
    out.clear();
    if (bufferSize == 0)
        return 0;
    auto raw = ini_.rawValue(section, key);
    out.assign(raw ? profileValue(*raw) : defaultText);
    cutUtf8(out, bufferSize - 1);
    return out.size();
}

uint32_t PackText::profileInt(std::string_view section, std::string_view key,
                              uint32_t defaultValue) const {
    auto raw = ini_.rawValue(section, key);
    if (!raw)
        return defaultValue;
    std::string_view v = profileValue(*raw);
    if (v.empty())
        return defaultValue;
    while (!v.empty() && (v.front() == ' ' || v.front() == '\t'))
        v.remove_prefix(1);
    bool negative = false;
    if (!v.empty() && (v.front() == '-' || v.front() == '+')) {
        negative = v.front() == '-';
        v.remove_prefix(1);
    }
    uint32_t n = 0;
    for (char c : v) {
        if (c < '0' || c > '9')
            break;
        n = n * 10 + static_cast<uint32_t>(c - '0');  // wraps like the 32-bit original
    }
    return negative ? 0u - n : n;
}

void cutUtf8(std::string &text, size_t maxBytes) {
    if (text.size() <= maxBytes)
        return;
    // text[maxBytes] is the first byte dropped; when it continues a character, that
    // character's lead byte (at most three bytes back) goes too.
    size_t cut = maxBytes;
    size_t back = cut;
    for (int i = 0; i < 3 && back > 0 && continuationByte(text[back]); ++i)
        --back;
    if ((static_cast<unsigned char>(text[back]) & 0xC0) == 0xC0)
        cut = back;
    text.resize(cut);
}

bool isUtf8Text(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == 0)
            return false;
        if (c < 0x80) {
            ++i;
            continue;
        }
        size_t length;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        for (size_t k = 1; k < length; ++k) {
            if (!continuationByte(text[i + k]))
                return false;
            cp = (cp << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

void expandPackEscapes(std::string &text) {
    // A backslash always takes the next character with it, so "\\n" stays as written.
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '\\')
            continue;
        if (text[i + 1] == 'n') {
            text[i] = '\r';
            text[i + 1] = '\n';
        } else if (text[i + 1] == 't') {
            text[i] = ' ';
            text[i + 1] = '\t';
        }
        ++i;
    }
}

}  // namespace lumaghost
