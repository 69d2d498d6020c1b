#include "app/qt/logo_control.h"

#include <QPainter>
#include <utility>

#include "app/qt/logo_pixels.h"

namespace tarvex {

LogoControl::LogoControl(QWidget* parent) : QWidget(parent) {}

void LogoControl::SetLogo(QImage prepared) {
  prepared_ = std::move(prepared);
  composed_ = QImage();
  update();
}

void LogoControl::paintEvent(QPaintEvent* /*event*/) {
  if (prepared_.isNull()) {
    return;
  }
  const QRgb background = palette().color(backgroundRole()).rgb();
  if (composed_.isNull() || composedOver_ != background) {
    composed_ = ComposeLogo(prepared_, background);
    composedOver_ = background;
  }
  // One picture pixel per device pixel, whatever the screen's scale factor.
  composed_.setDevicePixelRatio(devicePixelRatioF());
  QPainter painter(this);
  painter.drawImage(QPoint(0, 0), composed_);
}

}  // namespace tarvex
