#include "engine/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/FileDescriptor.h"

namespace pontrel {

namespace {

struct Setting {
    const char* name;
    std::string value;
    bool written = false;
};

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view trimmedView(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t\r");
    if (start == std::string_view::npos) return {};
    return text.substr(start, text.find_last_not_of(" \t\r") - start + 1);
}

// Where a comment after a value starts (a blank and ';'), or npos.
std::size_t commentStart(std::string_view line, std::size_t from) {
    for (std::size_t i = from + 1; i < line.size(); ++i)
        if (line[i] == ';' && (line[i - 1] == ' ' || line[i - 1] == '\t')) return i - 1;
    return std::string_view::npos;
}

[[noreturn]] void fail(const std::string& path, const std::string& what, int error) {
    throw SettingsError("The settings file '" + path + "' cannot be written: " + what + ": " +
                        std::strerror(error));
}

}  // namespace

std::string updatedSettingsText(std::string_view text, const OutputSettings& settings) {
    std::array<Setting, 6> values{{
        {"MilitaryCRS", settings.militaryCrs.definition},
        {"NormalCRS", settings.normalCrs.definition},
        {kValuesWords.name, kValuesWords.wordOf(settings.values)},
        {kMissingWords.name, kMissingWords.wordOf(settings.missing)},
        {kLayoutWords.name, kLayoutWords.wordOf(settings.layout)},
        {kFormatWords.name, kFormatWords.wordOf(settings.format)},
    }};
    auto missingLines = [&] {
        std::string lines;
        for (Setting& s : values)
            if (!s.written) lines += std::string(s.name) + "=" + s.value + "\n";
        for (Setting& s : values) s.written = true;
        return lines;
    };

    std::string out;
    bool inOutput = false, sawOutput = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string line(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::string_view bare = trimmedView(line);
        if (!bare.empty() && bare.front() == '[') {
            if (inOutput) out += missingLines();  // the new settings close the [Output] section
            inOutput = lowered(bare).rfind("[output", 0) == 0;
            sawOutput = sawOutput || inOutput;
        } else if (inOutput && !bare.empty() && bare.front() != ';' && bare.front() != '#') {
            const std::size_t equals = line.find('=');
            const std::string name = lowered(trimmedView(std::string_view(line).substr(0, equals)));
            for (Setting& s : values) {
                if (equals == std::string::npos || name != lowered(s.name)) continue;
                // The blanks around the value and a comment after it stay as they were.
                const std::size_t comment = commentStart(line, equals);
                const std::string tail = comment == std::string::npos ? std::string() : line.substr(comment);
                const std::size_t value = std::min(line.find_first_not_of(" \t", equals + 1), comment);
                line = line.substr(0, std::min(value, line.size())) + s.value + tail;
                s.written = true;
            }
        }
        out += line;
        if (end != std::string_view::npos) out += '\n';
    }
    if (!out.empty() && out.back() != '\n') out += '\n';
    if (inOutput) return out + missingLines();
    if (!sawOutput) out += (out.empty() ? "" : "\n") + std::string("[Output]\n");
    return out + missingLines();
}

void writeSettings(const std::string& path, const OutputSettings& settings) {
    std::string existing;
    if (std::ifstream in{path, std::ios::binary}) {
        std::ostringstream text;
        text << in.rdbuf();
        existing = text.str();
    }
    const std::string text = updatedSettingsText(existing, settings);

    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code created;
    if (!folder.empty()) std::filesystem::create_directories(folder, created);
    if (created) fail(path, "its folder cannot be made", created.value());

    std::string temporary = path + ".XXXXXX";
    FileDescriptor fd(::mkstemp(temporary.data()));
    if (!fd) fail(path, "no file can be made beside it", errno);
    int error = 0;
    for (std::size_t done = 0; error == 0 && done < text.size();) {
        const ssize_t n = ::write(fd.get(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) error = n < 0 ? errno : EIO;
        else done += static_cast<std::size_t>(n);
    }
    // The file keeps the permissions of a file the user made; a new one is private to them.
    struct stat info {};
    ::fchmod(fd.get(), ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0600);
    if (error == 0 && ::fsync(fd.get()) != 0) error = errno;
    if (const int closing = fd.close(); error == 0) error = closing;
    if (error != 0) {
        ::unlink(temporary.c_str());
        fail(path, "writing failed", error);
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(temporary.c_str());
        fail(path, "it cannot be replaced", renameError);
    }
}

}  // namespace pontrel
