#include "sim/virtual_fixture.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "image/model.h"
#include "protocol/frames.h"
#include "protocol/packet_crc.h"

namespace tarvex {

namespace {

using std::chrono::milliseconds;

constexpr std::size_t BREAK_SIZE = 1;
constexpr std::size_t ANNOUNCE_SIZE = 5 + MODEL_NAME_SIZE;
constexpr std::size_t MODEL_FRAME_SIZE = 1 + MODEL_NAME_SIZE + 2;
constexpr std::size_t SIZE_FRAME_SIZE = 7;
constexpr std::size_t START_SIZE = 5;
constexpr std::size_t END_SIZE = 3;
constexpr std::size_t TEST_CODE_SIZE = 16;
constexpr std::size_t BLOCK_HEADER_SIZE = 7;  // command byte, address, length
constexpr std::size_t CRC_SIZE = 2;
constexpr std::size_t WAKE_FILL_SIZE = 512;              // bytes of 0xFB before the free last byte
constexpr std::size_t BLANK_TEXT_SIZE = 7;               // "ZEFRA" and two spaces
constexpr std::size_t BLANK_ZEROS_FROM = 8;              // byte 7 is free, the rest is zero
constexpr std::uint32_t PAYLOAD_MIN = SEGMENT_ROW_SIZE;  // bytes: a payload holds one row at least
// The size frame's 32 bits can declare no more than an image may hold, so no length is too large.
static_assert(PAYLOAD_LENGTH_MAX == std::numeric_limits<std::uint32_t>::max());

constexpr std::string_view ANNOUNCE_TEXT = "ZEFRA";
constexpr std::string_view BLANK_TEXT = "ZEFRA  ";
constexpr std::string_view START_TEXT = "TRATS";
constexpr std::string_view END_TEXT = "END";

constexpr LineSettings BREAK_SETTINGS{100000, PARITY_CODE_EVEN, 1};
constexpr LineSettings WAKE_SETTINGS{250000, PARITY_CODE_NONE, 2};
constexpr LineSettings DOWNLOAD_SETTINGS{115200, PARITY_CODE_ODD, 1};

// What this fixture's loader needs between the end of one frame and the start of the next.
constexpr milliseconds GAP_BEFORE_WAKE{1000};
constexpr milliseconds GAP_AFTER_WAKE{100};
constexpr milliseconds GAP_BEFORE_BLANK{10000};
constexpr milliseconds GAP_BEFORE_MODEL{1000};
constexpr milliseconds GAP_BEFORE_SIZE{20};
constexpr milliseconds GAP_BEFORE_START{20};
constexpr milliseconds GAP_BEFORE_FIRST_DATA{20000};
constexpr milliseconds GAP_BETWEEN_DATA{100};
// A frame goes out in one write, so its bytes follow each other closely; a frame that has been
// quiet this long was cut short (the sender stopped), and the loader listens for a new one.
// Unscaled: far below the time a person takes to start another download, far above the delays
// of a reader thread on a busy machine.
constexpr milliseconds FRAME_QUIET_MAX{500};

const LineSettings& RequiredSettings(FixtureFrame frame) {
  switch (frame) {
    case FixtureFrame::BreakByte:
      return BREAK_SETTINGS;
    case FixtureFrame::WakeFrame:
      return WAKE_SETTINGS;
    default:
      return DOWNLOAD_SETTINGS;
  }
}

bool SettingsMatch(const LineSettings& required, const LineSettings& seen, ParityView view) {
  const bool parityMatches = view == ParityView::Exact ? required.parity == seen.parity
                                                       : (required.parity == PARITY_CODE_ODD) ==
                                                             (seen.parity == PARITY_CODE_ODD);
  return required.baud == seen.baud && required.stopBits == seen.stopBits && parityMatches;
}

// 0 while the length depends on bytes not yet seen (a block's data length).
std::size_t FixedLength(FixtureFrame frame) {
  switch (frame) {
    case FixtureFrame::BreakByte:
      return BREAK_SIZE;
    case FixtureFrame::WakeFrame:
      return WAKE_FRAME_SIZE;
    case FixtureFrame::AnnounceFrame:
      return ANNOUNCE_SIZE;
    case FixtureFrame::BlankFrame:
      return BLANK_FRAME_SIZE;
    case FixtureFrame::ModelFrame:
      return MODEL_FRAME_SIZE;
    case FixtureFrame::SizeFrame:
      return SIZE_FRAME_SIZE;
    case FixtureFrame::StartFrame:
      return START_SIZE;
    case FixtureFrame::BlockFrame:
      return 0;
    case FixtureFrame::EndFrame:
      return END_SIZE;
    case FixtureFrame::TestCode:
      return TEST_CODE_SIZE;
  }
  return 0;
}

std::uint16_t ReadLe16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

bool StartsWith(const std::vector<std::uint8_t>& bytes, std::string_view text) {
  return bytes.size() >= text.size() && std::memcmp(bytes.data(), text.data(), text.size()) == 0;
}

std::string Hex(std::uint32_t value, int digits) {
  return fmt::format("0x{:0{}X}", value, digits);
}

std::string Millis(std::chrono::microseconds duration) {
  return fmt::format("{:.1f} ms", static_cast<double>(duration.count()) / 1000);
}

// A pseudo-terminal cannot tell even parity from none, so neither does the text.
std::string DescribeSeen(const LineSettings& settings, ParityView view) {
  if (view == ParityView::OddOnly && settings.parity != PARITY_CODE_ODD) {
    return std::to_string(settings.baud) + " 8(N or E)" + std::to_string(settings.stopBits);
  }
  return Describe(settings);
}

ModelName ModelAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  ModelName model{};
  std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), MODEL_NAME_SIZE, model.begin());
  return model;
}

std::string Quoted(const ModelName& model) {
  return "\"" + ModelText(model) + "\"";
}

// How many of the ascending indices `marked` lie in [from, to).
std::size_t CountMarked(std::span<const std::size_t> marked, std::size_t from, std::size_t to) {
  return from >= to
             ? 0
             : static_cast<std::size_t>(std::lower_bound(marked.begin(), marked.end(), to) -
                                        std::lower_bound(marked.begin(), marked.end(), from));
}

}  // namespace

std::string_view FrameName(FixtureFrame frame) {
  switch (frame) {
    case FixtureFrame::BreakByte:
      return "BreakByte";
    case FixtureFrame::WakeFrame:
      return "WakeFrame";
    case FixtureFrame::AnnounceFrame:
      return "AnnounceFrame";
    case FixtureFrame::BlankFrame:
      return "BlankFrame";
    case FixtureFrame::ModelFrame:
      return "ModelFrame";
    case FixtureFrame::SizeFrame:
      return "SizeFrame";
    case FixtureFrame::StartFrame:
      return "StartFrame";
    case FixtureFrame::BlockFrame:
      return "BlockFrame";
    case FixtureFrame::EndFrame:
      return "EndFrame";
    case FixtureFrame::TestCode:
      return "TestCode";
  }
  return "?";
}

VirtualFixture::VirtualFixture(FixtureOptions options) : options_(options) {}

void VirtualFixture::Feed(std::span<const std::uint8_t> bytes, FixtureClock::time_point arrival,
                          const LineSettings& settings, std::span<const std::size_t> marked,
                          std::optional<FixtureClock::time_point> writtenFrom) {
  if (!bytes.empty() && !firstByte_) {
    firstByte_ = arrival;
  }
  if (!bytes.empty() && pending_ && arrival - pending_->end > FRAME_QUIET_MAX) {
    DropQuietFrame();
  }
  std::size_t used = 0;
  while (used < bytes.size()) {
    const bool heldLow = !pending_ && bytes[used] == 0 && CountMarked(marked, used, used + 1) != 0;
    const LineSettings& seen = heldLow ? BREAK_SETTINGS : settings;
    if (!pending_) {
      const auto frame = Recognise(bytes[used], seen);
      if (!frame) {
        NoteUnknownByte(arrival, bytes[used]);
        ++used;
        continue;
      }
      FlushUnknownBytes();
      BeginFrame(*frame, arrival);
    }
    const std::size_t taken =
        TakeBytes(bytes.subspan(used), arrival, writtenFrom.value_or(arrival), seen);
    if (pending_) {
      pending_->lineErrors += CountMarked(marked, heldLow ? used + 1 : used, used + taken);
    }
    used += taken;
    if (pending_ && pending_->length != 0 && pending_->bytes.size() == pending_->length) {
      CompleteFrame();
    }
  }
}

// The line has no framing: a frame is known by its first byte and by what the loader expects.
// A zero byte at the break's speed starts a new download even in the middle of one; so does one at
// settings the line cannot tell, as no frame of a download starts with a zero byte.
std::optional<FixtureFrame> VirtualFixture::Recognise(std::uint8_t first,
                                                      const LineSettings& settings) const {
  switch (first) {
    case 0x00:
      return now_.phase == Phase::Idle ||
                     (DownloadUnderWay() &&
                      (settings.baud == BREAK_SETTINGS.baud || settings.baud == 0))
                 ? std::optional(FixtureFrame::BreakByte)
                 : std::nullopt;
    case WAKE_FILL:
      return now_.phase == Phase::Idle || now_.phase == Phase::AfterBreak
                 ? std::optional(FixtureFrame::WakeFrame)
                 : std::nullopt;
    case 'Z':
      return now_.phase == Phase::AfterAnnounce ? FixtureFrame::BlankFrame
                                                : FixtureFrame::AnnounceFrame;
    case CMD_MODEL:
      return FixtureFrame::ModelFrame;
    case CMD_SIZE:
      return FixtureFrame::SizeFrame;
    case 'T':
      return FixtureFrame::StartFrame;
    case CMD_BLOCK:
      return FixtureFrame::BlockFrame;
    case 'E':
      return FixtureFrame::EndFrame;
    default:
      return std::nullopt;
  }
}

void VirtualFixture::BeginFrame(FixtureFrame frame, FixtureClock::time_point arrival) {
  // Not emplace(): clang does not yet see the nested struct as default-constructible there.
  pending_ = Pending{};
  pending_->frame = frame;
  pending_->length = FixedLength(frame);
  pending_->start = arrival;
  pending_->end = arrival;
}

std::size_t VirtualFixture::TakeBytes(std::span<const std::uint8_t> bytes,
                                      FixtureClock::time_point arrival,
                                      FixtureClock::time_point writtenFrom,
                                      const LineSettings& settings) {
  Pending& frame = *pending_;
  if (settings.baud != 0 && !frame.wrongSettings &&
      !SettingsMatch(RequiredSettings(frame.frame), settings, options_.parityView)) {
    frame.wrongSettings = settings;
  }
  const std::size_t take = std::min(Wanted() - frame.bytes.size(), bytes.size());
  frame.bytes.insert(frame.bytes.end(), bytes.begin(), bytes.begin() + take);
  frame.end = arrival;
  frame.endFrom = writtenFrom;
  Reclassify();
  if (frame.length == 0 && frame.bytes.size() == BLOCK_HEADER_SIZE) {
    const std::uint16_t dataLength = ReadLe16(&frame.bytes[5]);
    if (dataLength > BLOCK_DATA_MAX) {
      // The length cannot be trusted, so neither can the frame's end: drop the header.
      AddFault(
          FaultKind::BadContent, frame.start,
          "BlockFrame announces " + std::to_string(dataLength) + " data bytes, more than 1024");
      now_.lineBytes += frame.bytes.size();
      pending_.reset();
      return take;
    }
    frame.length = BLOCK_HEADER_SIZE + dataLength + CRC_SIZE;
  }
  return take;
}

// How many bytes the pending frame should hold before it is looked at again. "ZEFRA" begins
// three frames: the blank frame is told by the two spaces after it, the test code by its length.
std::size_t VirtualFixture::Wanted() const {
  const Pending& frame = *pending_;
  if (frame.frame == FixtureFrame::BlankFrame && frame.bytes.size() < BLANK_TEXT_SIZE) {
    return BLANK_TEXT_SIZE;
  }
  if (frame.frame == FixtureFrame::AnnounceFrame && now_.phase != Phase::Finished &&
      frame.bytes.size() < TEST_CODE_SIZE) {
    return TEST_CODE_SIZE;
  }
  return frame.length != 0 ? frame.length : BLOCK_HEADER_SIZE;
}

void VirtualFixture::Reclassify() {
  Pending& frame = *pending_;
  if (frame.frame == FixtureFrame::BlankFrame && frame.bytes.size() == BLANK_TEXT_SIZE &&
      StartsWith(frame.bytes, ANNOUNCE_TEXT) && !StartsWith(frame.bytes, BLANK_TEXT)) {
    // Where the blank frame is due, a new announce frame (or test code) means a new download.
    frame.frame = FixtureFrame::AnnounceFrame;
    frame.length = ANNOUNCE_SIZE;
  }
  if (frame.frame == FixtureFrame::AnnounceFrame && frame.bytes.size() == TEST_CODE_SIZE) {
    const tarvex::Frame testCode = tarvex::TestCode();
    if (std::equal(frame.bytes.begin(), frame.bytes.end(), testCode.bytes().begin())) {
      frame.frame = FixtureFrame::TestCode;
      frame.length = TEST_CODE_SIZE;
    }
  }
}

// The rest of a cut frame never comes: the loader forgets it, and what follows is a new frame.
void VirtualFixture::DropQuietFrame() {
  now_.faults.push_back(QuietFrameFault());
  now_.lineBytes += pending_->bytes.size();
  now_.downloadBegun = true;
  pending_.reset();
}

FixtureFault VirtualFixture::QuietFrameFault() const {
  const std::string expected =
      pending_->length != 0 ? " of " + std::to_string(pending_->length) : "";
  return {FaultKind::Incomplete, Since(pending_->start),
          "the line went quiet inside a " + std::string(FrameName(pending_->frame)) + " after " +
              std::to_string(pending_->bytes.size()) + expected + " bytes"};
}

void VirtualFixture::NoteUnknownByte(FixtureClock::time_point arrival, std::uint8_t value) {
  if (unknownRun_ == 0) {
    unknownStart_ = arrival;
    unknownFirst_ = value;
  }
  ++unknownRun_;
}

FixtureFault VirtualFixture::UnknownBytesFault() const {
  const std::string where = now_.phase == Phase::Finished ? " after EndFrame" : "";
  return {FaultKind::UnknownBytes, Since(unknownStart_),
          std::to_string(unknownRun_) + " byte(s)" + where + " that start no frame, the first " +
              Hex(unknownFirst_, 2)};
}

void VirtualFixture::FlushUnknownBytes() {
  if (unknownRun_ != 0) {
    now_.faults.push_back(UnknownBytesFault());
    now_.lineBytes += unknownRun_;
    unknownRun_ = 0;
  }
}

void VirtualFixture::CompleteFrame() {
  const FixtureFrame frame = pending_->frame;
  if (StartsNewExchange(frame)) {
    CloseExchange(frame);
  }
  ++now_.frames;
  now_.lineBytes += pending_->bytes.size();
  if (frame == FixtureFrame::TestCode) {
    // Not part of a download: the loader stays where it was.
    CheckSettings();
    CheckLineErrors();
    ++now_.testCodes;
    pending_.reset();
    return;
  }
  CheckOrder(frame);
  CheckGap(frame);
  CheckSettings();
  CheckLineErrors();
  CheckContent();
  now_.downloadBegun = true;
  now_.lastFrame = frame;
  now_.lastFrameEnd = pending_->endFrom;
  now_.phase = PhaseAfter(frame);
  pending_.reset();
}

// A fixture that is reset mid-download listens for a new one: a break byte, an announce frame
// where none is due, or a test code. A finished download keeps its place, so that frames after
// its end are seen as such.
bool VirtualFixture::StartsNewExchange(FixtureFrame frame) const {
  if (!DownloadUnderWay()) {
    return false;
  }
  switch (frame) {
    case FixtureFrame::BreakByte:
    case FixtureFrame::TestCode:
      return true;
    case FixtureFrame::AnnounceFrame:
      return now_.phase != Phase::AfterWake;
    default:
      return false;
  }
}

void VirtualFixture::CloseExchange(FixtureFrame next) {
  ExchangeVerdict partial = Summary(now_);
  const std::string reached = now_.lastFrame
                                  ? "after its " + std::string(FrameName(*now_.lastFrame))
                                  : "in its first frame";
  partial.faults.push_back(
      {FaultKind::Incomplete, Since(pending_->start),
       "interrupted " + reached + ": " +
           (next == FixtureFrame::TestCode ? "a test code" : "a new download") + " began"});
  interrupted_.push_back(std::move(partial));
  now_ = {};
}

VirtualFixture::Phase VirtualFixture::PhaseAfter(FixtureFrame frame) {
  switch (frame) {
    case FixtureFrame::BreakByte:
      return Phase::AfterBreak;
    case FixtureFrame::WakeFrame:
      return Phase::AfterWake;
    case FixtureFrame::AnnounceFrame:
      return Phase::AfterAnnounce;
    case FixtureFrame::BlankFrame:
      return Phase::AfterBlank;
    case FixtureFrame::ModelFrame:
      return Phase::AfterModel;
    case FixtureFrame::SizeFrame:
      return Phase::AfterSize;
    case FixtureFrame::StartFrame:
      return Phase::AfterStart;
    case FixtureFrame::BlockFrame:
      return Phase::InData;
    case FixtureFrame::EndFrame:
      return Phase::Finished;
    case FixtureFrame::TestCode:
      break;
  }
  return Phase::Idle;
}

void VirtualFixture::CheckOrder(FixtureFrame frame) {
  std::string expected;
  switch (now_.phase) {
    case Phase::Idle:
      if (frame == FixtureFrame::BreakByte || frame == FixtureFrame::AnnounceFrame) {
        return;
      }
      expected = "BreakByte or AnnounceFrame";
      break;
    case Phase::AfterStart:
    case Phase::InData:
      if (frame == FixtureFrame::BlockFrame || frame == FixtureFrame::EndFrame) {
        return;
      }
      expected = "BlockFrame or EndFrame";
      break;
    case Phase::Finished:
      AddFault(FaultKind::WrongOrder, pending_->start,
               std::string(FrameName(frame)) + " after EndFrame");
      return;
    default: {
      // Indexed by Phase: every other phase is left by exactly one frame.
      static constexpr std::array NEXT{FixtureFrame::BreakByte,     FixtureFrame::WakeFrame,
                                       FixtureFrame::AnnounceFrame, FixtureFrame::BlankFrame,
                                       FixtureFrame::ModelFrame,    FixtureFrame::SizeFrame,
                                       FixtureFrame::StartFrame};
      const FixtureFrame due = NEXT[static_cast<std::size_t>(now_.phase)];
      if (frame == due) {
        return;
      }
      expected = FrameName(due);
    }
  }
  AddFault(FaultKind::WrongOrder, pending_->start,
           std::string(FrameName(frame)) + " where " + expected + " was expected");
}

void VirtualFixture::CheckGap(FixtureFrame frame) {
  if (!now_.lastFrameEnd) {
    return;
  }
  milliseconds minimum{0};
  switch (frame) {
    case FixtureFrame::BreakByte:
    case FixtureFrame::TestCode:
      break;
    case FixtureFrame::WakeFrame:
      minimum = GAP_BEFORE_WAKE;
      break;
    case FixtureFrame::AnnounceFrame:
      minimum = now_.lastFrame == FixtureFrame::WakeFrame ? GAP_AFTER_WAKE : milliseconds{0};
      break;
    case FixtureFrame::BlankFrame:
      minimum = GAP_BEFORE_BLANK;
      break;
    case FixtureFrame::ModelFrame:
      minimum = GAP_BEFORE_MODEL;
      break;
    case FixtureFrame::SizeFrame:
      minimum = GAP_BEFORE_SIZE;
      break;
    case FixtureFrame::StartFrame:
      minimum = GAP_BEFORE_START;
      break;
    case FixtureFrame::BlockFrame:
    case FixtureFrame::EndFrame:
      minimum = now_.dataFrames == 0 ? GAP_BEFORE_FIRST_DATA : GAP_BETWEEN_DATA;
      break;
  }
  const auto required =
      std::chrono::duration_cast<std::chrono::microseconds>(minimum * options_.gapScale);
  const auto gap =
      std::chrono::duration_cast<std::chrono::microseconds>(pending_->start - *now_.lastFrameEnd);
  if (required.count() > 0 && gap + options_.gapTolerance < required) {
    AddFault(FaultKind::GapTooShort, pending_->start,
             std::string(FrameName(frame)) + " came " + Millis(gap) + " after " +
                 std::string(FrameName(*now_.lastFrame)) + "; the fixture needs " +
                 Millis(required));
  }
}

void VirtualFixture::CheckSettings() {
  if (pending_->wrongSettings) {
    AddFault(FaultKind::WrongLineSettings, pending_->start,
             std::string(FrameName(pending_->frame)) + " arrived at " +
                 DescribeSeen(*pending_->wrongSettings, options_.parityView) +
                 "; it must come at " + Describe(RequiredSettings(pending_->frame)));
  }
}

void VirtualFixture::CheckLineErrors() {
  if (pending_->lineErrors != 0) {
    AddFault(FaultKind::LineErrors, pending_->start,
             std::string(FrameName(pending_->frame)) + ": " + std::to_string(pending_->lineErrors) +
                 " byte(s) came with a framing or parity error");
  }
}

// One check per frame kind; each also notes what the frame tells the loader.
void VirtualFixture::CheckContent() {
  using Check = void (VirtualFixture::*)();
  // Indexed by FixtureFrame. A test code never gets here: it is handled before the download's
  // checks.
  static constexpr std::array<Check, 10> CHECKS{
      &VirtualFixture::CheckBreak,      &VirtualFixture::CheckWake,
      &VirtualFixture::CheckAnnounce,   &VirtualFixture::CheckBlank,
      &VirtualFixture::CheckModelFrame, &VirtualFixture::CheckSizeFrame,
      &VirtualFixture::CheckStart,      &VirtualFixture::CheckBlock,
      &VirtualFixture::CheckEnd,        &VirtualFixture::CheckNothing};
  static_assert(CHECKS.size() == static_cast<std::size_t>(FixtureFrame::TestCode) + 1);
  (this->*CHECKS[static_cast<std::size_t>(pending_->frame)])();
}

void VirtualFixture::CheckBreak() {
  now_.breakSeen = true;
}

void VirtualFixture::CheckWake() {
  const std::vector<std::uint8_t>& bytes = pending_->bytes;
  if (std::any_of(bytes.begin(), bytes.begin() + WAKE_FILL_SIZE,
                  [](std::uint8_t b) { return b != WAKE_FILL; })) {
    BadContent("bytes 0 to 511 must all be 0xFB");
  }
  now_.wakeSeen = now_.breakSeen;
}

void VirtualFixture::CheckAnnounce() {
  ExpectText(ANNOUNCE_TEXT, "does not start with \"ZEFRA\"");
  now_.announcedModel = ModelAt(pending_->bytes, ANNOUNCE_TEXT.size());
}

void VirtualFixture::CheckBlank() {
  const std::vector<std::uint8_t>& bytes = pending_->bytes;
  if (!StartsWith(bytes, BLANK_TEXT) || std::any_of(bytes.begin() + BLANK_ZEROS_FROM, bytes.end(),
                                                    [](std::uint8_t b) { return b != 0; })) {
    BadContent("must be \"ZEFRA\", two spaces, one free byte and 92 zero bytes");
  }
}

void VirtualFixture::CheckModelFrame() {
  if (!CheckCrc(FrameName(FixtureFrame::ModelFrame))) {
    return;
  }
  const ModelName model = ModelAt(pending_->bytes, 1);
  now_.modelFrameModel = model;
  if (now_.announcedModel && *now_.announcedModel != model) {
    AddFault(FaultKind::ModelMismatch, pending_->start,
             "ModelFrame names " + Quoted(model) + " but AnnounceFrame named " +
                 Quoted(*now_.announcedModel));
  }
}

void VirtualFixture::CheckSizeFrame() {
  if (!CheckCrc(FrameName(FixtureFrame::SizeFrame))) {
    return;
  }
  const std::uint32_t size = ReadLe32(&pending_->bytes[1]);
  now_.announcedSize = size;
  if (size < PAYLOAD_MIN) {
    AddFault(FaultKind::ImplausibleSize, pending_->start,
             "SizeFrame announces a payload of " + std::to_string(size) + " bytes");
  }
}

void VirtualFixture::CheckStart() {
  ExpectText(START_TEXT, "must be \"TRATS\"");
}

void VirtualFixture::CheckEnd() {
  ExpectText(END_TEXT, "must be \"END\"");
  ++now_.dataFrames;
  now_.endSeen = true;
  if (now_.announcedSize && now_.dataBytes > *now_.announcedSize) {
    AddFault(FaultKind::ImplausibleSize, pending_->start,
             "the blocks carried " + std::to_string(now_.dataBytes) + " bytes, more than the " +
                 std::to_string(*now_.announcedSize) + " that SizeFrame announced");
  }
}

void VirtualFixture::CheckNothing() {}

void VirtualFixture::ExpectText(std::string_view text, std::string_view what) {
  if (!StartsWith(pending_->bytes, text)) {
    BadContent(what);
  }
}

void VirtualFixture::BadContent(std::string_view what) {
  AddFault(FaultKind::BadContent, pending_->start,
           std::string(FrameName(pending_->frame)) + ": " + std::string(what));
}

void VirtualFixture::CheckBlock() {
  const std::vector<std::uint8_t>& bytes = pending_->bytes;
  ++now_.blocks;
  ++now_.dataFrames;
  const std::uint32_t address = ReadLe32(&bytes[1]);
  const std::span<const std::uint8_t> data(bytes.data() + BLOCK_HEADER_SIZE,
                                           bytes.size() - BLOCK_HEADER_SIZE - CRC_SIZE);
  const std::string name = "BlockFrame at " + Hex(address, 8);
  if (!CheckCrc(name)) {
    return;  // the loader drops a block it cannot trust
  }
  if (!now_.memory.Write(address, data)) {
    AddFault(FaultKind::BadContent, pending_->start,
             name + ": its " + std::to_string(data.size()) +
                 " bytes reach past the top of the address space");
    return;
  }
  now_.dataBytes += data.size();
}

bool VirtualFixture::CheckCrc(std::string_view what) {
  const std::vector<std::uint8_t>& bytes = pending_->bytes;
  const auto covered = static_cast<std::uint32_t>(bytes.size() - CRC_SIZE);
  const std::uint16_t stored = ReadLe16(&bytes[covered]);
  const std::uint16_t computed = PacketCrc16(bytes.data(), covered);
  if (stored == computed) {
    return true;
  }
  AddFault(
      FaultKind::BadCrc, pending_->start,
      std::string(what) + ": CRC-16 is " + Hex(stored, 4) + ", its bytes give " + Hex(computed, 4));
  return false;
}

void VirtualFixture::AddFault(FaultKind kind, FixtureClock::time_point when, std::string text) {
  now_.faults.push_back({kind, Since(when), std::move(text)});
}

std::chrono::microseconds VirtualFixture::Since(FixtureClock::time_point when) const {
  return firstByte_ ? std::chrono::duration_cast<std::chrono::microseconds>(when - *firstByte_)
                    : std::chrono::microseconds{0};
}

// The wake frame alone comes at its own settings; the break byte shows as a break at any faster
// receiver, so the loader listens at the download's settings from the start.
LineSettings VirtualFixture::NextSettings() const {
  return now_.phase == Phase::AfterBreak ? WAKE_SETTINGS : DOWNLOAD_SETTINGS;
}

bool VirtualFixture::TestCodeWaiting() const {
  return now_.testCodes != 0 && !now_.downloadBegun && !pending_;
}

ExchangeVerdict VirtualFixture::Summary(const Exchange& exchange) const {
  ExchangeVerdict verdict;
  verdict.kind = exchange.downloadBegun    ? ExchangeKind::Download
                 : exchange.testCodes != 0 ? ExchangeKind::TestCode
                                           : ExchangeKind::Nothing;
  verdict.anythingReceived = firstByte_.has_value();
  verdict.model = exchange.announcedModel ? exchange.announcedModel : exchange.modelFrameModel;
  verdict.modelText = verdict.model ? ModelText(*verdict.model) : std::string{};
  verdict.wakeSeen = exchange.wakeSeen;
  verdict.endSeen = exchange.endSeen;
  verdict.announcedSize = exchange.announcedSize;
  verdict.segments = exchange.memory.Segments();
  verdict.totalBytes = exchange.memory.TotalBytes();
  verdict.blocks = exchange.blocks;
  verdict.testCodes = exchange.testCodes;
  verdict.frames = exchange.frames;
  verdict.lineBytes = exchange.lineBytes;
  verdict.lastFrame = exchange.lastFrame;
  verdict.faults = exchange.faults;
  return verdict;
}

FixtureVerdict VirtualFixture::Verdict() const {
  FixtureVerdict verdict{Summary(now_), interrupted_};
  verdict.lineBytes += unknownRun_ + (pending_ ? pending_->bytes.size() : 0);
  if (unknownRun_ != 0) {
    verdict.faults.push_back(UnknownBytesFault());
  }
  if (pending_) {
    verdict.faults.push_back(QuietFrameFault());
  }
  // Test codes alone are a whole exchange; anything else must end with the end frame.
  if (!now_.endSeen && verdict.kind != ExchangeKind::TestCode) {
    verdict.faults.push_back(
        {FaultKind::Incomplete,
         now_.lastFrameEnd ? Since(*now_.lastFrameEnd) : std::chrono::microseconds{0},
         verdict.anythingReceived ? "no EndFrame arrived: the download did not finish"
                                  : "nothing arrived"});
  }
  return verdict;
}

std::vector<std::string> CompareWithImage(const FixtureVerdict& verdict,
                                          const FixtureMemory& received,
                                          const FirmwareImage& image) {
  std::vector<std::string> differences;
  if (!verdict.model) {
    differences.push_back("no model name arrived");
  } else if (*verdict.model != image.modelName) {
    differences.push_back("model " + Quoted(*verdict.model) + " arrived, the image is for " +
                          Quoted(image.modelName));
  }
  const std::uint32_t payloadLength = PayloadLength(image.header);
  if (!verdict.announcedSize) {
    differences.push_back("no payload length arrived");
  } else if (*verdict.announcedSize != payloadLength) {
    differences.push_back("payload length " + std::to_string(*verdict.announcedSize) +
                          " arrived, the image's is " + std::to_string(payloadLength));
  }
  if (verdict.wakeSeen != image.needsWake) {
    differences.push_back(image.needsWake ? "the image needs the wake-up, but none came"
                                          : "a wake-up came, but the image needs none");
  }
  const ExpectedMemory expected = MemoryOfImage(image);
  if (!expected.memory) {
    differences.push_back(expected.error);
  } else if (std::string difference = FirstDifference(received, *expected.memory);
             !difference.empty()) {
    differences.push_back(std::move(difference));
  }
  return differences;
}

}  // namespace tarvex
