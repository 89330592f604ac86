#pragma once
// The wizard over fakes, for the Qt tests that drive its real widgets: message boxes and file
// dialogs that record what they were asked and answer in the user's place, a harness that owns
// one wizard and walks it through steps 1 and 2, a small database builder, and the checks of a
// form's controls against their drawn places, texts and Tab order.

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/FileDialogs.h"
#include "engine/RunState.h"
#include "source/Connection.h"
#include "forms/DayForm.h"
#include "forms/DesignUnits.h"
#include "forms/MessageBoxes.h"
#include "forms/ParameterForm.h"
#include "forms/Pontrel.h"
#include "forms/TypeForm.h"
#include "forms/Wizard.h"
#include "sqlite/Sqlite.h"

namespace wizard_harness {

using namespace pontrel;
using namespace pontrel::forms;

class FakeBoxes : public MessageBoxes {
public:
    void message(QWidget*, const QString& text) override {
        messages.push_back(text);
        if (onMessage) onMessage(text);
    }
    int question(QWidget*, const QString& text, const QString& title) override {
        questions.push_back(title + ": " + text);
        if (answers.empty()) return kAnswerNo;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }

    QStringList messages;
    QStringList questions;
    std::deque<int> answers;
    std::function<void(const QString&)> onMessage;
};

class FakeDialogs : public dialogs::FileDialogs {
public:
    std::optional<std::string> openFile(QWidget*, const std::string& title, const std::string& filter,
                                        const std::string& startFolder) override {
        requests.push_back(title + "|" + filter + "|" + startFolder);
        return next(files);
    }
    std::optional<std::string> chooseFolder(const std::string& title,
                                            const std::string& startFolder) override {
        requests.push_back(title + "|" + startFolder);
        return next(folders);
    }

    std::deque<std::optional<std::string>> files, folders;  // nothing: cancelled
    std::vector<std::string> requests;

private:
    static std::optional<std::string> next(std::deque<std::optional<std::string>>& answers) {
        if (answers.empty()) return std::nullopt;
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// One wizard over fakes; `ended` receives the exit status.
struct Harness {
    RunState state;
    FakeBoxes boxes;
    FakeDialogs dialogs;
    std::optional<int> ended;
    Wizard wizard{state, boxes, dialogs, [this](int status) { ended = status; }};

    ~Harness() { settle(); }
    static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    TypeForm& stepOne() {
        wizard.showTypeForm();
        return *wizard.loadedTypeForm();
    }
    // Step 1 with `file` and the mode's option, then "Next  >>".
    void next(const std::string& file, const char* mode) {
        TypeForm& form = stepOne();
        form.DataSourceFile_TB->setText(QString::fromStdString(file));
        (std::string(mode) == kDayMode ? form.Day_OB : form.Parameter_OB)->setChecked(true);
        form.OKButton->click();
    }
    // Step 2 with `text` in its list's text field, then "Next >>".
    void choose(const QString& text) {
        if (state.ShapeType == kDayMode) {
            wizard.loadedDayForm()->Days_CB->setEditText(text);
            wizard.loadedDayForm()->Command1->click();
        } else {
            wizard.loadedParameterForm()->Parameters_CB->setEditText(text);
            wizard.loadedParameterForm()->Command1->click();
        }
    }
    Pontrel& stepThree() { return *wizard.loadedMainForm(); }
};

inline void click(QAbstractButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

inline QString samplePath() { return PONTREL_SAMPLE_DIR "/vessamo-sample.sqlite"; }

// A small database with the given Params names and Samples dates (ISO text; empty: null).
inline std::string makeDatabase(const QTemporaryDir& dir, const QString& name,
                         const std::vector<const char*>& parameters,
                         const std::vector<const char*>& dates) {
    const std::string path = dir.filePath(name).toStdString();
    data::SqliteDatabase db(path, data::SqliteDatabase::Mode::ReadWriteCreate);
    db.exec("CREATE TABLE Params (ParameterName TEXT, ParameterCode TEXT);"
            "CREATE TABLE Samples (SampleID INTEGER, SampleDate DATETIME);");
    for (const char* parameter : parameters) {
        auto insert = db.prepare("INSERT INTO Params VALUES (?, 'X')");
        if (parameter) insert.bindText(1, parameter); else insert.bindNull(1);
        insert.step();
    }
    int id = 0;
    for (const char* date : dates) {
        auto insert = db.prepare("INSERT INTO Samples VALUES (?, ?)");
        insert.bindInt(1, ++id);
        if (*date) insert.bindText(2, date); else insert.bindNull(2);
        insert.step();
    }
    return path;
}

// For each test program's initTestCase: the offscreen platform's notes that it cannot raise
// windows are not printed, dates are written the American way, and the forms' fonts are found.
inline void prepareFormTests() {
    static QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (!text.contains("does not support raise()") && !text.contains("does not support propagateSizeHints()"))
                previous(type, context, text);
        });
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    registerFontSubstitutes();
}

// What the design tests check a form against.
inline QStringList itemsOf(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

// Counts the statements the data layer executes while alive.
struct ExecutedStatements {
    std::vector<std::string> texts;
    ExecutedStatements() {
        data::Connection::setExecuteObserver([this](const std::string& sql) { texts.push_back(sql); });
    }
    ~ExecutedStatements() { data::Connection::setExecuteObserver(nullptr); }
    long count(const char* sql) const { return std::count(texts.begin(), texts.end(), sql); }
};

struct Control {
    QWidget* widget;
    QString text;
    QRect twips;
    QString toolTip;
};

inline QString textOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text().remove('&');
    if (auto* frame = qobject_cast<QGroupBox*>(widget)) return frame->title();
    if (auto* box = qobject_cast<QLineEdit*>(widget)) return box->text();
    if (auto* list = qobject_cast<QComboBox*>(widget)) return list->currentText();
    return {};
}

inline void checkControls(const std::vector<Control>& controls) {
    for (const Control& c : controls) {
        const QRect expected = twipsRect(c.twips.x(), c.twips.y(), c.twips.width(), c.twips.height());
        QCOMPARE(textOf(c.widget), c.text);
        // A wrapping label may grow downwards to show all its lines.
        auto* label = qobject_cast<QLabel*>(c.widget);
        if (label && label->wordWrap() && c.widget->height() > expected.height())
            QCOMPARE(c.widget->geometry().adjusted(0, 0, 0, expected.height() - c.widget->height()), expected);
        else
            QCOMPARE(c.widget->geometry(), expected);
        QCOMPARE(c.widget->toolTip(), c.toolTip);
    }
}

// The focus-taking widgets of `form` in the order Tab visits them.
inline std::vector<QWidget*> tabChain(QWidget* first) {
    std::vector<QWidget*> chain{first};
    for (QWidget* w = first->nextInFocusChain(); w != first; w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && !qobject_cast<QComboBox*>(w->parentWidget()))
            chain.push_back(w);
    return chain;
}

}  // namespace wizard_harness
