#include "forms/Frame.h"

#include <QPainter>
#include <QStyle>
#include <algorithm>

namespace pontrel::forms {

namespace {

constexpr int kCaptionLeft = 6;     // where the caption's cleared background starts
constexpr int kCaptionPadding = 2;  // blank border line left on each side of the text

}  // namespace

Frame::Frame(const QString& caption, QWidget* parent) : QGroupBox(caption, parent) {}

int Frame::borderTop() const { return fontMetrics().height() / 2; }

void Frame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect box = rect().adjusted(0, borderTop(), -1, -1);
    // Etched: a shadow line with a light line inside it, one pixel down and right.
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(box.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(box.adjusted(1, 1, 0, 0));
    if (title().isEmpty()) return;
    const int textWidth = fontMetrics().horizontalAdvance(title());
    QRect caption(kCaptionLeft, 0, textWidth + 2 * kCaptionPadding, fontMetrics().height());
    caption.setRight(std::min(caption.right(), width() - 1 - kCaptionLeft));
    painter.fillRect(caption, palette().brush(backgroundRole()));
    style()->drawItemText(&painter, caption.adjusted(kCaptionPadding, 0, 0, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), title(), QPalette::WindowText);
}

}  // namespace pontrel::forms
