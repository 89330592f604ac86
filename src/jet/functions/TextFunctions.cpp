// Jet's text functions: Left, Right, Mid, Len, Trim, UCase, LCase, InStr, Replace, Space, Chr, Asc,
// and the & operator, all counting characters rather than bytes.
#include "jet/JetFunctions.h"
#include "jet/functions/JetValues.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "common/DayCount.h"
#include "common/TextBasics.h"
#include "sqlite/DatabaseError.h"
#include "sqlite/TextCollation.h"

namespace pontrel::data::jetfn {

namespace {

SqlValue left(const Args& a) {
    std::optional<std::string> s = toText(a[0], "Left");
    std::int64_t n = wholeArgument(a[1], "Left", "length");
    if (n < 0) fail("Left", "was given a negative length");
    if (!s) return SqlValue::null();
    return SqlValue::ofText(s->substr(0, byteOffset(*s, n)));
}

SqlValue right(const Args& a) {
    std::optional<std::string> s = toText(a[0], "Right");
    std::int64_t n = wholeArgument(a[1], "Right", "length");
    if (n < 0) fail("Right", "was given a negative length");
    if (!s) return SqlValue::null();
    std::int64_t count = codePointCount(*s);
    return SqlValue::ofText(n >= count ? *s : s->substr(byteOffset(*s, count - n)));
}

SqlValue mid(const Args& a) {
    if (a.size() < 2 || a.size() > 3) fail("Mid", "takes two or three arguments");
    std::optional<std::string> s = toText(a[0], "Mid");
    std::int64_t start = wholeArgument(a[1], "Mid", "start");
    if (start < 1) fail("Mid", "was given a start before the first character");
    std::optional<std::int64_t> length;
    if (a.size() == 3) {
        length = wholeArgument(a[2], "Mid", "length");
        if (*length < 0) fail("Mid", "was given a negative length");
    }
    if (!s) return SqlValue::null();
    std::size_t begin = byteOffset(*s, start - 1);
    std::string rest = s->substr(begin);
    return SqlValue::ofText(length ? rest.substr(0, byteOffset(rest, *length)) : rest);
}

SqlValue trim(const Args& a, bool leading, bool trailing, const char* name) {
    std::optional<std::string> s = toText(a[0], name);
    if (!s) return SqlValue::null();
    std::size_t begin = 0, end = s->size();
    if (leading)
        while (begin < end && (*s)[begin] == ' ') ++begin;
    if (trailing)
        while (end > begin && (*s)[end - 1] == ' ') --end;
    return SqlValue::ofText(s->substr(begin, end - begin));
}

// & reads Null as a zero-length text and is Null only when both sides are, where SQLite's || is
// Null when either is; numbers are written as Jet writes them (CStr).
SqlValue concat(const Args& a) {
    if (a[0].isNull() && a[1].isNull()) return SqlValue::null();
    return SqlValue::ofText(toText(a[0], "&").value_or("") + toText(a[1], "&").value_or(""));
}

SqlValue length(const Args& a) {
    std::optional<std::string> s = toText(a[0], "Len");
    if (!s) return SqlValue::null();
    return SqlValue::ofInteger(codePointCount(*s));
}

// ---- InStr, Replace, Space, Chr, Asc ----------------------------------------------------
//
// In a query, InStr and Replace compare as the database does, without regard to case, unless
// their compare argument is 0 (binary); 1 asks for the same text comparison.

bool textCompare(const Args& a, std::size_t index, const char* name) {
    if (a.size() <= index) return true;
    std::int64_t compare = wholeArgument(a[index], name, "comparison");
    if (compare != 0 && compare != 1) fail(name, "was given a comparison other than 0 or 1");
    return compare == 1;
}

// The index of `needle` in `text` from `from` (0-based), or npos.
std::size_t findText(const std::u32string& text, const std::u32string& needle, std::size_t from, bool folded) {
    if (needle.size() > text.size()) return std::u32string::npos;
    for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
        if ((i & 4095) == 0) checkStatementTime();  // a long text must not outlast the time limit
        bool match = true;
        for (std::size_t k = 0; k < needle.size() && match; ++k)
            match = folded ? sameLetter(text[i + k], needle[k]) : text[i + k] == needle[k];
        if (match) return i;
    }
    return std::u32string::npos;
}

// InStr([start,] text, sought[, compare]): the character position of sought, 0 when absent.
SqlValue inString(const Args& a) {
    if (a.size() < 2 || a.size() > 4) fail("InStr", "takes two to four arguments");
    bool withStart = a.size() >= 3;  // a comparison can be given only after a start
    std::int64_t start = 1;
    std::size_t at = 0;
    if (withStart) {
        if (a[0].isNull()) fail("InStr", "was given Null as its start");
        start = wholeArgument(a[0], "InStr", "start");
        if (start < 1) fail("InStr", "was given a start before the first character");
        at = 1;
    }
    std::optional<std::string> text = toText(a[at], "InStr"), sought = toText(a[at + 1], "InStr");
    bool folded = textCompare(a, at + 2, "InStr");
    if (!text || !sought) return SqlValue::null();
    std::u32string haystack = codePoints(*text);
    if (static_cast<std::size_t>(start) > haystack.size()) return SqlValue::ofInteger(0);
    std::size_t found = findText(haystack, codePoints(*sought), static_cast<std::size_t>(start - 1), folded);
    return SqlValue::ofInteger(found == std::u32string::npos ? 0 : static_cast<std::int64_t>(found) + 1);
}

// Replace(text, find, with): every occurrence, left to right, without overlaps.
SqlValue replaceText(const Args& a) {
    if (a.size() != 3) fail("Replace", "is read with three arguments only");
    std::optional<std::string> text = toText(a[0], "Replace");
    std::optional<std::string> find = toText(a[1], "Replace"), with = toText(a[2], "Replace");
    if (!text) return SqlValue::null();
    if (!find || !with) fail("Replace", "was given Null");
    std::u32string source = codePoints(*text), pattern = codePoints(*find), replacement = codePoints(*with);
    if (pattern.empty()) return SqlValue::ofText(*text);
    std::u32string out;
    std::size_t pos = 0;
    for (;;) {
        std::size_t found = findText(source, pattern, pos, true);
        if (found == std::u32string::npos) break;
        checkResultLength(out.size() + (found - pos) + replacement.size());  // before it grows
        out += source.substr(pos, found - pos) + replacement;
        pos = found + pattern.size();
    }
    return SqlValue::ofText(utf8Text(out + source.substr(pos)));
}

SqlValue spaces(const Args& a) {
    if (a[0].isNull()) return SqlValue::null();
    std::int64_t n = wholeArgument(a[0], "Space", "length");
    if (n < 0 || n > 65535) fail("Space", "was given a length outside 0 to 65535");
    return SqlValue::ofText(std::string(static_cast<std::size_t>(n), ' '));
}

// Chr and Asc above 127 depend on the code page of the computer; ChrW and AscW use Unicode.
SqlValue character(const Args& a, bool wide) {
    const char* name = wide ? "ChrW" : "Chr";
    if (a[0].isNull()) fail(name, "was given Null");
    std::int64_t code = wholeArgument(a[0], name, "character code");
    if (code < 0 || code > (wide ? 0xFFFF : 127) || (code >= 0xD800 && code <= 0xDFFF))
        fail(name, wide ? "was given a character code outside 0 to 65535"
                        : "was given a character code above 127, which depends on the code page");
    return SqlValue::ofText(utf8Of(static_cast<char32_t>(code)));
}

SqlValue characterCode(const Args& a, bool wide) {
    const char* name = wide ? "AscW" : "Asc";
    std::optional<std::string> s = toText(a[0], name);
    if (!s) fail(name, "was given Null");
    if (s->empty()) fail(name, "was given a zero-length text");
    std::size_t pos = 0;
    char32_t c = nextCodePoint(*s, pos);
    if (!wide && c > 127) fail(name, "was given a character above 127, which depends on the code page");
    return SqlValue::ofInteger(static_cast<std::int64_t>(c));
}

SqlValue caseOf(const Args& a, bool upper, const char* name) {
    std::optional<std::string> s = toText(a[0], name);
    if (!s) return SqlValue::null();
    return SqlValue::ofText(upper ? upperText(*s) : lowerText(*s));
}

}  // namespace

void registerTextFunctions(SqliteDatabase& db) {
    db.createFunction("jet_concat", 2, concat);
    db.createFunction("jet_left", 2, left);
    db.createFunction("jet_right", 2, right);
    db.createFunction("jet_mid", -1, mid);
    db.createFunction("jet_len", 1, length);
    db.createFunction("jet_trim", 1, [](const Args& a) { return trim(a, true, true, "Trim"); });
    db.createFunction("jet_ltrim", 1, [](const Args& a) { return trim(a, true, false, "LTrim"); });
    db.createFunction("jet_rtrim", 1, [](const Args& a) { return trim(a, false, true, "RTrim"); });
    db.createFunction("jet_ucase", 1, [](const Args& a) { return caseOf(a, true, "UCase"); });
    db.createFunction("jet_lcase", 1, [](const Args& a) { return caseOf(a, false, "LCase"); });
    db.createFunction("jet_instr", -1, inString);
    db.createFunction("jet_replace", -1, replaceText);
    db.createFunction("jet_space", 1, spaces);
    db.createFunction("jet_chr", 1, [](const Args& a) { return character(a, false); });
    db.createFunction("jet_chrw", 1, [](const Args& a) { return character(a, true); });
    db.createFunction("jet_asc", 1, [](const Args& a) { return characterCode(a, false); });
    db.createFunction("jet_ascw", 1, [](const Args& a) { return characterCode(a, true); });
}
}  // namespace pontrel::data::jetfn
