#include "fuzz/line_script.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace tarvex::fuzz {

namespace {

using std::chrono::microseconds;

constexpr std::uint8_t OP_SHORT_CHUNK = 0;
constexpr std::uint8_t OP_LONG_CHUNK = 1;
constexpr std::uint8_t OP_WAIT = 2;
constexpr std::uint8_t OP_SETTINGS = 3;
constexpr std::size_t SHORT_CHUNK_MAX = 63;      // bytes
constexpr std::size_t LONG_CHUNK_MAX = 0x10000;  // bytes
constexpr std::uint32_t COUNT_MAX = 0xFFFF;

constexpr std::array<LineSettings, 10> SETTINGS{{
    {115200, PARITY_CODE_ODD, 1},  // a download's own, first: most of a script needs no change
    {100000, PARITY_CODE_EVEN, 1},
    {250000, PARITY_CODE_NONE, 2},
    {0, PARITY_CODE_NONE, 1},  // not known: not checked
    {100000, PARITY_CODE_NONE, 1},
    {115200, PARITY_CODE_NONE, 1},
    {115200, PARITY_CODE_EVEN, 1},
    {250000, PARITY_CODE_NONE, 1},
    {100000, PARITY_CODE_ODD, 1},
    {9600, PARITY_CODE_NONE, 2},
}};

// Indexed by bits 2..3 of a wait; the writer tries the largest first, for the fewest operations.
constexpr std::array<microseconds, 4> WAIT_UNITS{microseconds{1}, microseconds{1000},
                                                 microseconds{100000}, microseconds{10000000}};
constexpr std::array<double, 4> GAP_SCALES{1.0, 0.01, 0.001, 0.0};
// Waits stop adding up here, a century on: the clock's count never overflows, whatever the input.
constexpr auto TIME_HORIZON = FixtureClock::time_point{} + std::chrono::hours{24 * 365 * 100};

// Reads the input front to back; past its end every read gives zero.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool AtEnd() const { return at_ == bytes_.size(); }
  std::uint8_t Byte() { return AtEnd() ? 0 : bytes_[at_++]; }
  std::uint16_t Count() {
    const std::uint8_t low = Byte();
    return static_cast<std::uint16_t>(low | Byte() << 8);
  }
  std::span<const std::uint8_t> Take(std::size_t count) {
    const std::size_t taken = std::min(count, bytes_.size() - at_);
    at_ += taken;
    return bytes_.subspan(at_ - taken, taken);
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

}  // namespace

std::span<const LineSettings> LineScriptSettings() {
  return SETTINGS;
}

FixtureOptions LineScriptOptions(std::span<const std::uint8_t> script) {
  FixtureOptions options;
  if (script.empty()) {
    return options;
  }
  const std::uint8_t bits = script[0];
  options.parityView = (bits & 1) != 0 ? ParityView::OddOnly : ParityView::Exact;
  options.gapScale = GAP_SCALES[(bits >> 1) & 3];
  if ((bits & 8) != 0) {
    options.gapTolerance = microseconds{0};
  }
  return options;
}

std::uint64_t PlayLineScript(std::span<const std::uint8_t> script, VirtualFixture& fixture) {
  Reader reader(script);
  reader.Byte();  // the options
  auto now = FixtureClock::time_point{} + std::chrono::hours{1};
  LineSettings settings = SETTINGS[0];
  std::uint64_t fed = 0;
  while (!reader.AtEnd()) {
    const std::uint8_t op = reader.Byte();
    std::span<const std::uint8_t> chunk;
    switch (op & 3) {
      case OP_SHORT_CHUNK:
        chunk = reader.Take(op >> 2);
        break;
      case OP_LONG_CHUNK:
        chunk = reader.Take(std::size_t{reader.Count()} + 1);
        break;
      case OP_WAIT:
        now = std::min(now + reader.Count() * WAIT_UNITS[(op >> 2) & 3], TIME_HORIZON);
        continue;
      case OP_SETTINGS:
        settings = SETTINGS[(op >> 2) % SETTINGS.size()];
        continue;
    }
    fixture.Feed(chunk, now, settings);
    fed += chunk.size();
  }
  return fed;
}

void LineScriptWriter::Feed(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const std::size_t count = std::min(bytes.size(), LONG_CHUNK_MAX);
    if (count <= SHORT_CHUNK_MAX) {
      script_.push_back(static_cast<std::uint8_t>(count << 2 | OP_SHORT_CHUNK));
    } else {
      PutOp(OP_LONG_CHUNK, static_cast<std::uint16_t>(count - 1));
    }
    script_.insert(script_.end(), bytes.begin(), bytes.begin() + count);
    bytes = bytes.subspan(count);
  }
}

void LineScriptWriter::Wait(microseconds duration) {
  while (duration.count() > 0) {
    std::size_t unit = WAIT_UNITS.size() - 1;
    while (duration % WAIT_UNITS[unit] != microseconds{0}) {
      --unit;
    }
    const auto count = std::min<std::int64_t>(duration / WAIT_UNITS[unit], COUNT_MAX);
    PutOp(static_cast<std::uint8_t>(unit << 2 | OP_WAIT), static_cast<std::uint16_t>(count));
    duration -= count * WAIT_UNITS[unit];
  }
}

void LineScriptWriter::Settings(const LineSettings& settings) {
  if (settings == settings_) {
    return;
  }
  const auto row = std::find(SETTINGS.begin(), SETTINGS.end(), settings);
  if (row == SETTINGS.end()) {
    throw std::invalid_argument("line settings " + Describe(settings) + " have no row");
  }
  script_.push_back(static_cast<std::uint8_t>((row - SETTINGS.begin()) << 2 | OP_SETTINGS));
  settings_ = settings;
}

void LineScriptWriter::PutOp(std::uint8_t op, std::uint16_t count) {
  script_.insert(script_.end(), {op, static_cast<std::uint8_t>(count & 0xFF),
                                 static_cast<std::uint8_t>(count >> 8)});
}

}  // namespace tarvex::fuzz
