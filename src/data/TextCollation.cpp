#include "data/TextCollation.h"

#include <unicode/ucol.h>
#include <unicode/uiter.h>

#include <memory>
#include <mutex>

#include "data/DatabaseError.h"

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

}  // namespace

int compareText(std::string_view a, std::string_view b) {
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
