#pragma once
// Dialog units: lengths that scale with the dialog's font. A horizontal unit
// is a quarter of the font's average character width, a vertical unit an
// eighth of its character height, so a layout keeps its proportions with
// whatever font the system substitutes.

#include <QRect>
#include <QSize>

class QFont;

namespace app::qt {

class DialogUnits {
  public:
    // Base units in pixels: average character width and character height.
    DialogUnits(int baseWidth, int baseHeight);
    // The average width is taken over the 52 Latin letters and rounded,
    // the height is the font's line height.
    static DialogUnits ForFont(const QFont& font);

    int baseWidth() const { return baseWidth_; }
    int baseHeight() const { return baseHeight_; }

    int X(int units) const;
    int Y(int units) const;
    // Both corners are converted, so adjacent rectangles stay adjacent.
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

  private:
    int baseWidth_;
    int baseHeight_;
};

}  // namespace app::qt
