#include "engine/OutputSettings.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/FileDescriptor.h"
#include "common/TextBasics.h"

#include "engine/RunState.h"
#include "shapefile/CoordinateSystem.h"

namespace pontrel {

namespace {

constexpr std::size_t kMaxSettingsBytes = std::size_t{1} << 20;
constexpr std::string_view kBlanks = " \t\r\f\v";

std::string_view trimmed(std::string_view text) {
    const std::size_t start = text.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) return {};
    return text.substr(start, text.find_last_not_of(kBlanks) - start + 1);
}

// What the file says, as a message quotes it: a long or binary line is cut and escaped.
std::string quoted(std::string_view text) { return data::quotedForMessage(text); }

// The choice a setting's word names; `error` makes the message for any other word.
template <typename T, typename Error>
T chosen(const WordChoice<T>& setting, const std::string& value, const Error& error) {
    const std::optional<T> choice = setting.named(value);
    if (!choice)
        throw error(std::string(setting.name) + " is '" + quoted(value) + "': it must be " + setting.either());
    return *choice;
}

// The text before a comment that a blank and ';' start.
std::string_view withoutComment(std::string_view text) {
    for (std::size_t i = 1; i < text.size(); ++i)
        if (text[i] == ';' && (text[i - 1] == ' ' || text[i - 1] == '\t')) return text.substr(0, i);
    return text;
}

enum class Key { MilitaryCRS, NormalCRS, Values, Missing, Layout, Format };
constexpr std::pair<std::string_view, Key> kKeys[] = {
    {"MilitaryCRS", Key::MilitaryCRS},
    {"NormalCRS", Key::NormalCRS},
    {"Values", Key::Values},
    {"Missing", Key::Missing},
    {"Layout", Key::Layout},
    {"Format", Key::Format},
};

}  // namespace

bool sameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

const CoordinateSystem& OutputSettings::crsFor(const std::string& coordinatesType) const {
    static const CoordinateSystem none;
    if (coordinatesType == kMilitary) return militaryCrs;
    if (coordinatesType == kNormal) return normalCrs;
    return none;
}

const char* extensionOf(OutputFormat format) { return format == OutputFormat::GeoPackage ? ".gpkg" : ".shp"; }

CoordinateSystem coordinateSystemOf(const std::string& definition) {
    return {definition, shapefile::esriWktOf(definition)};
}

std::string coordinateSystemName(const std::string& definition) {
    return shapefile::crsNameOf(definition);
}

std::string defaultSettingsPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config && config[0] == '/') {
        folder = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) return {};
        folder = std::string(home) + "/.config";
    }
    return folder + "/vessamo-pontrel/settings.ini";
}

OutputSettings parseSettings(std::string_view text, const std::string& shownPath) {
    OutputSettings settings;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a byte-order mark

    std::map<Key, int> seenOn;
    bool inOutput = false;
    int lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;

        auto error = [&](const std::string& what) {
            return SettingsError("The settings file '" + shownPath + "', line " +
                                 std::to_string(lineNumber) + ": " + what);
        };
        const std::string_view line = trimmed(raw);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;

        if (line.front() == '[') {
            const std::string_view header = trimmed(withoutComment(line));
            if (header.back() != ']')
                throw error(
                    "'" + quoted(line) +
                    "' is not a section: a section is a name in brackets, such as [Output]");
            const std::string_view name = trimmed(header.substr(1, header.size() - 2));
            if (!sameWord(name, "Output"))
                throw error("there is no section [" + quoted(name) +
                            "]: the settings go under [Output]");
            inOutput = true;
            continue;
        }

        const std::size_t equals = line.find('=');
        const std::string_view name =
            equals == std::string_view::npos ? std::string_view() : trimmed(line.substr(0, equals));
        if (name.empty())
            throw error("'" + quoted(line) +
                        "' is not a setting: a line holds a section such as [Output], a setting "
                        "Name=value, or a comment starting with ';' or '#'");
        const auto known = std::find_if(std::begin(kKeys), std::end(kKeys),
                                        [&](const auto& key) { return sameWord(key.first, name); });
        if (known == std::end(kKeys))
            throw error("there is no setting '" + quoted(name) +
                        "': the settings are MilitaryCRS, NormalCRS, Values, Missing, Layout and Format");
        const std::string keyName(known->first);
        if (!inOutput)
            throw error(keyName + " comes before [Output]: the settings go under [Output]");
        if (auto earlier = seenOn.find(known->second); earlier != seenOn.end())
            throw error(keyName + " is set again: it was set on line " +
                        std::to_string(earlier->second) + ", and each setting is given once");
        seenOn[known->second] = lineNumber;

        const std::string value(trimmed(withoutComment(line.substr(equals + 1))));
        switch (known->second) {
            case Key::MilitaryCRS:
            case Key::NormalCRS: {
                if (value.empty()) break;  // no coordinate system, as without the setting
                try {
                    (known->second == Key::MilitaryCRS ? settings.militaryCrs
                                                       : settings.normalCrs) =
                        coordinateSystemOf(value);
                } catch (const shapefile::CoordinateSystemError& e) {
                    throw error(keyName + " is '" + quoted(value) +
                                "', which PROJ cannot use as a coordinate system: " + e.what() +
                                ". It takes a code such as EPSG:4326, a WKT or a PROJ string");
                }
                break;
            }
            case Key::Values: settings.values = chosen(kValuesWords, value, error); break;
            case Key::Missing: settings.missing = chosen(kMissingWords, value, error); break;
            case Key::Layout: settings.layout = chosen(kLayoutWords, value, error); break;
            case Key::Format: settings.format = chosen(kFormatWords, value, error); break;
        }
    }
    return settings;
}

OutputSettings readSettings(const std::string& path, bool mustExist) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        if ((error == ENOENT || error == ENOTDIR) && !mustExist) return {};
        if (error == ENOENT || error == ENOTDIR)
            throw SettingsError("The settings file '" + path + "' does not exist");
        throw SettingsError("The settings file '" + path +
                            "' cannot be read: " + std::strerror(error));
    }
    if (S_ISDIR(info.st_mode)) throw SettingsError("The settings file '" + path + "' is a folder");
    // A pipe would wait for a writer for ever and a device would be read without end: only a
    // regular file is read, opened without blocking in case the name was replaced meanwhile.
    const std::string notAFile = "The settings file '" + path + "' is not a regular file";
    if (!S_ISREG(info.st_mode)) throw SettingsError(notAFile);
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd || ::fstat(fd.get(), &info) != 0)
        throw SettingsError("The settings file '" + path + "' cannot be read: " + std::strerror(errno));
    if (!S_ISREG(info.st_mode)) throw SettingsError(notAFile);
    std::string text(kMaxSettingsBytes + 1, '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t read = ::read(fd.get(), text.data() + got, text.size() - got);
        if (read < 0 && errno == EINTR) continue;
        if (read < 0)
            throw SettingsError("The settings file '" + path + "' cannot be read: " + std::strerror(errno));
        if (read == 0) break;
        got += static_cast<std::size_t>(read);
    }
    if (got > kMaxSettingsBytes)
        throw SettingsError("The settings file '" + path + "' is larger than " +
                            std::to_string(kMaxSettingsBytes >> 20) + " MB, which no settings file needs");
    text.resize(got);
    return parseSettings(text, path);
}

OutputSettings readUserSettings() {
    const std::string path = defaultSettingsPath();
    return path.empty() ? OutputSettings{} : readSettings(path);
}

}  // namespace pontrel
