#include "platform/device_name.h"

namespace tarvex {

bool IsDeviceName(const std::filesystem::path&) {
  return false;
}

}  // namespace tarvex
