#include "cli/report_file.h"

#include <windows.h>

#include "platform/wide_text.h"

namespace tarvex::cli {

namespace {

OsError LastError() {
  return OsError{std::error_code(static_cast<int>(GetLastError()), std::system_category()), {}};
}

// Held for one record; released at once, also on an early return.
class FileLock {
 public:
  explicit FileLock(HANDLE file) : file_(file) {
    locked_ = LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &overlapped_) != 0;
  }
  ~FileLock() {
    if (locked_) {
      UnlockFileEx(file_, 0, MAXDWORD, MAXDWORD, &overlapped_);
    }
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  HANDLE file_;
  OVERLAPPED overlapped_{};
  bool locked_ = false;
};

}  // namespace

ReportFile::~ReportFile() {
  if (handle_ != nullptr) {
    CloseHandle(handle_);
  }
}

OsError ReportFile::Open(const std::string& path) {
  path_ = path;
  // Append-only access: Windows puts every write at the end of the file, as O_APPEND does.
  HANDLE file = CreateFileW(win32::ToWide(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return LastError();
  }
  // Reserved names (CON, NUL, COM1) open a device, whatever folder they are given in.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return GenericError(std::errc::invalid_argument, "not a regular file");
  }
  handle_ = file;
  return {};
}

OsError ReportFile::AppendLine(std::string_view line) {
  std::string text(line);
  text += '\n';
  FileLock lock(handle_);
  DWORD written = 0;
  if (!WriteFile(handle_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
    return LastError();
  }
  if (written != text.size()) {
    return OsError{std::make_error_code(std::errc::io_error), {}};
  }
  return {};
}

std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (!GetComputerNameW(name, &size)) {
    return {};
  }
  return win32::ToUtf8(std::wstring(name, size));
}

}  // namespace tarvex::cli
