// The job one press of the generate button carries out, and the batch script text that applies it.
#pragma once

#include <string>
#include <vector>

namespace rarbatch {

struct BatchJob {
  std::wstring RarPath;
  std::vector<std::wstring> Archives;
  std::vector<std::wstring> DeleteNames;
  std::vector<std::wstring> AddFiles;
  std::wstring CommentFile;
  bool Lock = false;
  bool UsePassword = false;
  std::wstring Password;
};

// Returns the whole script: for every archive, its delete, add, comment and lock lines, each ended by
// CR LF. Characters that the command interpreter would act on are escaped so that the archiver
// receives exactly what the job holds; a job that FindScriptProblem refuses must not be composed.
std::wstring ComposeBatchScript(const BatchJob& job);

}  // namespace rarbatch
