// The program's home page shown at the bottom of the window, and opening it in the browser.
#pragma once

#include <functional>
#include <string>

namespace rarbatch {

// The address shown by the link label (and opened by a click on it) and the site's name beside it.
inline constexpr wchar_t kWebAddress[] = L"http://rarbatch.test";
inline constexpr wchar_t kSiteName[] = L"项目主页";

// Hands the address to the system's handler for web addresses; the result is ignored.
void OpenWebAddress(const std::wstring& address);

// Replaces what OpenWebAddress does (tests record the address instead of starting a browser).
// An empty function restores the system's handler. Returns the previous replacement.
using WebOpener = std::function<void(const std::wstring& address)>;
WebOpener SetWebOpener(WebOpener opener);

}  // namespace rarbatch
