// Input as a tty delivers it with error marking on (PARMRK): a byte that came with a framing or
// parity error arrives as 0xFF 0x00 x, a break as 0xFF 0x00 0x00 (a zero byte held low through
// its stop bit looks the same), and a literal 0xFF doubled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarvex {

class MarkedInput {
 public:
  // Appends the bytes of `raw` to `bytes`, and to `marked` the index in `bytes` of each one that
  // came with an error. A mark split between two reads is completed by the next call.
  void Decode(std::span<const std::uint8_t> raw, std::vector<std::uint8_t>& bytes,
              std::vector<std::size_t>& marked);

 private:
  enum class State : std::uint8_t { Plain, AfterEscape, AfterMark };
  State state_ = State::Plain;
};

}  // namespace tarvex
