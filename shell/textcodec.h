#pragma once
// The catalogue's text encoding and the font's writing system, both chosen by
// the configured font character set (`Charset`, of which only the low byte
// counts, as a Windows font character set number).
#include <cstdint>
#include <string>
#include <string_view>

namespace murrel {

// Writing systems a window's font can be asked to cover; the windows map these
// one to one onto the toolkit's writing systems of the same name.
enum class WritingSystem {
    Any,
    Latin,
    Greek,
    Cyrillic,
    Hebrew,
    Arabic,
    Thai,
    Vietnamese,
    SimplifiedChinese,
    TraditionalChinese,
    Japanese,
    Korean,
    Symbol,
};

struct CharsetInfo {
    // iconv name of the code page the catalogue's bytes are in; empty for the
    // character sets whose bytes are read as UTF-8, any byte that is not part
    // of a valid UTF-8 sequence being taken from code page 1252.
    const char* codepage;
    WritingSystem writing_system;
};

// For the low byte of `charset`. Unknown numbers behave like 1 (default).
CharsetInfo charset_info(int32_t charset);

// The catalogue bytes `bytes` as UTF-8 text, decoded as `charset` says. Bytes
// the code page does not define become U+FFFD; decoding never fails.
std::string decode_catalogue_text(std::string_view bytes, int32_t charset);

}  // namespace murrel
