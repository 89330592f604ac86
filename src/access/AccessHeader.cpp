#include "access/AccessHeader.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "sqlite/DatabaseError.h"

namespace pontrel::data {

namespace {

// The header page from offset 0x18 is scrambled with RC4 under a fixed key.
std::string unscramble(std::string_view data) {
    const unsigned char key[4] = {0xc7, 0xda, 0x39, 0x6b};  // 0x6b39dac7, little-endian
    unsigned char s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + key[i % 4]) & 0xFF;
        std::swap(s[i], s[j]);
    }
    std::string out(data);
    for (std::size_t n = 0, i = 0, j = 0; n < out.size(); ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        out[n] = static_cast<char>(static_cast<unsigned char>(out[n]) ^ s[(s[i] + s[j]) & 0xFF]);
    }
    return out;
}

std::uint32_t littleEndian32(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

}  // namespace

AccessHeader parseAccessHeader(std::string_view firstPage) {
    constexpr std::size_t kScrambledStart = 0x18;
    constexpr std::size_t kHeaderEnd = 0x18 + 128;
    if (firstPage.size() < kHeaderEnd) throw DatabaseError("the file is too short to be an Access database");
    if (firstPage.substr(4, 15) != "Standard Jet DB" && firstPage.substr(4, 15) != "Standard ACE DB")
        throw DatabaseError("the file does not start like an Access database");
    AccessHeader header;
    header.jetVersion = static_cast<unsigned char>(firstPage[0x14]);
    const bool jet3 = header.jetVersion == 0;
    std::string page(firstPage.substr(0, kHeaderEnd));
    std::size_t scrambled = jet3 ? 126 : 128;
    page.replace(kScrambledStart, scrambled, unscramble(page.substr(kScrambledStart, scrambled)));

    // A non-zero database key means every page is encrypted.
    header.encrypted = littleEndian32(page, 0x3e) != 0;

    // The password: 20 bytes (Jet3) or 20 UCS-2 characters (Jet4 and later) at 0x42, the latter
    // further masked with the whole part of the creation date stored at 0x72.
    std::string password = page.substr(0x42, jet3 ? 20 : 40);
    if (!jet3) {
        double created = 0;
        std::memcpy(&created, page.data() + 0x72, sizeof created);
        std::int32_t mask = 0;
        if (created > -2147483648.0 && created < 2147483648.0) mask = static_cast<std::int32_t>(created);
        unsigned char maskBytes[4];
        for (int i = 0; i < 4; ++i) maskBytes[i] = static_cast<unsigned char>((static_cast<std::uint32_t>(mask) >> (8 * i)) & 0xFF);
        for (std::size_t i = 0; i < password.size(); ++i)
            password[i] = static_cast<char>(static_cast<unsigned char>(password[i]) ^ maskBytes[i % 4]);
    }
    for (char ch : password)
        if (ch != 0) header.hasPassword = true;
    return header;
}

}  // namespace pontrel::data
