#include "forms/Line.h"

#include <QPainter>

#include "forms/DesignUnits.h"

namespace pontrel::forms {

Line::Line(int x1, int x2, int y, const QColor& color, int thickness, QWidget* parent)
    : QWidget(parent), color_(color) {
    setGeometry(pixels(x1), pixels(y), pixels(x2) - pixels(x1) + 1, thickness);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Line::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), color_);
}

}  // namespace pontrel::forms
