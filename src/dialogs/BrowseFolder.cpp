#include "dialogs/BrowseFolder.h"

#include <QDir>
#include <QFileInfo>

namespace pontrel::dialogs {

std::string folderToStartAt(const RunState& state, const std::string& typed) {
    if (!typed.empty() && QFileInfo(QString::fromStdString(typed)).isDir()) return typed;
    if (!state.BrowseFolderResult.empty()) return state.BrowseFolderResult;
    return QDir::homePath().toStdString();
}

std::optional<std::string> PickFolder(FileDialogs& dialogs, RunState& state, const std::string& typed) {
    std::optional<std::string> chosen = dialogs.chooseFolder("Select Directory", folderToStartAt(state, typed));
    if (chosen) state.BrowseFolderResult = *chosen;
    return chosen;
}

}  // namespace pontrel::dialogs
