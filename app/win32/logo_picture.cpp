#include "app/win32/logo_picture.h"

#include <cstring>
#include <span>

#include "app/win32/gdiplus_session.h"
#include "ui/logo_pixels.h"

namespace tarvex {

namespace {

// A top-down 32-bit bitmap of `width` x `height` whose pixels `bits` points at.
HBITMAP MakeDib(int width, int height, void** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

}  // namespace

std::unique_ptr<LogoPicture> LogoPicture::Load(const std::wstring& path) {
  GdiplusSession session;
  if (!session.Ok()) {
    return nullptr;
  }
  Gdiplus::Bitmap decoded(path.c_str());
  if (decoded.GetLastStatus() != Gdiplus::Ok) {
    return nullptr;
  }
  const int width = static_cast<int>(decoded.GetWidth());
  const int height = static_cast<int>(decoded.GetHeight());
  const bool hasAlpha = Gdiplus::IsAlphaPixelFormat(decoded.GetPixelFormat()) != FALSE;
  void* bits = nullptr;
  HBITMAP bitmap = width > 0 && height > 0 ? MakeDib(width, height, &bits) : nullptr;
  if (bitmap == nullptr) {
    return nullptr;
  }
  // Straight (not premultiplied) blue, green, red, alpha; a picture without alpha reads opaque.
  Gdiplus::BitmapData data{};
  data.Width = static_cast<UINT>(width);
  data.Height = static_cast<UINT>(height);
  data.Stride = width * 4;
  data.PixelFormat = PixelFormat32bppARGB;
  data.Scan0 = bits;
  Gdiplus::Rect whole(0, 0, width, height);
  if (decoded.LockBits(&whole, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                       PixelFormat32bppARGB, &data) != Gdiplus::Ok) {
    DeleteObject(bitmap);
    return nullptr;
  }
  decoded.UnlockBits(&data);
  PremultiplyBgra(
      std::span(static_cast<std::uint8_t*>(bits),
                static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4));
  return std::unique_ptr<LogoPicture>(new LogoPicture(bitmap, width, height, hasAlpha));
}

LogoPicture::~LogoPicture() {
  DeleteObject(bitmap_);
}

void LogoPicture::Draw(HDC target) const {
  HDC source = CreateCompatibleDC(target);
  if (source == nullptr) {
    return;
  }
  HGDIOBJ previous = SelectObject(source, bitmap_);
  if (hasAlpha_) {
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(target, 0, 0, width_, height_, source, 0, 0, width_, height_, blend);
  } else {
    StretchBlt(target, 0, 0, width_, height_, source, 0, 0, width_, height_, SRCCOPY);
  }
  SelectObject(source, previous);
  DeleteDC(source);
}

}  // namespace tarvex
