#include "app/qt/logo_pixels.h"

namespace tarvex {

QImage PremultiplyLogo(const QImage& decoded) {
  if (!decoded.hasAlphaChannel()) {
    return decoded.convertToFormat(QImage::Format_RGB32);
  }
  // Our own arithmetic, not Qt's premultiplication, which rounds rather than truncates.
  const QImage straight = decoded.convertToFormat(QImage::Format_ARGB32);
  QImage result(straight.size(), QImage::Format_ARGB32_Premultiplied);
  for (int y = 0; y < straight.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(straight.constScanLine(y));
    auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int x = 0; x < straight.width(); ++x) {
      const auto alpha = static_cast<std::uint8_t>(qAlpha(in[x]));
      out[x] = qRgba(PremultiplyChannel(static_cast<std::uint8_t>(qRed(in[x])), alpha),
                     PremultiplyChannel(static_cast<std::uint8_t>(qGreen(in[x])), alpha),
                     PremultiplyChannel(static_cast<std::uint8_t>(qBlue(in[x])), alpha), alpha);
    }
  }
  return result;
}

QImage ComposeLogo(const QImage& prepared, QRgb background) {
  if (prepared.format() != QImage::Format_ARGB32_Premultiplied) {
    return prepared.convertToFormat(QImage::Format_RGB32);
  }
  QImage result(prepared.size(), QImage::Format_RGB32);
  const auto channel = [](int source, int dest, std::uint8_t alpha) {
    return BlendChannel(static_cast<std::uint8_t>(source), static_cast<std::uint8_t>(dest), alpha);
  };
  for (int y = 0; y < prepared.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(prepared.constScanLine(y));
    auto* out = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int x = 0; x < prepared.width(); ++x) {
      const auto alpha = static_cast<std::uint8_t>(qAlpha(in[x]));
      out[x] = qRgb(channel(qRed(in[x]), qRed(background), alpha),
                    channel(qGreen(in[x]), qGreen(background), alpha),
                    channel(qBlue(in[x]), qBlue(background), alpha));
    }
  }
  return result;
}

}  // namespace tarvex
