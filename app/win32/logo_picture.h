// The logo as the window draws it: a picture file decoded by GDI+ into a 32-bit bitmap whose
// colours are premultiplied by alpha, drawn 1:1 from a control's top-left corner (blended when
// the picture has alpha, copied otherwise). The window keeps it and draws it again whenever the
// control repaints, so the logo never vanishes.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace tarvex {

class LogoPicture {
 public:
  // The decoded picture, or null when the file is missing or cannot be decoded.
  static std::unique_ptr<LogoPicture> Load(const std::wstring& path);
  ~LogoPicture();
  LogoPicture(const LogoPicture&) = delete;
  LogoPicture& operator=(const LogoPicture&) = delete;

  void Draw(HDC target) const;
  int Width() const { return width_; }
  int Height() const { return height_; }
  bool HasAlpha() const { return hasAlpha_; }

 private:
  LogoPicture(HBITMAP bitmap, int width, int height, bool hasAlpha)
      : bitmap_(bitmap), width_(width), height_(height), hasAlpha_(hasAlpha) {}

  HBITMAP bitmap_;
  int width_;
  int height_;
  bool hasAlpha_;
};

}  // namespace tarvex
