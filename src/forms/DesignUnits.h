#pragma once
// The forms' geometry and fonts as they were designed: lengths in twips (1440 to the inch, 15 to
// a pixel at 96 dots per inch) and fonts under their design names, which Qt substitutes by
// installed look-alikes (Liberation Sans for Arial and for MS Sans Serif).

#include <QFont>
#include <QRect>
#include <QString>

class QLabel;
class QWidget;

namespace pontrel::forms {

inline constexpr int kTwipsPerPixel = 15;

constexpr int pixels(int twips) {
    return twips >= 0 ? (twips + kTwipsPerPixel / 2) / kTwipsPerPixel
                      : -((-twips + kTwipsPerPixel / 2) / kTwipsPerPixel);
}

inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(pixels(left), pixels(top), pixels(width), pixels(height));
}

// Makes the design font names resolve to installed fonts; safe to call more than once.
void registerFontSubstitutes();

// A design font; every attribute is set explicitly, so a control never takes a font attribute
// from its container (a bold frame leaves the controls in it regular).
QFont designFont(const QString& family = QStringLiteral("MS Sans Serif"), double points = 8.25,
                 bool bold = false);

// Places `widget` at a design position in twips within its container and gives it the font.
void place(QWidget* widget, int left, int top, int width, int height,
           const QFont& font = designFont());

// A word-wrapping label whose lines need more than its designed height grows downwards, so that
// no line is cut off with the installed fonts.
void growToFitText(QLabel* label);

// Places a top-level window so that its client area has the given size and, unless `left` is
// negative, the given screen position, all in twips; the window cannot be resized when `fixed`.
void placeWindow(QWidget* window, int left, int top, int width, int height, bool fixed);

// A text colour chosen for the light windows the forms were drawn on, where the user's palette
// is light; where it is dark, the palette's own text colour, so that the text stays readable.
QColor readableText(const QWidget* widget, const QColor& designed);

}  // namespace pontrel::forms
