// Where a minimised window draws its icon: centred in the client area, rounding up, with the
// division truncating toward zero (so a client area smaller than the icon gives a negative place).
#pragma once

namespace tarvex {

struct IconOrigin {
  int x = 0;
  int y = 0;
  bool operator==(const IconOrigin&) const = default;
};

constexpr IconOrigin MinimizedIconOrigin(int clientWidth, int clientHeight, int iconWidth,
                                         int iconHeight) {
  return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

}  // namespace tarvex
