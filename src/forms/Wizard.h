#pragma once
// The wizard as a whole: owns every form and what the forms share (the run state, the message
// boxes, the file dialogs, the end of the program). Each form exists at most once and is created
// ("loaded") on first use; the splash, step 3 and the About box are unloaded (destroyed) by
// their own handlers, steps 1 and 2 only ever hidden.

#include <QString>
#include <exception>
#include <functional>
#include <memory>

#include "dialogs/FileDialogs.h"
#include "engine/Errors.h"
#include "engine/RunState.h"
#include "sqlite/DatabaseError.h"
#include "forms/MessageBoxes.h"

class QWidget;

namespace pontrel::forms {

class frmSplash;
class TypeForm;
class ParameterForm;
class DayForm;
class Pontrel;
class frmAbout;

class Wizard {
public:
    // Receives the program's exit status once, when the program ends.
    using EndHandler = std::function<void(int status)>;

    Wizard(RunState& state, MessageBoxes& boxes, dialogs::FileDialogs& dialogs, EndHandler end);
    ~Wizard();
    Wizard(const Wizard&) = delete;
    Wizard& operator=(const Wizard&) = delete;

    RunState& state() { return state_; }
    MessageBoxes& boxes() { return boxes_; }
    dialogs::FileDialogs& dialogs() { return dialogs_; }

    // The program's start: loads and shows the splash.
    void start();

    // Each form, loaded first (running its Form_Load) when it is not loaded.
    frmSplash& splash();
    TypeForm& typeForm();
    ParameterForm& parameterForm();
    DayForm& dayForm();
    Pontrel& mainForm();
    frmAbout& about();

    // The form when it is loaded, else null.
    frmSplash* loadedSplash() const { return splash_.get(); }
    TypeForm* loadedTypeForm() const { return type_.get(); }
    ParameterForm* loadedParameterForm() const { return parameter_.get(); }
    DayForm* loadedDayForm() const { return day_.get(); }
    Pontrel* loadedMainForm() const { return main_.get(); }
    frmAbout* loadedAbout() const { return about_.get(); }

    // Hides and destroys the form; safe from within the form's own handlers.
    void unloadSplash();
    void unloadMainForm();
    void unloadAbout();

    // Shows a wizard step modeless, loading it first when needed. A step-2 form that is shown
    // again reads its list again when step 1 has named another database file since it last read;
    // one whose list cannot be read is unloaded, to be read afresh next time. Step 3 proposes
    // the shapefile name for the choice of step 2 each time it is shown.
    void showStep(QWidget& form);
    void showTypeForm();
    void showParameterForm();
    void showDayForm();
    void showStepTwoOfMode();
    void showMainForm();

    // Asks "Are you Sure?" under "Close Pontrel"; keeps the answer in CloseAnswer; true on Yes.
    bool confirmClose(QWidget* owner);
    // Closes and clears DBConnection, when there is one.
    void closeConnection();

    // Ends the program: every form is hidden and the end handler receives `status`. Later calls
    // do nothing.
    void endProgram(int status);
    bool ended() const { return ended_; }

    // While a conversion runs no window takes input, and no handler may start.
    bool converting() const { return converting_; }
    void setConverting(bool converting) { converting_ = converting; }

    // Runs a handler. No error ends the program: an error it throws is shown (a stopped
    // conversion has told the user already) and the wizard returns to the step that can mend it,
    // with everything entered kept: a database error to step 1, a parameter or day without
    // samples to step 2, anything else to `owner`'s own step (shown again if the handler hid it).
    template <typename Handler>
    void run(QWidget* owner, Handler&& handler) {
        try {
            handler();
        } catch (const NothingSelected&) {
            returnToStep(owner, Step::Selection, nullptr);
        } catch (const ConversionStopped&) {
            returnToStep(owner, Step::Same, nullptr);
        } catch (const data::DatabaseError& error) {
            returnToStep(owner, Step::Source, error.what());
        } catch (const std::exception& error) {
            returnToStep(owner, Step::Same, error.what());
        }
    }

    // The step an error sends the user back to.
    enum class Step { Same, Source, Selection };
    // Shows `message`, when there is one, and then the step, the steps after it hidden but kept;
    // the box that the step mends is selected.
    void returnToStep(QWidget* owner, Step step, const char* message);

private:
    template <typename Form>
    struct Unloader {
        void operator()(Form* form) const;
    };
    template <typename Form>
    using Slot = std::unique_ptr<Form, Unloader<Form>>;

    RunState& state_;
    MessageBoxes& boxes_;
    dialogs::FileDialogs& dialogs_;
    EndHandler end_;
    bool ended_ = false;
    bool converting_ = false;

    Slot<frmSplash> splash_;
    Slot<TypeForm> type_;
    Slot<ParameterForm> parameter_;
    Slot<DayForm> day_;
    Slot<Pontrel> main_;
    Slot<frmAbout> about_;
};

}  // namespace pontrel::forms
