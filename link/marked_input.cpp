#include "link/marked_input.h"

namespace tarvex {

namespace {

constexpr std::uint8_t ESCAPE = 0xFF;
constexpr std::uint8_t MARK = 0x00;

}  // namespace

void MarkedInput::Decode(std::span<const std::uint8_t> raw, std::vector<std::uint8_t>& bytes,
                         std::vector<std::size_t>& marked) {
  for (const std::uint8_t byte : raw) {
    switch (state_) {
      case State::Plain:
        if (byte == ESCAPE) {
          state_ = State::AfterEscape;
        } else {
          bytes.push_back(byte);
        }
        break;
      case State::AfterEscape:
        if (byte == MARK) {
          state_ = State::AfterMark;
          break;
        }
        // 0xFF 0xFF is a literal 0xFF. Nothing else follows an escape; should it, both bytes
        // are kept rather than lost.
        bytes.push_back(ESCAPE);
        if (byte != ESCAPE) {
          bytes.push_back(byte);
        }
        state_ = State::Plain;
        break;
      case State::AfterMark:
        marked.push_back(bytes.size());
        bytes.push_back(byte);
        state_ = State::Plain;
        break;
    }
  }
}

}  // namespace tarvex
