#pragma once
// Step 1's file-open dialog: the user picks the database file, and its path is left in the run
// state's BrowseFileResult. The dialog opens at the folder of the path already typed, when that
// folder exists, and offers every kind of database the program reads.

#include <string>

#include "dialogs/FileDialogs.h"
#include "engine/RunState.h"

namespace pontrel::dialogs {

// The dialog's filters, the first one shown: every database the program reads, then each kind.
extern const char* const kDatabaseFilters;

// Shows "Select File" at the typed path's folder (else the process's current folder). On a
// confirmed choice BrowseFileResult takes the path with its leading and trailing blanks removed
// and true is returned; a cancelled dialog returns false and changes nothing.
bool PickFile(FileDialogs& dialogs, RunState& state, QWidget* owner, const std::string& typed);

}  // namespace pontrel::dialogs
