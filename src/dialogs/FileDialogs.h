#pragma once
// The platform's file-open and folder-browse dialogs, reduced to what the wizard asks of them and
// put behind an interface so that tests can answer in the user's place. Each call returns when
// the dialog is closed; the caller keeps ownership of the owner window.

#include <optional>
#include <string>

class QFileDialog;
class QWidget;

namespace pontrel::dialogs {

class FileDialogs {
public:
    virtual ~FileDialogs() = default;

    // The full path of the file the user confirmed (a typed name of a file that does not exist
    // included), or nothing when the dialog was cancelled. `filter` is one description with its
    // pattern, as "mdb Files (*.mdb)", or several of them separated by ";;", the first shown.
    virtual std::optional<std::string> openFile(QWidget* owner, const std::string& title,
                                                const std::string& filter,
                                                const std::string& startFolder) = 0;
    // The full path of the folder the user confirmed, or nothing when the dialog was cancelled.
    // Only existing folders can be confirmed.
    virtual std::optional<std::string> chooseFolder(const std::string& title,
                                                    const std::string& startFolder) = 0;
};

// Qt's own file dialogs. The file dialog is modal for the whole program; the folder browser is
// modal for nothing, and the wizard's windows take input while it is open.
class QtFileDialogs : public FileDialogs {
public:
    std::optional<std::string> openFile(QWidget* owner, const std::string& title,
                                        const std::string& filter,
                                        const std::string& startFolder) override;
    std::optional<std::string> chooseFolder(const std::string& title,
                                            const std::string& startFolder) override;

    // The folder browser while it is open (tests).
    QFileDialog* openFolderDialog() const { return openFolderDialog_; }

private:
    QFileDialog* openFolderDialog_ = nullptr;
};

}  // namespace pontrel::dialogs
