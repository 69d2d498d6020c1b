// The logo's pixel arithmetic: premultiplication by alpha and the source-over blend.
#pragma once

#include <QImage>
#include <QRgb>
#include <cstdint>

#include "ui/logo_pixels.h"

namespace tarvex {

// A decoded picture ready for drawing: with an alpha channel, every colour byte premultiplied
// by its pixel's alpha (format ARGB32_Premultiplied); without one, converted to RGB32 with its
// colours unchanged.
QImage PremultiplyLogo(const QImage& decoded);

// The prepared logo drawn over a plain background: blended when it has alpha, copied otherwise.
// The result is opaque and as large as the logo.
QImage ComposeLogo(const QImage& prepared, QRgb background);

}  // namespace tarvex
