// Small files read whole and replaced in one move.
#include "win/saved_files.h"

#include "core/number_text.h"
#include "win/file_ops.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/temp_file.h"

namespace rarbatch {

SmallFile ReadSmallFile(const std::wstring& path, std::uint64_t maxBytes) {
  SmallFile small;
  UniqueHandle file = OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (!file) {
    small.Error = GetLastError();
    return small;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) {
    small.Error = GetLastError();
    return small;
  }
  small.Size = static_cast<std::uint64_t>(size.QuadPart);
  if (small.Size > maxBytes) {
    small.TooLarge = true;
    return small;
  }
  small.Bytes.resize(static_cast<std::size_t>(small.Size));
  std::size_t read = 0;
  while (read < small.Bytes.size()) {
    DWORD done = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(small.Bytes.size() - read, 1u << 30));
    if (!ReadFile(file.get(), small.Bytes.data() + read, chunk, &done, nullptr)) {
      small.Error = GetLastError();
      small.Bytes.clear();
      return small;
    }
    if (done == 0) break;  // the file shrank while it was read
    read += done;
  }
  small.Bytes.resize(read);
  return small;
}

DWORD ReplaceFileContents(const std::wstring& path, const std::string& bytes) {
  // Under a name of its own, so that two saves at once never write into one new file.
  DWORD error = ERROR_SUCCESS;
  std::optional<TempFile> temporary = TempFile::Beside(path, L".new", &error);
  if (!temporary) return error;
  if ((error = temporary->Write(bytes)) != ERROR_SUCCESS) return error;
  temporary->Close();
  if ((error = MoveReplacing(temporary->Path(), path)) != ERROR_SUCCESS) return error;
  temporary->Keep();  // it is `path` now
  return ERROR_SUCCESS;
}

}  // namespace rarbatch
