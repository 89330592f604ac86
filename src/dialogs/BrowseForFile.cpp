#include "dialogs/BrowseForFile.h"

#include <QDir>
#include <QFileInfo>

namespace pontrel::dialogs {

namespace {

std::string withoutSurroundingBlanks(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// The folder of the typed path when that folder exists, else the current folder.
std::string startFolderFor(const std::string& typed) {
    const QString path = QString::fromStdString(withoutSurroundingBlanks(typed));
    if (!path.isEmpty()) {
        const QFileInfo info(path);
        if (info.isDir()) return info.absoluteFilePath().toStdString();
        if (info.absoluteDir().exists()) return info.absolutePath().toStdString();
    }
    return QDir::currentPath().toStdString();
}

}  // namespace

const char* const kDatabaseFilters =
    "Vessamo databases (*.mdb *.accdb *.sqlite *.db);;Access databases (*.mdb *.accdb);;"
    "SQLite databases (*.sqlite *.db);;All files (*)";

bool PickFile(FileDialogs& dialogs, RunState& state, QWidget* owner, const std::string& typed) {
    auto chosen = dialogs.openFile(owner, "Select File", kDatabaseFilters, startFolderFor(typed));
    if (!chosen) return false;
    state.BrowseFileResult = withoutSurroundingBlanks(*chosen);
    return true;
}

}  // namespace pontrel::dialogs
