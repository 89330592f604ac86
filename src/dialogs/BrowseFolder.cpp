#include "dialogs/BrowseFolder.h"

#include <QDir>

namespace pontrel::dialogs {

std::string FolderFromDialog(FileDialogs& dialogs) {
    auto chosen = dialogs.chooseFolder("Select Directory", QDir::rootPath().toStdString());
    return chosen ? *chosen : std::string();
}

void PickFolder(FileDialogs& dialogs, RunState& state) {
    state.BrowseFolderResult = FolderFromDialog(dialogs);
}

}  // namespace pontrel::dialogs
