#include "sim/fixture_memory.h"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace tarvex {

namespace {

constexpr std::uint64_t ADDRESS_SPACE = std::uint64_t{1} << 32;
constexpr std::size_t READ_CHUNK = 64 * 1024;  // bytes read from the image at a time

std::string Hex32(std::uint64_t value) {
  return fmt::format("0x{:08X}", value);
}

std::string Hex8(std::uint8_t value) {
  return fmt::format("0x{:02X}", value);
}

std::string DescribeRange(const MemorySegment& segment) {
  return Hex32(segment.address) + " (" + std::to_string(segment.length) + " bytes)";
}

}  // namespace

bool FixtureMemory::Write(std::uint32_t address, std::span<const std::uint8_t> bytes) {
  const std::uint64_t begin = address;
  const std::uint64_t end = begin + bytes.size();
  if (end > ADDRESS_SPACE) {
    return false;
  }
  if (bytes.empty()) {
    return true;
  }
  // Find the first range that overlaps or touches [begin, end).
  auto it = ranges_.upper_bound(begin);
  if (it != ranges_.begin()) {
    auto previous = std::prev(it);
    if (previous->first + previous->second.size() >= begin) {
      it = previous;
    }
  }
  std::uint64_t mergedBegin = begin;
  std::vector<std::uint8_t> merged;
  if (it != ranges_.end() && it->first <= begin) {
    // Appending to the range before keeps a segment written block by block linear in time.
    mergedBegin = it->first;
    merged = std::move(it->second);
    it = ranges_.erase(it);
  }
  if (mergedBegin + merged.size() < end) {
    merged.resize(end - mergedBegin);
  }
  std::copy(bytes.begin(), bytes.end(), merged.begin() + (begin - mergedBegin));
  // Absorb the ranges that start inside or right after the new bytes; the new bytes win.
  while (it != ranges_.end() && it->first <= mergedBegin + merged.size()) {
    const std::uint64_t mergedEnd = mergedBegin + merged.size();
    const std::uint64_t rangeEnd = it->first + it->second.size();
    if (rangeEnd > mergedEnd) {
      merged.insert(merged.end(), it->second.begin() + (mergedEnd - it->first), it->second.end());
    }
    it = ranges_.erase(it);
  }
  ranges_.emplace(mergedBegin, std::move(merged));
  return true;
}

std::vector<MemorySegment> FixtureMemory::Segments() const {
  std::vector<MemorySegment> segments;
  segments.reserve(ranges_.size());
  for (const auto& [address, bytes] : ranges_) {
    segments.push_back({static_cast<std::uint32_t>(address), bytes.size()});
  }
  return segments;
}

std::uint64_t FixtureMemory::TotalBytes() const {
  std::uint64_t total = 0;
  for (const auto& range : ranges_) {
    total += range.second.size();
  }
  return total;
}

ExpectedMemory MemoryOfImage(const FirmwareImage& image) {
  std::ifstream file(image.path, std::ios::binary);
  if (!file) {
    return {std::nullopt, "cannot open " + image.path};
  }
  FixtureMemory memory;
  const std::size_t rows = std::min<std::size_t>(SegmentCount(image.header), SEGMENT_ROWS_MAX);
  std::vector<std::uint8_t> chunk(READ_CHUNK);
  for (std::size_t row = 0; row < rows; ++row) {
    const SegmentEntry segment = SegmentAt(image.header, row);
    if (std::uint64_t{segment.targetAddress} + segment.segmentLength > ADDRESS_SPACE) {
      return {std::nullopt,
              "segment " + std::to_string(row) + " reaches past the top of the address space"};
    }
    file.clear();
    file.seekg(segment.fileOffset);
    for (std::uint32_t done = 0; done < segment.segmentLength;) {
      const auto length = static_cast<std::uint32_t>(
          std::min<std::uint64_t>(READ_CHUNK, segment.segmentLength - done));
      if (!file.read(reinterpret_cast<char*>(chunk.data()), length)) {
        return {std::nullopt,
                "segment " + std::to_string(row) + " reaches past the end of " + image.path};
      }
      memory.Write(segment.targetAddress + done, {chunk.data(), length});
      done += length;
    }
  }
  return {std::move(memory), {}};
}

std::string FirstDifference(const FixtureMemory& received, const FixtureMemory& expected) {
  const auto& got = received.Ranges();
  const auto& want = expected.Ranges();
  auto g = got.begin();
  auto w = want.begin();
  for (; g != got.end() && w != want.end(); ++g, ++w) {
    const MemorySegment gotSegment{static_cast<std::uint32_t>(g->first), g->second.size()};
    const MemorySegment wantSegment{static_cast<std::uint32_t>(w->first), w->second.size()};
    if (gotSegment != wantSegment) {
      return "received range " + DescribeRange(gotSegment) + ", expected " +
             DescribeRange(wantSegment);
    }
    const auto [gotByte, wantByte] =
        std::mismatch(g->second.begin(), g->second.end(), w->second.begin());
    if (gotByte != g->second.end()) {
      return "byte at " + Hex32(g->first + (gotByte - g->second.begin())) + " is " +
             Hex8(*gotByte) + ", expected " + Hex8(*wantByte);
    }
  }
  if (g != got.end()) {
    return "received range " +
           DescribeRange({static_cast<std::uint32_t>(g->first), g->second.size()}) +
           " that the image does not hold";
  }
  if (w != want.end()) {
    return "range " + DescribeRange({static_cast<std::uint32_t>(w->first), w->second.size()}) +
           " was not received";
  }
  return {};
}

}  // namespace tarvex
