#include "ui/logo_file.h"

#include <filesystem>
#include <system_error>

#include "platform/utf8_path.h"
#include "ui/ui_texts.h"

namespace tarvex {

namespace {

bool IsFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

}  // namespace

std::string LogoFileToShow(const std::string& programFolder) {
  if (IsFile(LOGO_FILE) || programFolder.empty()) {
    return LOGO_FILE;
  }
  const std::filesystem::path beside = PathFromUtf8(programFolder) / LOGO_FILE;
  return IsFile(beside) ? Utf8FromPath(beside) : LOGO_FILE;
}

}  // namespace tarvex
