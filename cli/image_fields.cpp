#include "cli/image_fields.h"

#include <fmt/format.h>

#include "cli/commands.h"
#include "image/unchecked_rows.h"

namespace tarvex::cli {

int SayRejected(std::ostream& err, const std::string& path, const ImageRejection& rejection) {
  const bool wrongPath = rejection.reason == ImageError::CannotOpen;
  err << "tarvex-cli: " << path << ": " << rejection.message
      << (wrongPath ? "; check the path: it must name an image file (.zfr)" : "") << '\n';
  return wrongPath ? EXIT_USAGE : EXIT_BAD_IMAGE;
}

void WarnUncheckedRows(std::ostream& err, const FirmwareImage& image) {
  const std::string warning = UncheckedRowsWarning(image.header);
  if (!warning.empty()) {
    err << "tarvex-cli: " << image.path << ": " << warning << '\n';
  }
}

void AddImageFields(Json& json, const FirmwareImage& image) {
  const ImageHeader& header = image.header;
  const std::uint32_t count = SegmentCount(header);
  json["model"] = Latin1ToUtf8(image.modelText);
  json["needs_wake"] = image.needsWake;
  json["payload_length"] = PayloadLength(header);
  json["image_crc"] = ImageCrcField(header);
  json["segment_count"] = count;
  Json segments = Json::array();
  for (std::uint32_t i = 0; i < count; ++i) {
    const SegmentEntry row = SegmentAt(header, i);
    segments.push_back({{"file_offset", row.fileOffset},
                        {"target_address", row.targetAddress},
                        {"length", row.segmentLength}});
  }
  json["segments"] = std::move(segments);
}

std::string DisplayText(std::string_view bytes) {
  std::string text;
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || (b >= 0x7F && b < 0xA0)) {
      text += fmt::format("\\x{:02X}", b);
    } else {
      text += Latin1ToUtf8(std::string_view(&c, 1));
    }
  }
  return text;
}

}  // namespace tarvex::cli
