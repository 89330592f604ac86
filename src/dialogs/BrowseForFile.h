#pragma once
// Step 1's file-open dialog: the user picks one file of one extension, and its path is left in
// the run state's BrowseFileResult. A cancelled dialog leaves the previous result.

#include <string>

#include "dialogs/FileDialogs.h"
#include "engine/RunState.h"

namespace pontrel::dialogs {

// "mdb Files (*.mdb)" for "mdb": the dialog's one filter.
std::string fileFilterFor(const std::string& extension);

// Shows "Select File" in the process's current folder; on a confirmed choice BrowseFileResult
// takes the path with its leading and trailing blanks removed.
void PickFile(FileDialogs& dialogs, RunState& state, QWidget* owner, const std::string& extension);

}  // namespace pontrel::dialogs
