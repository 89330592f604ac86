#include "engine/FileNames.h"

#include <string_view>

namespace pontrel {

std::string fileNameSafe(std::string text) {
    for (char& ch : text)
        if (std::string_view("/\\:*?\"<>|").find(ch) != std::string_view::npos) ch = '-';
    if (!text.empty() && text.find_first_not_of('.') == std::string::npos) return "-";
    return text;
}

}  // namespace pontrel
