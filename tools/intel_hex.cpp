#include "tools/intel_hex.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <istream>
#include <ostream>

#include "image/image_format.h"

namespace tarvex {

namespace {

constexpr std::size_t HEX_RECORD_DATA_MAX = 16;  // bytes per data record written
constexpr std::uint64_t HEX_WINDOW = 0x10000;    // bytes one linear address record covers
constexpr std::uint8_t HEX_DATA = 0x00;
constexpr std::uint8_t HEX_END = 0x01;
constexpr std::uint8_t HEX_SEGMENT_ADDRESS = 0x02;
constexpr std::uint8_t HEX_START_SEGMENT = 0x03;
constexpr std::uint8_t HEX_LINEAR_ADDRESS = 0x04;
constexpr std::uint8_t HEX_START_LINEAR = 0x05;
constexpr std::size_t HEX_FIXED_BYTES = 5;  // count, address (2), type, checksum
constexpr std::size_t HEX_LINE_MAX = 1 + 2 * (HEX_FIXED_BYTES + 255);  // characters of a record
// Separate ranges one file may make. An image holds 14 segments, so this is far beyond any real
// build; it bounds what a file of scattered tiny records costs beyond its data.
constexpr std::size_t HEX_PIECES_MAX = 4096;

void WriteRecord(std::ostream& out, std::uint8_t type, std::uint16_t address,
                 std::span<const std::uint8_t> data) {
  auto sum = static_cast<std::uint8_t>(data.size() + (address >> 8) + (address & 0xFF) + type);
  std::string line = fmt::format(":{:02X}{:04X}{:02X}", data.size(), address, type);
  for (const std::uint8_t byte : data) {
    line += fmt::format("{:02X}", byte);
    sum = static_cast<std::uint8_t>(sum + byte);
  }
  line += fmt::format("{:02X}\n", static_cast<std::uint8_t>(-sum));
  out << line;
}

// One record as read from its line.
struct Record {
  std::uint8_t type = 0;
  std::uint16_t offset = 0;
  std::vector<std::uint8_t> data;
};

std::optional<std::vector<std::uint8_t>> DecodeHex(std::string_view text) {
  if (text.size() % 2 != 0) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(text.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char* pair = text.data() + 2 * i;
    const auto [end, error] = std::from_chars(pair, pair + 2, bytes[i], 16);
    if (error != std::errc() || end != pair + 2) {
      return std::nullopt;
    }
  }
  return bytes;
}

// Fills `record` from one line; the problem, if the line is no well-formed record.
std::string ParseRecord(std::string_view line, Record& record) {
  if (line.empty() || line.front() != ':') {
    return "a record must start with ':'";
  }
  const auto bytes = DecodeHex(line.substr(1));
  if (!bytes || bytes->size() < HEX_FIXED_BYTES) {
    return "not a record of hexadecimal byte pairs";
  }
  if (bytes->size() != HEX_FIXED_BYTES + (*bytes)[0]) {
    return fmt::format("the record says {} data bytes but holds {}", (*bytes)[0],
                       bytes->size() - HEX_FIXED_BYTES);
  }
  std::uint8_t sum = 0;
  for (const std::uint8_t b : *bytes) {
    sum = static_cast<std::uint8_t>(sum + b);
  }
  if (sum != 0) {
    return fmt::format("bad checksum 0x{:02X}, the record's bytes call for 0x{:02X}", bytes->back(),
                       static_cast<std::uint8_t>(bytes->back() - sum));
  }
  record.offset = static_cast<std::uint16_t>((*bytes)[1] << 8 | (*bytes)[2]);
  record.type = (*bytes)[3];
  record.data.assign(bytes->begin() + 4, bytes->end() - 1);
  return {};
}

// What the records read so far amount to; Apply returns the problem with a record, if any.
struct HexReader {
  std::string_view name;
  std::uint64_t base = 0;  // from the last extended address record
  bool segmented = false;  // that record was an extended segment (02) record
  bool ended = false;
  HexRead result;

  std::string Apply(const Record& record, std::size_t lineNumber) {
    switch (record.type) {
      case HEX_DATA:
        return AddData(record, lineNumber);
      case HEX_END:
        ended = true;
        return {};
      case HEX_SEGMENT_ADDRESS:
      case HEX_LINEAR_ADDRESS:
        if (record.data.size() != 2) {
          return "an extended address record holds 2 bytes";
        }
        segmented = record.type == HEX_SEGMENT_ADDRESS;
        base = std::uint64_t{record.data[0]} << 8 | record.data[1];
        base <<= segmented ? 4 : 16;
        return {};
      case HEX_START_SEGMENT:
      case HEX_START_LINEAR:
        return {};
      default:
        return fmt::format("unknown record type 0x{:02X}", record.type);
    }
  }

  // Under a segment record the offset wraps within the 64 KiB segment, as on the 8086.
  std::string AddData(const Record& record, std::size_t lineNumber) {
    const std::span<const std::uint8_t> data = record.data;
    if (segmented && record.offset + data.size() > HEX_WINDOW) {
      const std::size_t head = HEX_WINDOW - record.offset;
      std::string problem = AddBytes(base + record.offset, data.first(head), lineNumber);
      return problem.empty() ? AddBytes(base, data.subspan(head), lineNumber) : problem;
    }
    return AddBytes(base + record.offset, data, lineNumber);
  }

  std::string AddBytes(std::uint64_t address, std::span<const std::uint8_t> data,
                       std::size_t lineNumber) {
    if (data.empty()) {
      return {};
    }
    if (address + data.size() > ADDRESS_SPACE) {
      return "data past address 0xFFFFFFFF";
    }
    auto& pieces = result.pieces;
    if (!pieces.empty() &&
        pieces.back().address + std::uint64_t{pieces.back().bytes.size()} == address) {
      pieces.back().bytes.insert(pieces.back().bytes.end(), data.begin(), data.end());
      return {};
    }
    if (pieces.size() == HEX_PIECES_MAX) {
      return fmt::format(
          "the data fall into more than {} separate ranges (records out of address order or "
          "scattered), far more than an image's {} segments",
          HEX_PIECES_MAX, SEGMENT_ROWS_MAX);
    }
    pieces.push_back({static_cast<std::uint32_t>(address),
                      {data.begin(), data.end()},
                      fmt::format("{} line {}", name, lineNumber)});
    return {};
  }

  // After the end-of-file record only blank lines may follow: anything else is most likely a
  // second file joined on, whose data would otherwise be lost unnoticed.
  std::string Take(std::string_view line, std::size_t lineNumber) {
    if (line.empty()) {
      return {};
    }
    if (ended) {
      return "data after the end-of-file record (two HEX files joined?): give each HEX file as "
             "its own input";
    }
    Record record;
    std::string problem = ParseRecord(line, record);
    return problem.empty() ? Apply(record, lineNumber) : problem;
  }
};

}  // namespace

bool IntelHexWriter::Write(std::uint64_t address, std::span<const std::uint8_t> bytes) {
  if (address + bytes.size() > ADDRESS_SPACE) {
    return false;
  }
  for (std::size_t done = 0; done < bytes.size();) {
    const std::uint64_t at = address + done;
    if (window_ != at / HEX_WINDOW) {
      window_ = at / HEX_WINDOW;
      const std::uint8_t upper[] = {static_cast<std::uint8_t>(*window_ >> 8),
                                    static_cast<std::uint8_t>(*window_)};
      WriteRecord(out_, HEX_LINEAR_ADDRESS, 0, upper);
    }
    // A record never crosses into the next 64 KiB window.
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(
        {HEX_RECORD_DATA_MAX, bytes.size() - done, HEX_WINDOW - at % HEX_WINDOW}));
    WriteRecord(out_, HEX_DATA, static_cast<std::uint16_t>(at % HEX_WINDOW),
                bytes.subspan(done, count));
    done += count;
  }
  return true;
}

void IntelHexWriter::Finish() {
  WriteRecord(out_, HEX_END, 0, {});
}

HexRead ReadIntelHex(std::istream& in, std::string_view name) {
  HexReader reader;
  reader.name = name;
  // A record, a '\r' and the terminating NUL: a longer line is refused before it costs memory.
  std::array<char, HEX_LINE_MAX + 2> buffer{};
  for (std::size_t lineNumber = 1;; ++lineNumber) {
    in.getline(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (in.fail() && in.gcount() == 0) {
      break;
    }
    std::string problem;
    if (in.fail()) {
      problem = "a line longer than any record";
    } else {
      std::string_view line(buffer.data(),
                            static_cast<std::size_t>(in.gcount()) - (in.eof() ? 0 : 1));
      if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);  // written on Windows
      }
      problem = reader.Take(line, lineNumber);
    }
    if (!problem.empty()) {
      return HexRead{{}, fmt::format("{} line {}: {}", name, lineNumber, problem)};
    }
  }
  if (!reader.ended) {
    return HexRead{{}, fmt::format("{}: no end-of-file record; the file may be cut short", name)};
  }
  return std::move(reader.result);
}

}  // namespace tarvex
