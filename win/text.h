// Text in and out of Windows: a window's text, and wide text to and from a code page.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace rarbatch {

// The whole text of a window or control; empty when it has none.
std::wstring WindowText(HWND window);

// `text` in `codePage`, or nothing when a character has no exact counterpart there (no best fit,
// no '?'): a caller always knows when a character would be lost.
std::optional<std::string> ToCodePage(const std::wstring& text, UINT codePage);

// Whether `text` converts to `codePage` without losing a character.
bool IsEncodable(const std::wstring& text, UINT codePage);

// Bytes in `codePage` as wide text; bytes with no counterpart become the system's replacement.
std::wstring FromCodePage(const std::string& bytes, UINT codePage);

}  // namespace rarbatch
