#include "protocol/frames.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "protocol/packet_crc.h"

namespace tarvex {

namespace {

constexpr std::string_view ZEFRA = "ZEFRA";
constexpr std::string_view TRATS = "TRATS";  // the fixture expects these letters in this order
constexpr std::string_view END = "END";
constexpr std::string_view TEST_CODE = "ZEFRA COMM TEST ";
constexpr std::uint32_t WAKE_FILL_SIZE = 512;  // bytes of 0xFB before the last byte
constexpr std::uint32_t BLANK_PAD_SIZE = 92;   // zero bytes after byte 7
constexpr std::uint8_t BREAK_BYTE = 0x00;
constexpr std::uint8_t SPACE = 0x20;

}  // namespace

// Appends to a frame's fixed buffer; the builders never exceed FRAME_MAX.
class FrameWriter {
 public:
  explicit FrameWriter(Frame& frame) : frame_(frame) {}

  static Frame Empty(std::string_view name) { return Frame{name}; }

  void Put(std::uint8_t byte) {
    assert(frame_.size_ < FRAME_MAX);
    frame_.bytes_[frame_.size_++] = byte;
  }
  void Put(std::span<const std::uint8_t> bytes) {
    assert(frame_.size_ + bytes.size() <= FRAME_MAX);
    std::copy(bytes.begin(), bytes.end(), frame_.bytes_.begin() + frame_.size_);
    frame_.size_ += static_cast<std::uint32_t>(bytes.size());
  }
  void Put(std::string_view text) {
    Put(std::span{reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
  }
  void Fill(std::uint32_t count, std::uint8_t value) {
    assert(frame_.size_ + count <= FRAME_MAX);
    std::memset(frame_.bytes_.data() + frame_.size_, value, count);
    frame_.size_ += count;
  }
  void PutLe16(std::uint16_t value) {
    Put(static_cast<std::uint8_t>(value & 0xFFu));
    Put(static_cast<std::uint8_t>(value >> 8));
  }
  void PutLe32(std::uint32_t value) {
    std::uint8_t le[4];
    WriteLe32(le, value);
    Put(std::span{le});
  }
  // Closes a command frame with the CRC-16 of everything before it, low byte first.
  void PutCrc() { PutLe16(PacketCrc16(frame_.bytes_.data(), frame_.size_)); }

 private:
  Frame& frame_;
};

Frame::Frame(std::string_view name, std::span<const std::uint8_t> bytes) : name_(name) {
  size_ = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), FRAME_MAX));
  std::copy_n(bytes.begin(), size_, bytes_.begin());
}

Frame BreakByte() {
  Frame frame = FrameWriter::Empty("BreakByte");
  FrameWriter{frame}.Put(BREAK_BYTE);
  return frame;
}

Frame WakeFrame() {
  Frame frame = FrameWriter::Empty("WakeFrame");
  FrameWriter writer{frame};
  writer.Fill(WAKE_FILL_SIZE, WAKE_FILL);
  writer.Put(WAKE_FRAME_LAST_BYTE);
  return frame;
}

Frame AnnounceFrame(const ModelName& model) {
  Frame frame = FrameWriter::Empty("AnnounceFrame");
  FrameWriter writer{frame};
  writer.Put(ZEFRA);
  writer.Put(std::span{model});
  return frame;
}

Frame BlankFrame() {
  Frame frame = FrameWriter::Empty("BlankFrame");
  FrameWriter writer{frame};
  writer.Put(ZEFRA);
  writer.Fill(2, SPACE);
  writer.Put(BLANK_FRAME_BYTE_7);
  writer.Fill(BLANK_PAD_SIZE, 0x00);
  return frame;
}

Frame ModelFrame(const ModelName& model) {
  Frame frame = FrameWriter::Empty("ModelFrame");
  FrameWriter writer{frame};
  writer.Put(CMD_MODEL);
  writer.Put(std::span{model});
  writer.PutCrc();
  return frame;
}

Frame SizeFrame(const ImageHeader& header) {
  Frame frame = FrameWriter::Empty("SizeFrame");
  FrameWriter writer{frame};
  writer.Put(CMD_SIZE);
  writer.Put(std::span{header}.first(4));  // as stored, not re-encoded
  writer.PutCrc();
  return frame;
}

Frame StartFrame() {
  Frame frame = FrameWriter::Empty("StartFrame");
  FrameWriter{frame}.Put(TRATS);
  return frame;
}

Frame BlockFrame(std::uint32_t targetAddress, std::span<const std::uint8_t> data) {
  assert(data.size() <= BLOCK_DATA_MAX);
  const auto sent = data.first(std::min<std::size_t>(data.size(), BLOCK_DATA_MAX));
  Frame frame = FrameWriter::Empty("BlockFrame");
  FrameWriter writer{frame};
  writer.Put(CMD_BLOCK);
  writer.PutLe32(targetAddress);
  writer.PutLe16(static_cast<std::uint16_t>(sent.size()));
  writer.Put(sent);
  writer.PutCrc();
  return frame;
}

Frame EndFrame() {
  Frame frame = FrameWriter::Empty("EndFrame");
  FrameWriter{frame}.Put(END);
  return frame;
}

Frame TestCode() {
  Frame frame = FrameWriter::Empty("TestCode");
  FrameWriter{frame}.Put(TEST_CODE);
  return frame;
}

}  // namespace tarvex
