#pragma once
// What the two step-2 forms share: a frame, a drop-down list read from the database when the
// form is loaded, and the buttons "Next >>", "<< Back" and "Close". A form is loaded once and
// only hidden afterwards; shown again it keeps its list and the user's text, unless step 1 has
// named another database file since, which it then reads its list from again.

#include <QComboBox>
#include <QPushButton>
#include <string>

#include "forms/Frame.h"
#include "forms/StepWindow.h"

namespace pontrel::forms {

class StepTwoForm : public StepWindow {
    Q_OBJECT
public:
    explicit StepTwoForm(Wizard& wizard);

    // Opens the connection and fills the list from DataSourceFile.
    void Form_Load();
    // Reads the list again when DataSourceFile is not the file it was read from.
    void readListIfSourceChanged();
    // The database file the list was read from.
    const std::string& listFile() const { return listFile_; }

    Frame* Frame1;
    QPushButton* Command1;
    QPushButton* Back_CB;
    QPushButton* CancelButton;

public slots:
    virtual void Command1_Click() = 0;
    void Back_CB_Click();
    void CancelButton_Click() override;

protected:
    // Reads the list into the form's drop-down list, which shows its placeholder afterwards.
    virtual void fillList() = 0;
    // Sets up the window and the frame and button controls from their design values.
    void designWindow(const QString& frameCaption, const QRect& frame, int backLeft, int backWidth);
    static void designList(QComboBox* list, const QString& placeholder);
    static void showPlaceholder(QComboBox* list, const QString& placeholder);

private:
    std::string listFile_;
};

}  // namespace pontrel::forms
