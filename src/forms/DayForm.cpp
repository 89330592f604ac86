#include "forms/DayForm.h"

#include "forms/DesignUnits.h"
#include "forms/RegionalSettings.h"
#include "forms/StepLists.h"
#include "forms/Wizard.h"

namespace pontrel::forms {

QString notADateMessage(const QString& text) { return "'" + text + "' is not a date"; }

DayForm::DayForm(Wizard& wizard) : StepTwoForm(wizard) {
    setObjectName("DayForm");
    designWindow("Pick a Day with the desired values for shapefile:", QRect(120, 720, 3615, 1215),
                 2160, 1095);
    centreOnScreen(this);
    // The list lies on the form, over the frame's area.
    Days_CB = new QComboBox(this);
    place(Days_CB, 960, 1200, 1815, 315);
    Days_CB->raise();
    designList(Days_CB, kDayPlaceholder);

    setTabOrder(Days_CB, Command1);
    setTabOrder(Command1, Back_CB);
    setTabOrder(Back_CB, CancelButton);
    Days_CB->setFocus();
}

void DayForm::fillList() {
    Days_CB->clear();
    const auto days = readSampleDays(wizard_.state(), [](data::Date date) { return dateText(date); });
    for (const DayItem& day : days) Days_CB->addItem(QString::fromStdString(day.text), day.date);
    showPlaceholder(Days_CB, kDayPlaceholder);
}

void DayForm::Command1_Click() {
    wizard_.run(this, [&] {
        const QString text = Days_CB->currentText();
        if (text == kDayPlaceholder) {
            wizard_.boxes().message(this, kPickDayMessage);
            return;
        }
        std::optional<data::Date> day;
        const int item = Days_CB->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (item >= 0)
            day = Days_CB->itemData(item).toDouble();
        else
            day = readDate(text.toStdString());
        if (!day) {
            wizard_.boxes().message(this, notADateMessage(text));
            return;
        }
        wizard_.state().SelectedDay = *day;
        hide();
        wizard_.showMainForm();
    });
}

}  // namespace pontrel::forms
