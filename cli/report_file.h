// --report: a file that collects one JSON line per port per run, from every run of every
// tarvex-cli process on the machine, so a production line can prove which fixture got which
// image.
#pragma once

#include <string>
#include <string_view>

#include "platform/os_error.h"

namespace tarvex::cli {

class ReportFile {
 public:
  ReportFile() = default;
  ~ReportFile();
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  // Creates the file or opens it for appending; what was there is kept. Anything but a regular
  // file there (a device, a FIFO) is refused at once, never waited on.
  OsError Open(const std::string& path);
  // Appends `line` and a newline in one write at the end of the file, under an exclusive lock,
  // so that lines from processes sharing the file never interleave or overwrite each other.
  OsError AppendLine(std::string_view line);
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// The machine's name, for the report; empty when it cannot be told.
std::string HostName();

}  // namespace tarvex::cli
