#pragma once
// The bytes of a point shapefile's records: the .shp point record and its .shx index entry, the
// header fields completed at the end, text cells of the .dbf, and the fast copy of a cell a
// record repeats. Pure inline functions over caller-owned buffers.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "shapefile/FieldFormats.h"

namespace pontrel::shapefile {

inline constexpr std::size_t kShpHeaderBytes = 100;
inline constexpr std::size_t kPointRecordBytes = 28;  // record header 8, shape type 4, x and y 16
inline constexpr std::size_t kShxEntryBytes = 8;
inline constexpr std::uint32_t kPointContentWords = 10;
inline constexpr std::uint32_t kPointShapeType = 1;

inline void putBig32(char* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(value >> (24 - 8 * i));
}

inline void putLittle32(char* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(value >> (8 * i));
}

inline void putLittleDouble(char* out, double value) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &value, 8);
        return;
    }
    auto bits = std::bit_cast<std::uint64_t>(value);
    for (int i = 0; i < 8; ++i) out[i] = static_cast<char>(bits >> (8 * i));
}

// The point record of the record `index` (from 0) and its index entry.
inline void putPoint(char* point, char* entry, std::size_t index, double x, double y) {
    putBig32(point, static_cast<std::uint32_t>(index + 1));
    putBig32(point + 4, kPointContentWords);
    putLittle32(point + 8, kPointShapeType);
    putLittleDouble(point + 12, x);
    putLittleDouble(point + 20, y);
    putBig32(entry, static_cast<std::uint32_t>((kShpHeaderBytes + index * kPointRecordBytes) / 2));
    putBig32(entry + 4, kPointContentWords);
}

// Widens `bounds` (x min, y min, x max, y max) to take in the point; the first point sets them.
inline void includePoint(double* bounds, bool first, double x, double y) {
    if (first) {
        bounds[0] = bounds[2] = x;
        bounds[1] = bounds[3] = y;
    } else {
        bounds[0] = std::min(bounds[0], x);
        bounds[1] = std::min(bounds[1], y);
        bounds[2] = std::max(bounds[2], x);
        bounds[3] = std::max(bounds[3], y);
    }
}

// A text cell: as much of `text` as fits in `width` bytes without cutting a character, then blanks.
inline void putText(char* out, std::string_view text, std::size_t width) {
    std::string_view kept = utf8Prefix(text, width);
    std::memcpy(out, kept.data(), kept.size());
    std::memset(out + kept.size(), ' ', width - kept.size());
}

// A cell's bytes; cells are mostly at most 64 bytes wide, which fixed-size copies handle inline.
inline void copyCell(char* to, const char* from, std::size_t size) {
    struct Chunk {
        char bytes[16];
    };
    if (size > 16 && size <= 64) {
        Chunk chunks[4];
        // The first and the last 16 bytes, or 32 when longer than 32, overlapping in the middle.
        std::memcpy(&chunks[0], from, 16);
        std::memcpy(&chunks[2], from + size - 16, 16);
        if (size > 32) {
            std::memcpy(&chunks[1], from + 16, 16);
            std::memcpy(&chunks[3], from + size - 32, 16);
            std::memcpy(to + 16, &chunks[1], 16);
            std::memcpy(to + size - 32, &chunks[3], 16);
        }
        std::memcpy(to, &chunks[0], 16);
        std::memcpy(to + size - 16, &chunks[2], 16);
    } else if (size >= 8 && size <= 16) {
        std::uint64_t head, tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + size - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + size - 8, &tail, 8);
    } else if (size >= 4 && size < 8) {
        std::uint32_t head, tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + size - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + size - 4, &tail, 4);
    } else {
        std::memcpy(to, from, size);
    }
}

}  // namespace pontrel::shapefile
