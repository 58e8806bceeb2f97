// Small rules on folder paths shared by the program folder and folder import.
#include "paths.h"

namespace rarbatch {

std::wstring WithTrailingBackslash(std::wstring folder) {
  if (folder.empty() || folder.back() != L'\\') folder.push_back(L'\\');
  return folder;
}

}  // namespace rarbatch
