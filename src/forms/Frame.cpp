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
    const int captionWidth = fontMetrics().horizontalAdvance(title()) + 2 * kCaptionPadding;
    // A caption too long for its place moves left rather than lose its end.
    const int left = std::max(0, std::min(kCaptionLeft, width() - captionWidth));
    const QRect caption(left, 0, std::min(captionWidth, width()), fontMetrics().height());
    painter.fillRect(caption, palette().brush(backgroundRole()));
    style()->drawItemText(&painter, caption.adjusted(kCaptionPadding, 0, 0, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), title(), QPalette::WindowText);
}

}  // namespace pontrel::forms
