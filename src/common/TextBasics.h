#pragma once
// Small text helpers shared by the data layer: ASCII case folding for names (table, field and
// function names compare without regard to case), UTF-8 encoding of one code point, and SQL
// identifiers in double quotes, outside texts quoted in messages.

#include <cctype>
#include <string>
#include <string_view>

namespace pontrel::data {

inline std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& ch : out) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return out;
}

inline bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

inline void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Any name as an SQL identifier: in double quotes, inner quotes doubled.
inline std::string quotedIdentifier(std::string_view name) {
    std::string out = "\"";
    for (char ch : name) {
        if (ch == '"') out += '"';
        out += ch;
    }
    return out + "\"";
}

// A text from outside (a file, a variable) as a message quotes it: at most `limit` bytes, cut
// before a UTF-8 character that would pass it and then marked "...", every control byte
// and every byte that is not part of a well-formed character written as \xNN, so that a huge
// or binary text cannot flood or garble the message.
inline std::string quotedForMessage(std::string_view text, std::size_t limit = 100) {
    std::string out;
    std::size_t i = 0;
    for (; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // A character of several bytes is kept whole when it is well formed; any other byte
        // that is not plain printable ASCII is written as \xNN.
        std::size_t length = byte < 0x80 ? 1 : byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 0;
        for (std::size_t k = 1; k < length; ++k)
            if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) length = 0;
        const bool escaped = length == 0 || byte < 0x20 || byte == 0x7F || byte > 0xF4;
        if (out.size() + (escaped ? 4 : length) > limit) break;
        if (escaped) {
            static const char digits[] = "0123456789ABCDEF";
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 15];
        } else {
            out.append(text.substr(i, length));
            i += length - 1;
        }
    }
    if (i < text.size()) out += "...";
    return out;
}

}  // namespace pontrel::data
