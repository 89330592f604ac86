#pragma once
// The names that columns get in the .dbf, where a name holds at most 10 bytes and readers
// compare names without regard to case. Each full name becomes its first 10 bytes (cut back to a
// UTF-8 character boundary); a name already given gets the smallest numeric suffix 1, 2, ... that
// makes it unique, the full name cut shorter to leave room for the digits. Deterministic: the
// same names in the same order always give the same result.

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

namespace pontrel::shapefile {

inline constexpr std::size_t kDbfNameBytes = 10;

class DbfFieldNames {
public:
    // The .dbf name for the next column called `fullName`.
    std::string assign(std::string_view fullName);

private:
    static std::string folded(std::string_view name);
    std::set<std::string> taken_;  // case-folded
};

}  // namespace pontrel::shapefile
