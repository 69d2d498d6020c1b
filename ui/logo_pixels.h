// The logo's pixel arithmetic: premultiplication by alpha and the source-over blend.
#pragma once

#include <cstdint>
#include <span>

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

// Premultiplies 32-bit pixels in place, four bytes each in the order blue, green, red, alpha;
// the alpha bytes stay. A trailing partial pixel is left alone.
void PremultiplyBgra(std::span<std::uint8_t> pixels);

}  // namespace tarvex
