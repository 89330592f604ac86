#include "sqlite/TextCollation.h"

#include <unicode/ucol.h>
#include <unicode/uchar.h>
#include <unicode/uiter.h>
#include <unicode/ustring.h>

#include <memory>
#include <mutex>
#include <vector>

#include "sqlite/DatabaseError.h"

namespace pontrel::data {

namespace {

struct CollatorDeleter {
    void operator()(UCollator* collator) const { ucol_close(collator); }
};

UCollator* collator() {
    static std::unique_ptr<UCollator, CollatorDeleter> instance = [] {
        UErrorCode status = U_ZERO_ERROR;
        UCollator* c = ucol_open("", &status);  // the root order, the same on every machine
        if (U_FAILURE(status)) throw DatabaseError("The text collation could not be set up");
        ucol_setStrength(c, UCOL_SECONDARY);  // letters and accents count, case does not
        return std::unique_ptr<UCollator, CollatorDeleter>(c);
    }();
    return instance.get();
}

// Letters, digits and blanks order the same in ICU's root order as in ASCII once case is folded,
// so most texts compare without asking ICU.
bool isPlain(std::string_view s) {
    for (unsigned char ch : s) {
        bool plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                     ch == ' ';
        if (!plain) return false;
    }
    return true;
}

int comparePlain(std::string_view a, std::string_view b) {
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::u16string toUtf16(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8WithSub(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), 0xFFFD,
                         nullptr, &status);
    std::u16string out(static_cast<std::size_t>(length), u'\0');
    status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(out.data(), length, nullptr, text.data(), static_cast<int32_t>(text.size()),
                         0xFFFD, nullptr, &status);
    return out;
}

std::string toUtf8(const std::u16string& text) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strToUTF8WithSub(nullptr, 0, &length, text.data(), static_cast<int32_t>(text.size()), 0xFFFD,
                       nullptr, &status);
    std::string out(static_cast<std::size_t>(length), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8WithSub(out.data(), length, nullptr, text.data(), static_cast<int32_t>(text.size()),
                       0xFFFD, nullptr, &status);
    return out;
}

using CaseMapping = int32_t (*)(UChar*, int32_t, const UChar*, int32_t, const char*, UErrorCode*);

std::string mapCase(std::string_view text, CaseMapping mapping) {
    std::u16string in = toUtf16(text);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = mapping(nullptr, 0, in.data(), static_cast<int32_t>(in.size()), "", &status);
    std::u16string out(static_cast<std::size_t>(length), u'\0');
    status = U_ZERO_ERROR;
    mapping(out.data(), length, in.data(), static_cast<int32_t>(in.size()), "", &status);
    if (U_FAILURE(status)) return std::string(text);
    return toUtf8(out);
}

}  // namespace

std::string upperText(std::string_view text) { return mapCase(text, u_strToUpper); }
std::string lowerText(std::string_view text) { return mapCase(text, u_strToLower); }

char32_t foldCase(char32_t c) {
    return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(c), U_FOLD_CASE_DEFAULT));
}

int compareText(std::string_view a, std::string_view b) {
    // The same bytes are the same text under any strength; a filter on one name meets them on
    // every row it keeps.
    if (a == b) return 0;
    if (isPlain(a) && isPlain(b)) return comparePlain(a, b);
    UErrorCode status = U_ZERO_ERROR;
    UCharIterator ia, ib;
    uiter_setUTF8(&ia, a.data(), static_cast<int32_t>(a.size()));
    uiter_setUTF8(&ib, b.data(), static_cast<int32_t>(b.size()));
    UCollationResult result = ucol_strcollIter(collator(), &ia, &ib, &status);
    if (U_FAILURE(status)) return a.compare(b);
    return result == UCOL_LESS ? -1 : (result == UCOL_GREATER ? 1 : 0);
}

}  // namespace pontrel::data
