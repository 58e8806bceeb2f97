// A temporary file that removes itself: made under a name no other file has, in the temporary
// folder or beside a given file, and deleted when the object goes unless it was kept.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace rarbatch {

class TempFile {
 public:
  // A new, empty file in the user's temporary folder named "<prefix><process>-<n><extension>".
  // Nothing, with the system's error in `error`, when none can be made.
  static std::optional<TempFile> InTempFolder(const std::wstring& prefix, const std::wstring& extension,
                                              DWORD* error = nullptr);
  // A new, empty file beside `file` (on its volume, so that it can take the file's place by a rename)
  // named "<file>.<process>-<n><extension>".
  static std::optional<TempFile> Beside(const std::wstring& file, const std::wstring& extension,
                                        DWORD* error = nullptr);
  // The file `path`, made or emptied, owned from now on. For a name that callers have already been
  // given.
  static std::optional<TempFile> At(const std::wstring& path, DWORD* error = nullptr);

  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();

  // The file's full path, as it was given or made (not in the extended form).
  const std::wstring& Path() const { return path_; }
  // Writes all of `bytes` at the end of what was written; ERROR_SUCCESS or the system's error code.
  // The file is open for writing, shared with no one, until Close().
  DWORD Write(const std::string& bytes);
  // Closes the file so that others may open it; it is still deleted when the object goes.
  void Close();
  // The file stays when the object goes (it was moved elsewhere, or is wanted).
  void Keep() { kept_ = true; }

 private:
  TempFile(std::wstring path, HANDLE file) : path_(std::move(path)), file_(file) {}
  // Makes a file under a new name from `stem` + "<process>-<n>" + `extension`.
  static std::optional<TempFile> Unique(const std::wstring& stem, const std::wstring& extension, DWORD* error);

  std::wstring path_;
  HANDLE file_ = nullptr;
  bool kept_ = false;
};

}  // namespace rarbatch
