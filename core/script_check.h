// Refuses a job whose text cannot be put into a batch script, or passed to the archiver call by call,
// without changing its meaning.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "batch_script.h"

namespace rarbatch {

// Tells whether a string survives the conversion to the script file's encoding unchanged.
using EncodableFn = std::function<bool(const std::wstring&)>;

// The first field of the job that cannot be written safely, as a message for the user that names the
// field (and the item, for a list), or nothing when the whole job can be written. Without `encodable`
// only the characters that would break a command line are checked.
std::optional<std::wstring> FindScriptProblem(const BatchJob& job, const EncodableFn& encodable = {});

// The same for a job that the program runs itself, one archiver call at a time: no script is
// written, so any Unicode name works, but a field still must not hold a line break or NUL, a delete
// entry must name something, a used password must not be empty (the archiver would wait for one to be
// typed), and no command line may be longer than a new process takes.
std::optional<std::wstring> FindRunProblem(const BatchJob& job);

// The message for a password option without a password.
inline constexpr wchar_t kEmptyPasswordMessage[] =
    L"已选择“添加密码”，但没有输入密码：压缩程序会停下来等待输入密码。";

}  // namespace rarbatch
