#include "forms/frmAbout.h"

#include <QCloseEvent>

#include "Version.h"
#include "forms/Artwork.h"
#include "forms/DesignUnits.h"
#include "forms/Keyboard.h"
#include "forms/Pontrel.h"
#include "forms/StepWindow.h"
#include "forms/Wizard.h"

namespace pontrel::forms {

QString versionText() {
    return QStringLiteral("Version %1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionPatch);
}

frmAbout::frmAbout(Wizard& wizard) : QDialog(nullptr, fixedDialogFlags()), wizard_(wizard) {
    setObjectName("frmAbout");
    setModal(false);
    setFont(designFont());
    placeWindow(this, -1, -1, 5730, 3555, true);

    auto label = [&](const QString& text, int left, int top, int width, int height) {
        auto* item = new QLabel(text, this);
        place(item, left, top, width, height);
        item->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        item->setWordWrap(true);
        QPalette black = item->palette();
        black.setColor(QPalette::WindowText, readableText(this, Qt::black));
        item->setPalette(black);
        growToFitText(item);
        return item;
    };

    picIcon = new QLabel(this);
    picIcon->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picIcon->setLineWidth(2);
    picIcon->setPixmap(iconPicture(32));
    // The picture box sizes itself to its picture and its border.
    picIcon->setGeometry(pixels(240), pixels(240), 32 + 4, 32 + 4);
    cmdOK = new QPushButton("OK", this);
    setMnemonics({{cmdOK, 'O'}});
    place(cmdOK, 4245, 2625, 1260, 345);
    cmdOK->setDefault(true);
    Label3 = label(QStringLiteral("© 2026 ") + kCompanyName, 4200, 3240, 1455, 225);
    Label2 = label("pontrel@ostrand.example", 240, 3120, 3870, 225);
    Label1 = label("https://ostrand.example/pontrel", 240, 2880, 3870, 225);
    Line1[1] = new Line(90, 5654, 2445, QColor(128, 128, 128), 1, this);
    lblDescription = label(
        "Pontrel is a simple and easy tool to convert water quality data in a Vessamo database "
        "to shape files ",
        1080, 1125, 3885, 1170);
    lblTitle = label(QString::fromUtf8(kProgramTitle), 1080, 240, 3885, 480);
    Line1[0] = new Line(105, 5654, 2460, Qt::white, 2, this);
    lblVersion = label("1.0", 1050, 780, 3885, 225);
    lblVersion->setPalette(palette());
    lblDisclaimer = label(QStringLiteral("Developed by ") + kCompanyName + " for Vessamo users",
                          255, 2625, 3870, 225);

    cmdOK->setFocus();
    drawFocusFromStart(this);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

void frmAbout::Form_Load() {
    centreOn(this, wizard_.loadedMainForm());
    setWindowTitle(QStringLiteral("About ") + QString::fromUtf8(kProgramTitle));
    lblVersion->setText(versionText());
    lblTitle->setText(QString::fromUtf8(kProgramTitle));
}

void frmAbout::cmdOK_Click() { wizard_.unloadAbout(); }

void frmAbout::reject() { cmdOK_Click(); }

void frmAbout::closeEvent(QCloseEvent* event) {
    event->accept();
    if (!wizard_.ended()) wizard_.unloadAbout();
}

}  // namespace pontrel::forms
