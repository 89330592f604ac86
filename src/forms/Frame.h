#pragma once
// A frame as the forms were designed with: an etched border whose top line runs through the
// middle of the caption, the caption standing on the border near its left end. The frame's
// whole rectangle is the container of the controls in it; no style moves its border down.

#include <QGroupBox>

namespace pontrel::forms {

class Frame : public QGroupBox {
public:
    explicit Frame(const QString& caption, QWidget* parent);

    // The row of the top border line, in pixels from the frame's top edge.
    int borderTop() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace pontrel::forms
