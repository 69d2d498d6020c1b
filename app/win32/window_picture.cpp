#include "app/win32/window_picture.h"

#include "app/win32/gdiplus_session.h"

namespace tarvex {

namespace {

// GDI+'s PNG encoder.
constexpr CLSID PNG_ENCODER = {
    0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

// The window's rectangle of the screen, copied into a bitmap; null on failure.
HBITMAP CopyOfScreen(HWND window) {
  RECT place{};
  GetWindowRect(window, &place);
  const int width = place.right - place.left;
  const int height = place.bottom - place.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  if (memory != nullptr && bitmap != nullptr) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, place.left, place.top, SRCCOPY);
    SelectObject(memory, previous);
  }
  if (memory != nullptr) {
    DeleteDC(memory);
  }
  ReleaseDC(nullptr, screen);
  return bitmap;
}

}  // namespace

bool SaveWindowPicture(HWND window, const std::wstring& path) {
  HBITMAP bitmap = CopyOfScreen(window);
  if (bitmap == nullptr) {
    return false;
  }
  bool saved = false;
  {
    GdiplusSession session;
    if (session.Ok()) {
      Gdiplus::Bitmap picture(bitmap, nullptr);
      saved = picture.Save(path.c_str(), &PNG_ENCODER, nullptr) == Gdiplus::Ok;
    }
  }
  DeleteObject(bitmap);
  return saved;
}

}  // namespace tarvex
