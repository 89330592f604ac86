// Jet's Like patterns, used by the Like operator (SQLite's like() is replaced by this one).
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

// ---- Like ---------------------------------------------------------------------------------
//
// Jet's Like: * any run of characters, ? one character, # one digit, [a-c] one of a set, [!a-c]
// one outside it, [*] a literal *; letters compare without regard to case, accents count. '%'
// and '_', SQLite's wildcards, are ordinary characters here, and SQLite's own like() (ASCII-only
// case folding) is replaced by this one under its name.

struct LikeToken {
    enum Kind { Literal, AnyOne, AnyRun, Digit, Set } kind = Literal;
    char32_t c = 0;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;  // Set
};

std::vector<LikeToken> parseLike(const std::u32string& pattern) {
    std::vector<LikeToken> tokens;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        LikeToken token;
        char32_t c = pattern[i];
        if (c == '*') {
            token.kind = LikeToken::AnyRun;
        } else if (c == '?') {
            token.kind = LikeToken::AnyOne;
        } else if (c == '#') {
            token.kind = LikeToken::Digit;
        } else if (c == '[') {
            std::size_t close = pattern.find(U']', i + 1);
            if (close == std::u32string::npos)
                throw DatabaseError("The Like pattern has a '[' without its closing ']'");
            std::u32string set = pattern.substr(i + 1, close - i - 1);
            token.kind = LikeToken::Set;
            std::size_t j = 0;
            if (!set.empty() && set[0] == '!') {
                token.negated = true;
                j = 1;
            }
            for (; j < set.size(); ++j) {
                if (j + 2 < set.size() && set[j + 1] == '-')
                    token.ranges.emplace_back(set[j], set[j + 2]), j += 2;
                else
                    token.ranges.emplace_back(set[j], set[j]);
            }
            // "[]" stands for nothing and matches the empty text, as in Jet.
            if (token.ranges.empty() && !token.negated) {
                i = close;
                continue;
            }
            i = close;
        } else {
            token.c = c;
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

bool matchesOne(const LikeToken& token, char32_t c) {
    switch (token.kind) {
        case LikeToken::AnyOne: return true;
        case LikeToken::Digit: return c >= '0' && c <= '9';
        case LikeToken::Literal: return sameLetter(token.c, c);
        case LikeToken::Set: {
            bool inside = false;
            for (const auto& [low, high] : token.ranges) {
                if (low == high ? sameLetter(low, c)
                                : compareText(utf8Of(low), utf8Of(c)) <= 0 &&
                                      compareText(utf8Of(c), utf8Of(high)) <= 0) {
                    inside = true;
                    break;
                }
            }
            return inside != token.negated;
        }
        case LikeToken::AnyRun: break;
    }
    return false;
}

bool likeMatch(const std::u32string& text, const std::vector<LikeToken>& tokens) {
    // Classic wildcard matching, backtracking only to the last '*'.
    std::size_t t = 0, p = 0, starP = std::string::npos, starT = 0;
    while (t < text.size()) {
        if (p < tokens.size() && tokens[p].kind == LikeToken::AnyRun) {
            starP = p++;
            starT = t;
        } else if (p < tokens.size() && matchesOne(tokens[p], text[t])) {
            ++p;
            ++t;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < tokens.size() && tokens[p].kind == LikeToken::AnyRun) ++p;
    return p == tokens.size();
}

}  // namespace

}  // namespace pontrel::data::jetfn

namespace pontrel::data {

using namespace jetfn;

bool jetLike(std::string_view text, std::string_view pattern) {
    return likeMatch(codePoints(text), parseLike(codePoints(pattern)));
}

}  // namespace pontrel::data
