#pragma once
// How texts compare in the working database, as Jet compares them: without regard to case (in any
// script), but with regard to accents. Wraps the ICU collator; nothing else calls ICU.

#include <string>
#include <string_view>

namespace pontrel::data {

// Negative, zero or positive as `a` sorts before, with or after `b`.
int compareText(std::string_view a, std::string_view b);

// True when two texts are equal under compareText: what Jet's "=" means for texts.
inline bool textEquals(std::string_view a, std::string_view b) { return compareText(a, b) == 0; }

// Upper- and lower-case forms of a UTF-8 text under the language-neutral Unicode rules.
std::string upperText(std::string_view text);
std::string lowerText(std::string_view text);
// The case-folded form of one code point, for comparisons that ignore case.
char32_t foldCase(char32_t c);

}  // namespace pontrel::data
