// What `info --json` and `unpack`'s manifest both say about an image, written once so that the
// two always agree on every field they share.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "cli/json_output.h"
#include "image/image_loader.h"

namespace tarvex::cli {

// Appends model, needs_wake, payload_length, image_crc, segment_count and segments (file_offset,
// target_address, length per row) to `json`.
void AddImageFields(Json& json, const FirmwareImage& image);

// 8-bit text for a terminal, read as Latin-1; control bytes shown as \xNN so that a crafted
// model name cannot drive the terminal.
std::string DisplayText(std::string_view bytes);

// Says on `err` why the image at `path` did not load, with a fix where the path was wrong, and
// returns the exit status: a file that cannot be opened (missing, a folder) is a usage error,
// EXIT_USAGE; a file that is no valid image is EXIT_BAD_IMAGE.
int SayRejected(std::ostream& err, const std::string& path, const ImageRejection& rejection);

// Says on `err` when segments of `image` lie outside its checked payload (nothing otherwise).
void WarnUncheckedRows(std::ostream& err, const FirmwareImage& image);

}  // namespace tarvex::cli
