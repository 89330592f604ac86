#pragma once
// The About box: the program's title and version, what it does, and its maker. Shown modeless
// by step 3's "About", one instance at a time; "OK", Enter, Esc and the close box unload it.

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <array>

#include "forms/Line.h"

namespace pontrel::forms {

class Wizard;

// "Version 1.0.0", from the build's version numbers.
QString versionText();

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(Wizard& wizard);
    frmAbout(const frmAbout&) = delete;
    frmAbout& operator=(const frmAbout&) = delete;

    // Fills the title bar, lblVersion and lblTitle from the program's identity.
    void Form_Load();

    QLabel* picIcon;
    QPushButton* cmdOK;
    QLabel* Label3;
    QLabel* Label2;
    QLabel* Label1;
    std::array<Line*, 2> Line1;
    QLabel* lblDescription;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblDisclaimer;

public slots:
    void cmdOK_Click();
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Wizard& wizard_;
};

}  // namespace pontrel::forms
