// Dialog units: the window's geometry is given in these, so it scales with the dialog font.
#pragma once

#include <QFont>
#include <QRect>

#include "ui/dialog_template.h"

namespace tarvex {

// Pixels per 4 horizontal and per 8 vertical dialog units.
struct DialogBase {
  int x = 0;  // average character width of the dialog font, pixels
  int y = 0;  // height of the dialog font, pixels
};

// The average width is taken over the 52 Latin letters and rounded, as desktop platforms
// traditionally compute it; the height is the font's line height.
DialogBase DialogBaseFor(const QFont& font);

// value * numerator / denominator, rounded half away from zero; `denominator` > 0.
int MulDivRound(int value, int numerator, int denominator);

constexpr QRect ToQRect(DuRect du) {
  return {du.x, du.y, du.width, du.height};
}
constexpr QSize ToQSize(DuSize du) {
  return {du.width, du.height};
}

// Maps each edge of `du` separately, so adjacent controls stay adjacent after rounding.
QRect DialogRectToPixels(const QRect& du, DialogBase base);
QSize DialogSizeToPixels(const QSize& du, DialogBase base);

}  // namespace tarvex
