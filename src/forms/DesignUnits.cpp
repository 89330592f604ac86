#include "forms/DesignUnits.h"

#include <QLabel>
#include <QWidget>

namespace pontrel::forms {

void registerFontSubstitutes() {
    static const bool registered = [] {
        const QStringList sansSerif{QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                    QStringLiteral("DejaVu Sans")};
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sansSerif);
        QFont::insertSubstitutions(QStringLiteral("Arial"), sansSerif);
        return true;
    }();
    (void)registered;
}

QFont designFont(const QString& family, double points, bool bold) {
    registerFontSubstitutes();
    QFont font(family);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

void place(QWidget* widget, int left, int top, int width, int height, const QFont& font) {
    widget->setGeometry(twipsRect(left, top, width, height));
    widget->setFont(font);
}

void growToFitText(QLabel* label) {
    const int needed = label->heightForWidth(label->width());
    if (needed > label->height()) label->resize(label->width(), needed);
}

QColor readableText(const QWidget* widget, const QColor& designed) {
    const QPalette& palette = widget->palette();
    return palette.color(QPalette::Window).lightness() >= 128 ? designed : palette.color(QPalette::WindowText);
}

void placeWindow(QWidget* window, int left, int top, int width, int height, bool fixed) {
    const QSize size(pixels(width), pixels(height));
    if (fixed)
        window->setFixedSize(size);
    else
        window->resize(size);
    if (left >= 0) window->setGeometry(QRect(QPoint(pixels(left), pixels(top)), size));
}

}  // namespace pontrel::forms
