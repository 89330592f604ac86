#pragma once
// Step 3's folder browser: the user picks one existing folder, starting from the top of the
// folder tree, and its path is left in the run state's BrowseFolderResult (empty on cancel).

#include <string>

#include "dialogs/FileDialogs.h"
#include "engine/RunState.h"

namespace pontrel::dialogs {

// Shows "Select Directory"; the chosen folder's full path as the platform gives it (the root
// with its separator, any other folder without one), or the empty text when none was chosen.
std::string FolderFromDialog(FileDialogs& dialogs);

// BrowseFolderResult = FolderFromDialog, in every case.
void PickFolder(FileDialogs& dialogs, RunState& state);

}  // namespace pontrel::dialogs
