#pragma once
// A straight horizontal line drawn on a form, as the About box's etched separator is made of.

#include <QColor>
#include <QWidget>

namespace pontrel::forms {

class Line : public QWidget {
    Q_OBJECT
public:
    // From (x1, y) to (x2, y) in twips within `parent`, `thickness` pixels thick.
    Line(int x1, int x2, int y, const QColor& color, int thickness, QWidget* parent);

    QColor color() const { return color_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
};

}  // namespace pontrel::forms
