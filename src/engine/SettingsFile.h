#pragma once
// Writing the user's settings file, as the wizard's Options dialog saves it. The file may have
// been written by hand: its comments, blank lines and the order of its lines are kept, and only
// the values of the settings change (a setting not yet in the file is added under
// [Output]). The file is replaced at once or not at all, so that a reader never sees half of it.

#include <string>
#include <string_view>

#include "engine/OutputSettings.h"

namespace pontrel {

// The text of a settings file `text` with the values of `settings`; `text` is one that
// parseSettings accepts (or empty). A comment after a value is kept after the new value.
std::string updatedSettingsText(std::string_view text, const OutputSettings& settings);

// Writes `settings` into the file at `path`, keeping what updatedSettingsText keeps of the file
// there, through a temporary file in the same folder renamed over it. Creates the folder when it
// is missing. Throws SettingsError naming the file and the system's reason.
void writeSettings(const std::string& path, const OutputSettings& settings);

}  // namespace pontrel
