#include "JetText.h"

#include <stdexcept>
#include <string>

namespace pontrel::tools::jet {

void toUtf16(std::string_view utf8, std::vector<char16_t>& units) {
    units.clear();
    auto fail = [&](std::size_t at) {
        throw std::invalid_argument("malformed UTF-8 at byte " + std::to_string(at) + " of \"" +
                                    std::string(utf8) + "\"");
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        char32_t code = 0;
        std::size_t length = 0;
        if (lead < 0x80) {
            code = lead;
            length = 1;
        } else if (lead >= 0xC2 && lead < 0xE0) {
            code = lead & 0x1Fu;
            length = 2;
        } else if (lead >= 0xE0 && lead < 0xF0) {
            code = lead & 0x0Fu;
            length = 3;
        } else if (lead >= 0xF0 && lead < 0xF5) {
            code = lead & 0x07u;
            length = 4;
        } else {
            fail(i);
        }
        if (i + length > utf8.size()) fail(i);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0u) != 0x80u) fail(i + k);
            code = (code << 6) | (next & 0x3Fu);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
            (code >= 0xD800 && code < 0xE000))
            fail(i);
        if (code < 0x10000) {
            units.push_back(static_cast<char16_t>(code));
        } else {
            code -= 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        }
        i += length;
    }
}

namespace {

// A unit whose low byte is zero would read as a mode switch, so such texts stay uncompressed.
bool compressible(const std::vector<char16_t>& units) {
    for (char16_t unit : units)
        if ((unit & 0xFF) == 0) return false;
    return true;
}

}  // namespace

void appendJetText(const std::vector<char16_t>& units, bool allowCompression, std::vector<std::uint8_t>& out) {
    // Uncompressed text that starts with U+FEFF looks like the compression marker to every
    // reader, so such a text must be written compressed.
    const bool startsLikeMarker = !units.empty() && units.front() == 0xFEFF;
    if ((allowCompression || startsLikeMarker) && compressible(units)) {
        std::size_t size = 2;
        bool single = true;
        for (char16_t unit : units) {
            bool wantSingle = unit < 0x100;
            if (wantSingle != single) {
                ++size;
                single = wantSingle;
            }
            size += wantSingle ? 1 : 2;
        }
        if (size < units.size() * 2 || startsLikeMarker) {
            out.push_back(0xFF);
            out.push_back(0xFE);
            single = true;
            for (char16_t unit : units) {
                bool wantSingle = unit < 0x100;
                if (wantSingle != single) {
                    out.push_back(0x00);
                    single = wantSingle;
                }
                out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
                if (!wantSingle) out.push_back(static_cast<std::uint8_t>(unit >> 8));
            }
            return;
        }
    } else if (startsLikeMarker) {
        throw std::invalid_argument("a text that starts with U+FEFF and holds a character ending in a zero byte "
                                    "cannot be stored unambiguously");
    }
    for (char16_t unit : units) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
}

}  // namespace pontrel::tools::jet
