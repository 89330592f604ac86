#include "forms/Wizard.h"

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

void Wizard::showParameterForm() {
    const bool loaded = parameter_ != nullptr;
    ParameterForm& form = parameterForm();
    if (loaded) form.readListIfSourceChanged();
    showStep(form);
}

void Wizard::showDayForm() {
    const bool loaded = day_ != nullptr;
    DayForm& form = dayForm();
    if (loaded) form.readListIfSourceChanged();
    showStep(form);
}

void Wizard::showStepTwoOfMode() {
    if (state_.ShapeType == kDayMode)
        showDayForm();
    else if (state_.ShapeType == kParameterMode)
        showParameterForm();
}

void Wizard::showMainForm() { showStep(mainForm()); }

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

void Wizard::fail(QWidget* owner, const std::string& message) {
    if (ended_) return;
    boxes_.message(owner, QString::fromStdString(message));
    endProgram(1);
}

}  // namespace pontrel::forms
