#include "dialogs/BrowseForFile.h"

#include <QDir>

namespace pontrel::dialogs {

namespace {

std::string withoutSurroundingBlanks(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const std::size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

}  // namespace

std::string fileFilterFor(const std::string& extension) {
    return extension + " Files (*." + extension + ")";
}

void PickFile(FileDialogs& dialogs, RunState& state, QWidget* owner, const std::string& extension) {
    const std::string currentFolder = QDir::currentPath().toStdString();
    if (auto chosen = dialogs.openFile(owner, "Select File", fileFilterFor(extension), currentFolder))
        state.BrowseFileResult = withoutSurroundingBlanks(*chosen);
}

}  // namespace pontrel::dialogs
