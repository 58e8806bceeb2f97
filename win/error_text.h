// The system's text for an error code, in the form the program reports failures in.
#pragma once

#include <windows.h>

#include <string>

namespace rarbatch {

// "错误 <code>：<the system's message>", without a trailing line break. The number comes first so
// that a report can be diagnosed whatever the system's language.
std::wstring SystemErrorText(DWORD code);

// "<what>：<path>\n<SystemErrorText>", the form in which the program reports a failed platform
// call; without the path when it is empty.
std::wstring DescribeFailure(const std::wstring& what, const std::wstring& path, DWORD code);

}  // namespace rarbatch
