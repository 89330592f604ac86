#include "shapefile/output/TemporaryNames.h"

#include <sys/random.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <regex>

namespace pontrel::shapefile::output {

namespace {

// 64 bits from the kernel's generator, so that no one can tell the next temporary name.
std::string randomTag() {
    std::uint64_t value = 0;
    if (::getrandom(&value, sizeof value, 0) != static_cast<ssize_t>(sizeof value)) {
        std::random_device device;
        value = (static_cast<std::uint64_t>(device()) << 32) ^ device();
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

const std::regex& temporaryName() {
    static const std::regex pattern(R"(^\.pontrel-(.+)-([0-9]+)-[0-9a-f]{16}(\.old)?\.[a-z]{3,4}$)");
    return pattern;
}

}  // namespace

std::string hostTag() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    std::string tag;
    for (const char* p = name; *p && tag.size() < 64; ++p)
        tag += std::isalnum(static_cast<unsigned char>(*p)) || *p == '.' || *p == '-' ? *p : '_';
    return tag;
}

std::string newTemporaryStem(const std::string& prefix) {
    return prefix + ".pontrel-" + hostTag() + "-" + std::to_string(::getpid()) + "-" + randomTag();
}

std::optional<TemporaryName> parseTemporaryName(const char* name) {
    std::cmatch match;
    if (name[0] != '.' || !std::regex_match(name, match, temporaryName())) return std::nullopt;
    return TemporaryName{match[1].str(), std::atoll(match[2].str().c_str()), match[3].matched};
}

}  // namespace pontrel::shapefile::output
