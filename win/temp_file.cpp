// A temporary file that removes itself unless it was kept.
#include "win/temp_file.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "core/number_text.h"
#include "win/file_ops.h"
#include "win/files.h"

namespace rarbatch {
namespace {

// Numbers the temporary files of this process; with the process id it makes each name new.
std::atomic<unsigned> gNextNumber{0};

void SetError(DWORD* error, DWORD value) {
  if (error) *error = value;
}

}  // namespace

std::optional<TempFile> TempFile::Unique(const std::wstring& stem, const std::wstring& extension, DWORD* error) {
  const std::wstring process = Decimal(GetCurrentProcessId());
  DWORD last = ERROR_FILE_EXISTS;
  // A name can be taken by a file another process left behind: the next number is tried.
  for (int attempt = 0; attempt < 1000 && (last == ERROR_FILE_EXISTS || last == ERROR_ALREADY_EXISTS); ++attempt) {
    const std::wstring path = stem + process + L"-" + Decimal(gNextNumber++) + extension;
    UniqueHandle file = OpenFile(path, GENERIC_WRITE | DELETE, 0, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY);
    if (file) {
      SetError(error, ERROR_SUCCESS);
      return TempFile(path, file.release());
    }
    last = GetLastError();
  }
  SetError(error, last);
  return std::nullopt;
}

std::optional<TempFile> TempFile::InTempFolder(const std::wstring& prefix, const std::wstring& extension,
                                               DWORD* error) {
  const std::wstring folder = TempFolderPath();
  if (folder.empty()) {
    SetError(error, GetLastError() ? GetLastError() : ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  return Unique(folder + prefix, extension, error);
}

std::optional<TempFile> TempFile::Beside(const std::wstring& file, const std::wstring& extension, DWORD* error) {
  return Unique(FullPathOf(file) + L".", extension, error);
}

std::optional<TempFile> TempFile::At(const std::wstring& path, DWORD* error) {
  UniqueHandle file = OpenFile(path, GENERIC_WRITE | DELETE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY);
  if (!file) {
    SetError(error, GetLastError());
    return std::nullopt;
  }
  SetError(error, ERROR_SUCCESS);
  return TempFile(FullPathOf(path), file.release());
}

TempFile::TempFile(TempFile&& other) noexcept
    : path_(std::move(other.path_)), file_(std::exchange(other.file_, nullptr)),
      kept_(std::exchange(other.kept_, true)) {}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    Close();
    if (!kept_ && !path_.empty()) DeleteFileAt(path_);
    path_ = std::move(other.path_);
    file_ = std::exchange(other.file_, nullptr);
    kept_ = std::exchange(other.kept_, true);
  }
  return *this;
}

TempFile::~TempFile() {
  Close();
  if (!kept_ && !path_.empty()) DeleteFileAt(path_);
}

DWORD TempFile::Write(const std::string& bytes) {
  if (!file_) return ERROR_INVALID_HANDLE;
  std::size_t written = 0;
  while (written < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - written, 1u << 30));
    DWORD done = 0;
    if (!WriteFile(file_, bytes.data() + written, chunk, &done, nullptr)) return GetLastError();
    if (done == 0) return ERROR_WRITE_FAULT;
    written += done;
  }
  return ERROR_SUCCESS;
}

void TempFile::Close() {
  if (file_) CloseHandle(std::exchange(file_, nullptr));
}

}  // namespace rarbatch
