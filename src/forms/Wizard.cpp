#include "forms/Wizard.h"

#include <QComboBox>
#include <QLineEdit>

#include "forms/DayForm.h"
#include "forms/ParameterForm.h"
#include "forms/Pontrel.h"
#include "forms/TypeForm.h"
#include "forms/frmAbout.h"
#include "forms/frmSplash.h"

namespace pontrel::forms {

template <typename Form>
void Wizard::Unloader<Form>::operator()(Form* form) const {
    // A form may be unloaded from its own handler, so it goes once control is back in the loop.
    form->hide();
    form->deleteLater();
}

namespace {

// Loads the form into `slot` when it is empty: the design first, then its Form_Load.
template <typename Form, typename Slot>
Form& load(Slot& slot, Wizard& wizard) {
    if (!slot) {
        slot.reset(new Form(wizard));
        slot->Form_Load();
    }
    return *slot;
}


}  // namespace

Wizard::Wizard(RunState& state, MessageBoxes& boxes, dialogs::FileDialogs& dialogs, EndHandler end)
    : state_(state), boxes_(boxes), dialogs_(dialogs), end_(std::move(end)) {}

Wizard::~Wizard() {
    // At the program's end nothing is pending any more: the forms go at once.
    delete splash_.release();
    delete type_.release();
    delete parameter_.release();
    delete day_.release();
    delete main_.release();
    delete about_.release();
}

void Wizard::start() {
    frmSplash& form = splash();
    form.show();
}

frmSplash& Wizard::splash() {
    if (!splash_) splash_.reset(new frmSplash(*this));
    return *splash_;
}

TypeForm& Wizard::typeForm() { return load<TypeForm>(type_, *this); }
ParameterForm& Wizard::parameterForm() { return load<ParameterForm>(parameter_, *this); }
DayForm& Wizard::dayForm() { return load<DayForm>(day_, *this); }
Pontrel& Wizard::mainForm() { return load<Pontrel>(main_, *this); }
frmAbout& Wizard::about() { return load<frmAbout>(about_, *this); }

void Wizard::unloadSplash() { splash_.reset(); }
void Wizard::unloadMainForm() { main_.reset(); }
void Wizard::unloadAbout() { about_.reset(); }

void Wizard::showStep(QWidget& form) {
    form.show();
    form.raise();
    form.activateWindow();
}

void Wizard::showTypeForm() { showStep(typeForm()); }

namespace {

// Loads or refreshes a step-2 form; on failure the form is unloaded and the error goes on.
template <typename Form, typename Slot>
Form& loadStepTwo(Slot& slot, Wizard& wizard) {
    const bool loaded = slot != nullptr;
    try {
        Form& form = load<Form>(slot, wizard);
        if (loaded) form.readListIfSourceChanged();
        return form;
    } catch (...) {
        slot.reset();
        throw;
    }
}

}  // namespace

void Wizard::showParameterForm() { showStep(loadStepTwo<ParameterForm>(parameter_, *this)); }

void Wizard::showDayForm() { showStep(loadStepTwo<DayForm>(day_, *this)); }

void Wizard::showStepTwoOfMode() {
    if (state_.ShapeType == kDayMode)
        showDayForm();
    else if (state_.ShapeType == kParameterMode)
        showParameterForm();
}

void Wizard::showMainForm() {
    Pontrel& form = mainForm();
    form.proposeName();
    showStep(form);
}

bool Wizard::confirmClose(QWidget* owner) {
    const int answer = boxes_.question(owner, "Are you Sure?", "Close Pontrel");
    state_.CloseAnswer = answer;
    return answer == kAnswerYes;
}

void Wizard::closeConnection() {
    if (state_.DBConnection) state_.DBConnection->close();
    state_.DBConnection.reset();
}

void Wizard::endProgram(int status) {
    if (ended_) return;
    ended_ = true;
    for (QWidget* form : std::initializer_list<QWidget*>{splash_.get(), type_.get(), parameter_.get(),
                                                         day_.get(), main_.get(), about_.get()})
        if (form) form->hide();
    if (end_) end_(status);
}

void Wizard::returnToStep(QWidget* owner, Step step, const char* message) {
    if (ended_) return;
    if (message) boxes_.message(owner, QString::fromUtf8(message));
    if (step == Step::Same) {
        // A step that hid itself to show the next one, which failed to load, shows again.
        auto* form = qobject_cast<StepWindow*>(owner);
        if (form && !form->isVisible()) showStep(*form);
        return;
    }
    if (main_) main_->hide();
    if (step == Step::Source) {
        if (parameter_) parameter_->hide();
        if (day_) day_->hide();
        TypeForm& form = typeForm();
        showStep(form);
        form.DataSourceFile_TB->setFocus();
        form.DataSourceFile_TB->selectAll();
        return;
    }
    showStepTwoOfMode();
    QWidget* shown = state_.ShapeType == kDayMode ? static_cast<QWidget*>(day_.get()) : parameter_.get();
    if (auto* list = shown ? shown->findChild<QComboBox*>() : nullptr) {
        list->setFocus();
        list->lineEdit()->selectAll();
    }
}

}  // namespace pontrel::forms
