#pragma once
// Step 3's folder browser: the user picks one existing folder, and its path is left in the run
// state's BrowseFolderResult, which keeps the last folder chosen in this run. The browser opens
// where the user is most likely to want it: at the folder already typed, else at the last one
// chosen, else at the home folder.

#include <optional>
#include <string>

#include "dialogs/FileDialogs.h"
#include "engine/RunState.h"

namespace pontrel::dialogs {

// The folder the browser opens at, for the text typed in the folder box.
std::string folderToStartAt(const RunState& state, const std::string& typed);

// Shows "Select Directory". A chosen folder's full path, as the platform gives it (the root with
// its separator, any other folder without one), goes to BrowseFolderResult and is returned;
// a cancelled browser returns nothing and changes nothing.
std::optional<std::string> PickFolder(FileDialogs& dialogs, RunState& state, const std::string& typed);

}  // namespace pontrel::dialogs
