#include "app/qt/dialog_units.h"

#include <QFontMetrics>

namespace tarvex {

DialogBase DialogBaseFor(const QFont& font) {
  static constexpr char LETTERS[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  const QFontMetrics metrics(font);
  const int letterWidth = metrics.horizontalAdvance(QLatin1String(LETTERS));
  return DialogBase{(letterWidth / 26 + 1) / 2, metrics.height()};
}

int MulDivRound(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>((product >= 0 ? product + half : product - half) / denominator);
}

QRect DialogRectToPixels(const QRect& du, DialogBase base) {
  const int left = MulDivRound(du.x(), base.x, 4);
  const int top = MulDivRound(du.y(), base.y, 8);
  const int right = MulDivRound(du.x() + du.width(), base.x, 4);
  const int bottom = MulDivRound(du.y() + du.height(), base.y, 8);
  return QRect(left, top, right - left, bottom - top);
}

QSize DialogSizeToPixels(const QSize& du, DialogBase base) {
  return DialogRectToPixels(QRect(QPoint(0, 0), du), base).size();
}

}  // namespace tarvex
