#include "forms/StatusBar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <qdrawutil.h>
#include <stdexcept>

namespace pontrel::forms {

namespace {
constexpr int kTextMargin = 3;
}

StatusBar::StatusBar(std::vector<int> panelWidths, QWidget* parent) : QWidget(parent) {
    for (int width : panelWidths) panels_.push_back({width, Bevel::Inset, {}});
}

StatusBar::Panel& StatusBar::panel(int index) {
    if (index < 1 || index > panelCount())
        throw std::out_of_range("status bar panel " + std::to_string(index));
    return panels_[static_cast<std::size_t>(index - 1)];
}

const StatusBar::Panel& StatusBar::panel(int index) const {
    return const_cast<StatusBar*>(this)->panel(index);
}

int StatusBar::panelLeft(int index) const {
    panel(index);
    int left = 0;
    for (int i = 1; i < index; ++i) left += panel(i).width;
    return left;
}

int StatusBar::panelWidth(int index) const { return panel(index).width; }

QRect StatusBar::panelRect(int index) const {
    return QRect(panelLeft(index), 0, panelWidth(index), height());
}

QString StatusBar::panelText(int index) const { return panel(index).text; }

void StatusBar::setPanelText(int index, const QString& text) {
    Panel& p = panel(index);
    if (p.text == text) return;
    p.text = text;
    update(panelRect(index));
}

StatusBar::Bevel StatusBar::panelBevel(int index) const { return panel(index).bevel; }

void StatusBar::setPanelBevel(int index, Bevel bevel) {
    panel(index).bevel = bevel;
    update(panelRect(index));
}

void StatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    for (int i = 1; i <= panelCount(); ++i) {
        const Panel& p = panel(i);
        const QRect box = panelRect(i);
        if (p.bevel == Bevel::Inset) qDrawShadePanel(&painter, box, palette(), true, 1);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(box.adjusted(kTextMargin, 0, -kTextMargin, 0),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, p.text);
    }
}

}  // namespace pontrel::forms
