// The fonts of the program's windows.
#include "ui/fonts.h"

#include <cwchar>

#include "win/dpi.h"
#include "win/handles.h"

namespace rarbatch {
namespace {

int CALLBACK NoteFontFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

}  // namespace

bool IsFontInstalled(const wchar_t* face, BYTE charset) {
  LOGFONTW wanted{};
  wanted.lfCharSet = charset;
  wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  WindowDC screen(nullptr);
  if (!screen.get()) return false;
  EnumFontFamiliesExW(screen.get(), &wanted, NoteFontFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

LOGFONTW DefaultLogFont(unsigned dpi) {
  static const wchar_t kFace[] = L"宋体";
  static const bool installed = IsFontInstalled(kFace, GB2312_CHARSET);
  LOGFONTW font{};
  if (installed) {
    font.lfHeight = -MulDiv(9, static_cast<int>(dpi), 72);
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = GB2312_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    wcsncpy(font.lfFaceName, kFace, LF_FACESIZE - 1);
    return font;
  }
  if (MessageFontForDpi(dpi, font)) return font;
  font.lfHeight = -MulDiv(9, static_cast<int>(dpi), 72);
  font.lfCharSet = DEFAULT_CHARSET;
  return font;
}

UniqueFont GiveChildrenTheFont(HWND window, unsigned dpi) {
  LOGFONTW logFont = DefaultLogFont(dpi);
  UniqueFont font(CreateFontIndirectW(&logFont));
  if (!font) return font;
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  }
  return font;
}

}  // namespace rarbatch
