// SPDX-License-Identifier: LGPL-2.1-or-later
// Fuzzes the language pack reader: whatever the bytes and the buffer size, a lookup must neither
// crash nor overrun, must return at most buffer size - 1 bytes that begin the value as written,
// must keep well-formed UTF-8 well-formed, and the escapes must keep the length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "lang/pack_text.h"

namespace {

void check(const lumaghost::PackText &text, std::string_view section, std::string_view key,
           size_t bufferSize, bool utf8) {
    std::string out;
    size_t n = text.profileString(section, key, "DEFAULT", bufferSize, out);
    if (n != out.size() || (bufferSize > 0 && n > bufferSize - 1) || (bufferSize == 0 && n != 0))
        std::abort();
    if (utf8 && !lumaghost::isUtf8Text(out))
        std::abort();
    if (auto raw = text.ini().rawValue(section, key)) {
        if (raw->find(out) == std::string_view::npos)  // a cut of the value, quotes aside
            std::abort();
    } else if (std::string_view("DEFAULT").substr(0, out.size()) != out) {
        std::abort();
    }
    std::string expanded = out;
    lumaghost::expandPackEscapes(expanded);
    if (expanded.size() != out.size())
        std::abort();
    (void)text.profileInt(section, key, 1033);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the buffer: 0 .. 255, or 256 and 260 as the packs use them.
    size_t bufferSize = data[0] == 0xFF ? 256 : data[0] == 0xFE ? 260 : data[0];
    std::string_view bytes(reinterpret_cast<const char *>(data + 1), size - 1);
    lumaghost::PackText text = lumaghost::PackText::parse(bytes);
    const bool utf8 = lumaghost::isUtf8Text(bytes);

    check(text, "INFO", "LanguageID", bufferSize, utf8);
    check(text, "STRINGTABLE", "ID156", bufferSize, utf8);
    for (const char *section : {"INFO", "STRINGTABLE", "MENU", "DLG_151"}) {
        for (const auto &[key, value] : text.ini().entries(section))
            check(text, section, key, bufferSize, utf8);
    }
    return 0;
}
