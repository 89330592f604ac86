#include "shapefile/DbfFieldNames.h"

#include "shapefile/FieldFormats.h"

namespace pontrel::shapefile {

std::string DbfFieldNames::folded(std::string_view name) {
    std::string out(name);
    for (char& ch : out)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    return out;
}

std::string DbfFieldNames::assign(std::string_view fullName) {
    // An empty name would be an empty descriptor, which readers take as the end of the fields.
    if (fullName.empty()) fullName = "Field";
    std::string name(utf8Prefix(fullName, kDbfNameBytes));
    for (unsigned suffix = 1; !taken_.insert(folded(name)).second; ++suffix) {
        std::string digits = std::to_string(suffix);
        name = std::string(utf8Prefix(fullName, kDbfNameBytes - digits.size())) + digits;
    }
    return name;
}

}  // namespace pontrel::shapefile
