// Values of the 16-bit download state word.
#pragma once

#include <cstdint>

namespace tarvex {

using DownloadState = std::uint16_t;

inline constexpr DownloadState DL_ANNOUNCE = 0;
inline constexpr DownloadState DL_MODEL = 1;
inline constexpr DownloadState DL_SIZE = 2;
inline constexpr DownloadState DL_START = 3;
inline constexpr DownloadState DL_DATA = 4;  // first data step; counts up to DL_DATA_LAST
inline constexpr DownloadState DL_DATA_LAST = 49999;
inline constexpr DownloadState DL_WAKE_BREAK = 50000;
inline constexpr DownloadState DL_WAKE_FRAME = 50001;
inline constexpr DownloadState DL_BLANK = 50002;
inline constexpr DownloadState DL_WAIT_RESET = 60000;
inline constexpr DownloadState DL_DONE = 60001;
inline constexpr DownloadState DL_TEST = 62000;

constexpr bool IsDataState(DownloadState state) {
  return state >= DL_DATA && state <= DL_DATA_LAST;
}

}  // namespace tarvex
