// The window's DPI, sizing for it and the fonts made for it. The per-monitor functions are looked up
// at run time, so the program still starts on systems that lack them and then uses the system DPI.
#pragma once

#include <windows.h>

#include <utility>

namespace rarbatch {

// Owns a GDI font and deletes it once.
class UniqueFont {
 public:
  UniqueFont() = default;
  explicit UniqueFont(HFONT font) : font_(font) {}
  UniqueFont(UniqueFont&& other) noexcept : font_(std::exchange(other.font_, nullptr)) {}
  UniqueFont& operator=(UniqueFont&& other) noexcept {
    if (this != &other) {
      reset();
      font_ = std::exchange(other.font_, nullptr);
    }
    return *this;
  }
  UniqueFont(const UniqueFont&) = delete;
  UniqueFont& operator=(const UniqueFont&) = delete;
  ~UniqueFont() { reset(); }

  HFONT get() const { return font_; }
  void reset() {
    if (font_) DeleteObject(font_);
    font_ = nullptr;
  }

 private:
  HFONT font_ = nullptr;
};

// The DPI the window is drawn at.
unsigned WindowDpi(HWND window);

// The outer size of a window with `style` whose client area is `client` at `dpi`.
SIZE WindowSizeForClient(SIZE client, DWORD style, DWORD exStyle, unsigned dpi);

// The window's font at `dpi`: 宋体 9 pt (GB2312) where it is installed, otherwise the system's
// message font.
LOGFONTW DefaultLogFont(unsigned dpi);

// Whether a font family of that name is installed for the character set.
bool IsFontInstalled(const wchar_t* face, BYTE charset);

}  // namespace rarbatch
