// The wizard program: shows the splash and runs the event loop until the wizard ends the
// program. An error that escapes the wizard is shown and ends the program with status 1.

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstring>
#include <exception>

#include "Version.h"
#include "common/TemporaryFiles.h"
#include "dialogs/FileDialogs.h"
#include "engine/RunState.h"
#include "forms/Artwork.h"
#include "forms/DesignUnits.h"
#include "forms/MessageBoxes.h"
#include "forms/Wizard.h"

namespace {

// --help and --version answer on the terminal without starting the windows; every other argument
// is left to Qt (-platform, -style, ...).
bool answeredOnTerminal(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: pontrel [Qt options]\n\n"
                        "%s: a wizard that converts the water-quality samples of a Vessamo database\n"
                        "(Access .mdb or SQLite) into an ESRI point shapefile. For scripts, see\n"
                        "pontrel-convert.\n\n"
                        "  -h, --help     print this help\n"
                        "  -V, --version  print the version\n",
                        pontrel::kProgramTitle);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0) {
            std::printf("pontrel (%s) %s\n", pontrel::kProgramTitle, pontrel::kVersionText);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (answeredOnTerminal(argc, argv)) return 0;
    QApplication app(argc, argv);
    // Closing the session or the terminal in the middle of a conversion leaves nothing behind.
    pontrel::cleanup::installInterruptionHandlers();
    QApplication::setApplicationName(QString::fromUtf8(pontrel::kProgramTitle));
    QApplication::setApplicationVersion(QString::fromUtf8(pontrel::kVersionText));
    QApplication::setOrganizationName(QString::fromUtf8(pontrel::kCompanyName));
    QApplication::setWindowIcon(pontrel::forms::applicationIcon());
    QGuiApplication::setDesktopFileName("pontrel");
    // Hidden forms stay loaded; the wizard itself says when the program ends.
    QApplication::setQuitOnLastWindowClosed(false);
    pontrel::forms::registerFontSubstitutes();
    QApplication::setFont(pontrel::forms::designFont());

    pontrel::RunState state;
    pontrel::forms::QtMessageBoxes boxes;
    pontrel::dialogs::QtFileDialogs dialogs;
    int status = 0;
    try {
        pontrel::forms::Wizard wizard(state, boxes, dialogs,
                                      [](int code) { QCoreApplication::exit(code); });
        wizard.start();
        status = QApplication::exec();
    } catch (const std::exception& error) {
        boxes.message(nullptr, QString::fromStdString(error.what()));
        status = 1;
    }
    return status;
}
