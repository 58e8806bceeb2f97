// Refuses a job whose text cannot be put into a batch script without changing its meaning.
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

}  // namespace rarbatch
