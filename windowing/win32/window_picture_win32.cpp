// Pictures of windows as they are on the screen (the screen's pixels under the window), and
// the first paint, for the screenshot and benchmark builds.

#include "windowing/win32/native_window_win32.h"

#include <commctrl.h>

#include <memory>
#include <vector>

#include "windowing/event_loop.h"
#include "windowing/win32/png_file.h"
#include "windowing/window_picture.h"

namespace flashwright::ui {

namespace {

constexpr UINT_PTR kFirstPaintSubclass = 0x46575031;  // any number of our own

LRESULT CALLBACK FirstPaintProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                UINT_PTR id, DWORD_PTR data) {
  auto* done = reinterpret_cast<std::function<void()>*>(data);
  if (message == WM_PAINT) {
    const LRESULT result = DefSubclassProc(window, message, wparam, lparam);
    // The children paint after their parent; they are made to paint now, so that "painted"
    // means the whole window.
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
    RemoveWindowSubclass(window, FirstPaintProc, id);
    std::function<void()> call = std::move(*done);
    delete done;
    PostTask(std::move(call));
    return result;
  }
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, FirstPaintProc, id);
    delete done;
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

}  // namespace

bool SaveWindowPicture(WindowRef window, const std::string& png_path, bool* blank) {
  HWND handle = HwndOf(window);
  if (blank != nullptr) *blank = false;
  if (handle == nullptr || !IsWindowVisible(handle)) return false;
  RedrawWindow(handle, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT area{};
  GetWindowRect(handle, &area);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return false;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = bitmap != nullptr && bits != nullptr;
  std::vector<std::uint8_t> rgb;
  if (ok) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY) != FALSE;
    GdiFlush();
    SelectObject(memory, old);
    const auto* pixels = static_cast<const std::uint8_t*>(bits);
    rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
    bool one_colour = true;
    for (std::size_t i = 0, n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
         i < n; ++i) {
      rgb[i * 3] = pixels[i * 4 + 2];
      rgb[i * 3 + 1] = pixels[i * 4 + 1];
      rgb[i * 3 + 2] = pixels[i * 4];
      if (one_colour && i > 0 &&
          (rgb[i * 3] != rgb[0] || rgb[i * 3 + 1] != rgb[1] || rgb[i * 3 + 2] != rgb[2]))
        one_colour = false;
    }
    if (blank != nullptr) *blank = one_colour;
  }
  if (bitmap != nullptr) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok && WritePngFile(png_path, width, height, rgb);
}

void CallAfterFirstPaint(WindowRef window, std::function<void()> done) {
  HWND handle = HwndOf(window);
  if (handle == nullptr) return;
  // A window shown and updated already (ShowWindow and UpdateWindow) with nothing left to
  // paint has had its first paint: its children paint now, and `done` follows, without a
  // second paint of the whole window.
  if (IsWindowVisible(handle) && !GetUpdateRect(handle, nullptr, FALSE)) {
    RedrawWindow(handle, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
    PostTask(std::move(done));
    return;
  }
  // Otherwise the paint to come (when the window is shown, or of what is pending) is the one.
  auto* held = new std::function<void()>(std::move(done));
  if (!SetWindowSubclass(handle, FirstPaintProc, kFirstPaintSubclass,
                         reinterpret_cast<DWORD_PTR>(held))) {
    delete held;
  }
}

}  // namespace flashwright::ui
