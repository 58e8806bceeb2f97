// Reading what an archive file carries beside its contents, and putting it back on the new file the
// archiver leaves in its place (core/file_marks.h says what is kept and why).
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "core/file_marks.h"

namespace rarbatch {

// The file system as the marks need it. The program uses the system's; a test stands in with one
// that has streams where the machine it runs on has none.
class MarkAccess {
 public:
  virtual ~MarkAccess() = default;
  virtual std::optional<DWORD> Attributes(const std::wstring& path) = 0;
  virtual DWORD SetAttributes(const std::wstring& path, DWORD attributes) = 0;
  // The named stream's bytes; nothing, with the system's error code in `error`, when the file has no
  // such stream (ERROR_FILE_NOT_FOUND) or it cannot be read.
  virtual std::optional<std::string> ReadStream(const std::wstring& path, const wchar_t* stream, DWORD* error) = 0;
  virtual DWORD WriteStream(const std::wstring& path, const wchar_t* stream, const std::string& bytes) = 0;
};

// The system's file system, through win/file_ops.h (any path length).
MarkAccess& SystemMarkAccess();

// What the file at `path` carries; nothing when its attributes cannot be read.
std::optional<FileMarks> ReadFileMarks(const std::wstring& path, MarkAccess& access = SystemMarkAccess());

// Gives the file at `path` what `before` carried and it now lacks (MarksToPutBack): the stream first,
// then the attributes, read-only last, since a read-only file takes no stream. Empty on success,
// otherwise what could not be put back, in words for the archive's row.
std::wstring PutFileMarksBack(const std::wstring& path, const FileMarks& before,
                              MarkAccess& access = SystemMarkAccess());

}  // namespace rarbatch
