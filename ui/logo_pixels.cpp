#include "ui/logo_pixels.h"

namespace tarvex {

void PremultiplyBgra(std::span<std::uint8_t> pixels) {
  constexpr std::size_t PIXEL = 4;
  for (std::size_t at = 0; at + PIXEL <= pixels.size(); at += PIXEL) {
    const std::uint8_t alpha = pixels[at + 3];
    for (std::size_t colour = 0; colour < 3; ++colour) {
      pixels[at + colour] = PremultiplyChannel(pixels[at + colour], alpha);
    }
  }
}

}  // namespace tarvex
