#include "forms/DayForm.h"

#include <QAbstractItemView>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <algorithm>

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

    setTabOrder(Days_CB, Back_CB);
    setTabOrder(Back_CB, Command1);
    setTabOrder(Command1, CancelButton);
    Days_CB->setFocus();
}

void DayForm::fillList() {
    Days_CB->clear();
    const auto days = readSampleDays(wizard_.state(), [](data::Date date) { return dateText(date); });
    for (const DayItem& day : days) Days_CB->addItem(QString::fromStdString(day.text), day.date);
    showPlaceholder(Days_CB, kDayPlaceholder);
    fitListToItems();
}

void DayForm::fitListToItems() {
    // A date with its time of day can be wider than the designed list: the list then widens,
    // as far as the frame it lies over, so that the chosen text can be read whole.
    const QFontMetrics metrics(Days_CB->font());
    int widest = metrics.horizontalAdvance(Days_CB->currentText());
    for (int i = 0; i < Days_CB->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(Days_CB->itemText(i)));
    QStyleOptionComboBox option;
    option.initFrom(Days_CB);
    option.editable = true;
    const int needed =
        Days_CB->style()->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(widest, 0), Days_CB).width();
    const QRect design = twipsRect(960, 1200, 1815, 315);
    const int room = Frame1->geometry().right() - 4 - design.left();
    Days_CB->setGeometry(design.left(), design.top(), std::clamp(needed, design.width(), room),
                         design.height());
    Days_CB->view()->setMinimumWidth(needed);
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
