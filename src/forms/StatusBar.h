#pragma once
// A status bar of fixed-width panels, numbered from 1, each with a text and a bevel, as step 3
// shows the conversion's phase, progress and times. It only draws; the form that holds it docks
// it to its bottom edge.

#include <QString>
#include <QWidget>
#include <vector>

namespace pontrel::forms {

class StatusBar : public QWidget {
    Q_OBJECT
public:
    enum class Bevel { None, Inset };

    // Panel widths in pixels, from the left.
    StatusBar(std::vector<int> panelWidths, QWidget* parent);

    int panelCount() const { return static_cast<int>(panels_.size()); }
    // Left edge and width of panel `index` (from 1) within the bar.
    int panelLeft(int index) const;
    int panelWidth(int index) const;
    QRect panelRect(int index) const;

    QString panelText(int index) const;
    void setPanelText(int index, const QString& text);
    Bevel panelBevel(int index) const;
    void setPanelBevel(int index, Bevel bevel);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Panel {
        int width = 0;
        Bevel bevel = Bevel::Inset;
        QString text;
    };
    Panel& panel(int index);
    const Panel& panel(int index) const;

    std::vector<Panel> panels_;
};

}  // namespace pontrel::forms
