// Opening the program's home page with the system's handler for web addresses.
#include "web_link.h"

#include <windows.h>
#include <shellapi.h>

#include <utility>

namespace rarbatch {

namespace {
WebOpener& Replacement() {
  static WebOpener opener;
  return opener;
}
}  // namespace

void OpenWebAddress(const std::wstring& address) {
  if (Replacement()) {
    Replacement()(address);
    return;
  }
  // A missing handler or a malformed address is no concern of the program: the result is ignored.
  ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

WebOpener SetWebOpener(WebOpener opener) { return std::exchange(Replacement(), std::move(opener)); }

}  // namespace rarbatch
