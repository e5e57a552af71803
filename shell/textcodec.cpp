#include "shell/textcodec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace murrel {

namespace {

// Code page 1252's bytes 0x80-0x9F; the five it leaves undefined map to the C1
// control of the same number, as the platform's own conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void append_utf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Length of the well-formed UTF-8 sequence at s[i] (no overlong forms, no
// surrogates, nothing above U+10FFFF), or 0 when there is none.
std::size_t utf8_sequence(std::string_view s, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) return 1;
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    if (i + len > s.size()) return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < len; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return len;
}

std::string decode_utf8_or_cp1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t len = utf8_sequence(bytes, i);
        if (len > 0) {
            out.append(bytes.substr(i, len));
            i += len;
            continue;
        }
        unsigned char b = static_cast<unsigned char>(bytes[i++]);
        append_utf8(out, b < 0xA0 ? kCp1252High[b - 0x80] : b);
    }
    return out;
}

std::string decode_with_iconv(std::string_view bytes, const char* codepage) {
    iconv_t cd = iconv_open("UTF-8", codepage);
    if (cd == reinterpret_cast<iconv_t>(-1)) return decode_utf8_or_cp1252(bytes);
    std::string out;
    char buf[1024];
    char* in = const_cast<char*>(bytes.data());
    std::size_t in_left = bytes.size();
    while (in_left > 0) {
        char* o = buf;
        std::size_t o_left = sizeof buf;
        std::size_t r = iconv(cd, &in, &in_left, &o, &o_left);
        out.append(buf, static_cast<std::size_t>(o - buf));
        if (r != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // A byte the code page does not define, or a lead byte cut off at the
        // end: replace that one byte and go on after it.
        append_utf8(out, 0xFFFD);
        ++in;
        --in_left;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

}  // namespace

CharsetInfo charset_info(int32_t charset) {
    switch (charset & 0xFF) {
    case 2: return {"", WritingSystem::Symbol};
    case 77: return {"MACINTOSH", WritingSystem::Latin};
    case 128: return {"CP932", WritingSystem::Japanese};
    case 129: return {"CP949", WritingSystem::Korean};
    case 130: return {"JOHAB", WritingSystem::Korean};
    case 134: return {"CP936", WritingSystem::SimplifiedChinese};
    case 136: return {"CP950", WritingSystem::TraditionalChinese};
    case 161: return {"CP1253", WritingSystem::Greek};
    case 162: return {"CP1254", WritingSystem::Latin};
    case 163: return {"CP1258", WritingSystem::Vietnamese};
    case 177: return {"CP1255", WritingSystem::Hebrew};
    case 178: return {"CP1256", WritingSystem::Arabic};
    case 186: return {"CP1257", WritingSystem::Latin};
    case 204: return {"CP1251", WritingSystem::Cyrillic};
    case 222: return {"CP874", WritingSystem::Thai};
    case 238: return {"CP1250", WritingSystem::Latin};
    case 255: return {"CP437", WritingSystem::Latin};
    case 0: return {"", WritingSystem::Latin};
    default: return {"", WritingSystem::Any};  // 1, the default character set, and unknown numbers
    }
}

std::string decode_catalogue_text(std::string_view bytes, int32_t charset) {
    CharsetInfo info = charset_info(charset);
    if (*info.codepage == '\0') return decode_utf8_or_cp1252(bytes);
    return decode_with_iconv(bytes, info.codepage);
}

}  // namespace murrel
