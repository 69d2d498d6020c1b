// The texts a job shows, exactly as the fixture's technicians know them.
#pragma once

#include <cstdint>
#include <string>

namespace tarvex {

// Status label.
inline constexpr char TEXT_WAKE_BREAK[] = "Start 1...";
inline constexpr char TEXT_WAKE_FRAME[] = "Start 2...";
inline constexpr char TEXT_ANNOUNCE[] = "QORVAL...";
inline constexpr char TEXT_START[] = "Start...";
inline constexpr char TEXT_DOWNLOADING[] = "Downloading... ";  // followed by "2/3"
inline constexpr char TEXT_WAIT_RESET[] = "Waitting for Reset...";
inline constexpr char TEXT_COMPLETE[] = "Download Complete!";
inline constexpr char TEXT_TEST_SENT[] = "Send Test Code !";

// Messages.
inline constexpr char TEXT_OPEN_FAIL[] = "Open CommPort Fail";
inline constexpr char TEXT_THREAD_FAIL[] = "Thread Fail";
inline constexpr char TEXT_WRITE_FAIL[] = "Write CommPort Fail";
inline constexpr char TEXT_FILE_ERROR[] =
    "\xE6\x96\x87\xE4\xBB\xB6\xE5\x87\xBA\xE9\x94\x99";  // 文件出错

// "Downloading... 2/3": the data of segment `index` (from 1) of `count` are going out.
std::string SegmentText(std::uint32_t index, std::uint32_t count);

}  // namespace tarvex
