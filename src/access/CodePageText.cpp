#include "access/CodePageText.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

#include "common/TextBasics.h"

namespace pontrel::data {

namespace {

constexpr int kWindows1252 = 1252;

// Windows-1252 where it differs from Latin-1. Its five unassigned bytes read as the control
// characters of the same number, as Windows itself reads them.
const char32_t kCp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

}  // namespace

struct CodePageText::Converter {
    iconv_t handle = kNoConverter;
    ~Converter() {
        if (handle != kNoConverter)
            iconv_close(handle);
    }
};

CodePageText::CodePageText(int codePage) {
    if (codePage <= 0 || codePage == kWindows1252 || codePage > 65535)
        return;
    auto converter = std::make_unique<Converter>();
    converter->handle = iconv_open("UTF-8", ("CP" + std::to_string(codePage)).c_str());
    if (converter->handle == kNoConverter)
        return;
    converter_ = std::move(converter);
    codePage_ = codePage;
}

CodePageText::~CodePageText() = default;

std::string CodePageText::toUtf8(std::string_view bytes) const {
    std::string out;
    if (!converter_) {
        out.reserve(bytes.size());
        for (unsigned char b : bytes)
            appendUtf8(out,
                       b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char32_t>(b));
        return out;
    }
    iconv_t handle = converter_->handle;
    iconv(handle, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    std::size_t written = 0;
    auto room = [&](std::size_t bytesWanted) {
        if (out.size() - written < bytesWanted)
            out.resize(std::max(out.size() * 2, written + bytesWanted));
    };
    // Converts what is left of the input, or with no input hands out what the converter holds
    // back; false when it stops at a byte it cannot read.
    auto convert = [&](char** from, std::size_t* fromLeft) {
        for (;;) {
            room(16);
            char* to = out.data() + written;
            std::size_t toLeft = out.size() - written;
            std::size_t result = iconv(handle, from, fromLeft, &to, &toLeft);
            written = out.size() - toLeft;
            if (result != static_cast<std::size_t>(-1))
                return true;
            if (errno != E2BIG)
                return false;
            out.resize(out.size() * 2);
        }
    };
    // A byte gives at most three bytes of UTF-8.
    out.resize(bytes.size() * 3 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    while (!convert(&in, &inLeft) && inLeft > 0) {
        // Vietnamese holds a letter back to join it with an accent that may follow: it goes
        // out before the mark of the byte that cannot be read.
        convert(nullptr, nullptr);
        room(3);
        out.replace(written, 3, "\xEF\xBF\xBD");  // U+FFFD
        written += 3;
        ++in;
        --inLeft;
    }
    convert(nullptr, nullptr);
    out.resize(written);
    return out;
}

}  // namespace pontrel::data
