// One archive's calls with their exit codes and output, in a read-only text box, owned by the results
// window; Esc or 关闭 closes it.
#pragma once

#include <windows.h>

#include <string>

#include "win/handles.h"
#include "win/window.h"

namespace rarbatch {

class DetailWindow : public Window {
 public:
  // Not IDOK or IDCANCEL, which the text box's notifications would otherwise look like.
  static constexpr int kTextId = 100;

  ~DetailWindow() override { DestroyNow(); }

  // Shows `text` under `title`, owned by `owner`, at `dpi`; null when the window cannot be made.
  HWND Open(HWND owner, const std::wstring& title, const std::wstring& text, unsigned dpi);

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Makes the font for `dpi` (its own: no other window's DPI change can delete it) and hands it to the
  // controls.
  void ApplyDpi(unsigned dpi);
  void Layout();

  HWND text_ = nullptr;
  HWND close_ = nullptr;
  unsigned dpi_ = USER_DEFAULT_SCREEN_DPI;
  UniqueFont font_;
};

}  // namespace rarbatch
