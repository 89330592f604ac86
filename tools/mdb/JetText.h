#pragma once
// Text as a Jet 4 database stores it: UTF-16LE code units (characters beyond the BMP as
// surrogate pairs), optionally in Jet's "unicode compression". The caller owns the buffers.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace pontrel::tools::jet {

// Replaces units with the UTF-16 code units of a UTF-8 text (a buffer reused from row to row).
// Throws std::invalid_argument on malformed UTF-8.
void toUtf16(std::string_view utf8, std::vector<char16_t>& units);

// Appends the stored bytes of a text to out: the compressed form (0xFF 0xFE, then one byte per
// character whose high byte is zero, 0x00 switching between one- and two-byte runs) when
// compression is allowed, possible and shorter; plain UTF-16LE otherwise.
void appendJetText(const std::vector<char16_t>& units, bool allowCompression, std::vector<std::uint8_t>& out);

}  // namespace pontrel::tools::jet
