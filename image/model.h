// Model names: which fixtures need the wake-up sequence, and the name as text.
#pragma once

#include <cstdint>
#include <string>

#include "image/image_format.h"

namespace tarvex {

// 1 when the fixture must be woken before the download, else 0.
std::uint8_t ClassifyModel(const ModelName& name);

// The raw bytes up to the first NUL (all 16 when there is none), undecoded 8-bit text.
std::string ModelText(const ModelName& name);

}  // namespace tarvex
