// Every frame the tool writes, built into a fixed buffer (no heap per frame).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "image/image_format.h"

namespace tarvex {

inline constexpr std::uint8_t CMD_MODEL = 0x10;
inline constexpr std::uint8_t CMD_SIZE = 0x11;
inline constexpr std::uint8_t CMD_BLOCK = 0x12;
inline constexpr std::uint32_t BLOCK_DATA_MAX = 1024;           // data bytes per block
inline constexpr std::uint32_t FRAME_MAX = 9 + BLOCK_DATA_MAX;  // a full BlockFrame
inline constexpr std::uint32_t BLOCK_FRAME_OVERHEAD = 9;        // command, address, length, CRC
inline constexpr std::uint32_t WAKE_FRAME_SIZE = 513;
inline constexpr std::uint32_t BLANK_FRAME_SIZE = 100;

// The two bytes the fixture ignores. The wake frame is 0xFB throughout, so its last byte repeats
// the fill rather than introducing a value the receiver could read as a start code; byte 7 of the
// blank frame is zero like the padding that follows it.
inline constexpr std::uint8_t WAKE_FILL = 0xFB;
inline constexpr std::uint8_t WAKE_FRAME_LAST_BYTE = WAKE_FILL;  // byte 512
inline constexpr std::uint8_t BLANK_FRAME_BYTE_7 = 0x00;

class Frame {
 public:
  // Copies at most FRAME_MAX bytes.
  Frame(std::string_view name, std::span<const std::uint8_t> bytes);
  const std::uint8_t* data() const { return bytes_.data(); }
  std::uint32_t size() const { return size_; }
  std::span<const std::uint8_t> bytes() const { return {bytes_.data(), size_}; }
  std::string_view name() const { return name_; }  // "BlockFrame", "EndFrame", ...

 private:
  friend class FrameWriter;  // the builders fill the buffer in place
  explicit Frame(std::string_view name) : name_(name) {}

  std::string_view name_;
  std::uint32_t size_ = 0;
  std::array<std::uint8_t, FRAME_MAX> bytes_{};
};

Frame BreakByte();
Frame WakeFrame();
Frame AnnounceFrame(const ModelName& model);
Frame BlankFrame();
Frame ModelFrame(const ModelName& model);
// The four payloadLength bytes exactly as they stand in the header (bytes 0..3).
Frame SizeFrame(const ImageHeader& header);
Frame StartFrame();
// `data` holds 0 to BLOCK_DATA_MAX bytes; anything beyond is not sent.
Frame BlockFrame(std::uint32_t targetAddress, std::span<const std::uint8_t> data);
Frame EndFrame();
Frame TestCode();

}  // namespace tarvex
