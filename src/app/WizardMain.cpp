// The wizard program: reads its arguments (a database to fill in on the first step), shows the
// splash and runs the event loop until the wizard ends the program. An error that escapes the
// wizard is shown and ends the program with status 1.

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
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

constexpr int kWrongUsage = 2;

void printHelp() {
    std::printf("Usage: pontrel [Qt options] [DATABASE]\n\n"
                "%s: a wizard that converts the water-quality samples of a Vessamo database\n"
                "(Access .mdb/.accdb or SQLite) into an ESRI point shapefile. A DATABASE given\n"
                "is filled in on the first step. For scripts, see pontrel-convert.\n\n"
                "  -h, --help     print this help\n"
                "  -V, --version  print the version\n",
                pontrel::kProgramTitle);
}

// Qt's own options, which QApplication takes out of the arguments; those in the first list are
// followed by a value. Qt accepts them with one dash or two.
bool isQtOption(std::string_view option, bool& takesValue) {
    static constexpr std::string_view withValue[] = {
        "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
        "qwindowtitle", "style", "stylesheet", "session", "display", "geometry", "title", "name"};
    static constexpr std::string_view alone[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    option.remove_prefix(option.rfind("--", 0) == 0 ? 2 : 1);
    if (std::size_t equals = option.find('='); equals != std::string_view::npos) {
        option = option.substr(0, equals);
        takesValue = false;
        return std::find(std::begin(withValue), std::end(withValue), option) != std::end(withValue);
    }
    takesValue = std::find(std::begin(withValue), std::end(withValue), option) != std::end(withValue);
    return takesValue || std::find(std::begin(alone), std::end(alone), option) != std::end(alone);
}

struct Arguments {
    enum class Action { Run, Answered, WrongUsage } action = Action::Run;
    std::string database;  // the file to fill in on the first step, if one was given
};

// Reads the arguments before any window exists, so that --help, --version and a usage error
// answer on the terminal, also where no display can be opened.
Arguments readArguments(int argc, char** argv) {
    Arguments result;
    auto wrong = [&](const std::string& message) {
        std::fprintf(stderr, "pontrel: %s\nTry 'pontrel --help' for more information.\n", message.c_str());
        result.action = Arguments::Action::WrongUsage;
        return result;
    };
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        bool takesValue = false;
        if (options && arg == "--") {
            options = false;
        } else if (options && (arg == "--help" || arg == "-h")) {
            printHelp();
            result.action = Arguments::Action::Answered;
            return result;
        } else if (options && (arg == "--version" || arg == "-V")) {
            std::printf("pontrel (%s) %s\n", pontrel::kProgramTitle, pontrel::kVersionText);
            result.action = Arguments::Action::Answered;
            return result;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            if (!isQtOption(arg, takesValue)) return wrong("unrecognized option '" + std::string(arg) + "'");
            if (takesValue && ++i == argc) return wrong("option '" + std::string(arg) + "' requires a value");
        } else if (!result.database.empty()) {
            return wrong("only one database can be given: '" + std::string(arg) + "' is one too many");
        } else {
            result.database = arg;
        }
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const Arguments arguments = readArguments(argc, argv);
    if (arguments.action == Arguments::Action::Answered) return 0;
    if (arguments.action == Arguments::Action::WrongUsage) return kWrongUsage;
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
    // A database given (as a file manager's "Open with" does) is filled in on the first step.
    if (!arguments.database.empty())
        state.DataSourceFile = QFileInfo(QString::fromLocal8Bit(arguments.database.c_str())).absoluteFilePath().toStdString();
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
