// The logo area: shows the prepared logo at its natural size from the top-left corner, in its own
// painting, so the logo survives every repaint.
#pragma once

#include <QImage>
#include <QWidget>

namespace tarvex {

class LogoControl : public QWidget {
  Q_OBJECT
 public:
  explicit LogoControl(QWidget* parent = nullptr);

  // A picture from PremultiplyLogo(); a null image leaves the area empty.
  void SetLogo(QImage prepared);
  const QImage& Logo() const { return prepared_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage prepared_;
  QImage composed_;  // prepared_ over the background, rebuilt when the background changes
  QRgb composedOver_ = 0;
};

}  // namespace tarvex
