// Wide text to and from UTF-8 without the system, for the files the program writes in UTF-8 on every
// platform it is built for (wchar_t of 16 bits on Windows, 32 elsewhere).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rarbatch {

// `text` in UTF-8, or nothing when it holds a lone surrogate (or, with 32-bit wchar_t, a value past
// U+10FFFF): such a text has no UTF-8 form, and replacing the character would change a path.
std::optional<std::string> ToUtf8(std::wstring_view text);

// UTF-8 `bytes` as wide text, or nothing when they are not well-formed UTF-8 (overlong forms,
// surrogates and values past U+10FFFF included).
std::optional<std::wstring> FromUtf8(std::string_view bytes);

}  // namespace rarbatch
