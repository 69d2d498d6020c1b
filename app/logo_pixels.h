// The logo's pixel arithmetic: premultiplication by alpha and the source-over blend.
#pragma once

#include <QImage>
#include <QRgb>
#include <cstdint>

namespace tarvex {

// floor(value * alpha / 255).
constexpr std::uint8_t PremultiplyChannel(std::uint8_t value, std::uint8_t alpha) {
  return static_cast<std::uint8_t>(value * alpha / 255);
}

// Source over destination for a premultiplied source: S + D * (255 - A) / 255. Cannot pass 255
// because a premultiplied S is at most A.
constexpr std::uint8_t BlendChannel(std::uint8_t source, std::uint8_t dest, std::uint8_t alpha) {
  return static_cast<std::uint8_t>(source + dest * (255 - alpha) / 255);
}

// A decoded picture ready for drawing: with an alpha channel, every colour byte premultiplied
// by its pixel's alpha (format ARGB32_Premultiplied); without one, converted to RGB32 with its
// colours unchanged.
QImage PremultiplyLogo(const QImage& decoded);

// The prepared logo drawn over a plain background: blended when it has alpha, copied otherwise.
// The result is opaque and as large as the logo.
QImage ComposeLogo(const QImage& prepared, QRgb background);

}  // namespace tarvex
