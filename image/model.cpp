#include "image/model.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tarvex {

namespace {

// Fixtures whose names begin with one of these are woken before the download.
constexpr std::array<std::string_view, 8> WAKE_PREFIXES = {
    "7K", "E2", "KORVA T", "VUN D6", "VUN D7", "VUN D8", "H9", "660 RUDO",
};
// Any other fixture is woken when the last byte of its name field is this letter, even when a
// NUL stands before it.
constexpr std::size_t WAKE_MARK_INDEX = 15;
constexpr std::uint8_t WAKE_MARK = 'S';

bool StartsWith(const ModelName& name, std::string_view prefix) {
  return std::equal(prefix.begin(), prefix.end(), name.begin(),
                    [](char p, std::uint8_t n) { return static_cast<std::uint8_t>(p) == n; });
}

}  // namespace

std::uint8_t ClassifyModel(const ModelName& name) {
  const bool listed =
      std::any_of(WAKE_PREFIXES.begin(), WAKE_PREFIXES.end(),
                  [&](std::string_view prefix) { return StartsWith(name, prefix); });
  return (listed || name[WAKE_MARK_INDEX] == WAKE_MARK) ? 1 : 0;
}

std::string ModelText(const ModelName& name) {
  const auto end = std::find(name.begin(), name.end(), std::uint8_t{0});
  return std::string(name.begin(), end);
}

}  // namespace tarvex
