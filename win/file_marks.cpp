// An archive file's marks: read before the archiver replaces the file, put back on the new one.
#include "file_marks.h"

#include "error_text.h"
#include "file_ops.h"
#include "handles.h"

namespace rarbatch {
namespace {

// The largest Zone.Identifier stream read: the system writes a few lines; anything far larger is
// not such a mark and is not copied around.
constexpr DWORD kMostZoneBytes = 64 * 1024;

class SystemAccess final : public MarkAccess {
 public:
  std::optional<DWORD> Attributes(const std::wstring& path) override { return AttributesOf(path); }
  DWORD SetAttributes(const std::wstring& path, DWORD attributes) override { return SetAttributesOf(path, attributes); }

  std::optional<std::string> ReadStream(const std::wstring& path, const wchar_t* stream, DWORD* error) override {
    UniqueHandle file = OpenFile(SystemPath(path) + L":" + stream, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 OPEN_EXISTING);
    if (!file) {
      *error = GetLastError();
      return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMostZoneBytes) {
      *error = size.QuadPart > kMostZoneBytes ? ERROR_FILE_TOO_LARGE : GetLastError();
      return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ||
                           read != bytes.size())) {
      *error = read != bytes.size() ? ERROR_HANDLE_EOF : GetLastError();
      return std::nullopt;
    }
    return bytes;
  }

  DWORD WriteStream(const std::wstring& path, const wchar_t* stream, const std::string& bytes) override {
    UniqueHandle file = OpenFile(SystemPath(path) + L":" + stream, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (!file) return GetLastError();
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) return GetLastError();
    return written == bytes.size() ? ERROR_SUCCESS : ERROR_HANDLE_DISK_FULL;
  }
};

}  // namespace

MarkAccess& SystemMarkAccess() {
  static SystemAccess access;
  return access;
}

std::optional<FileMarks> ReadFileMarks(const std::wstring& path, MarkAccess& access) {
  const std::optional<DWORD> attributes = access.Attributes(path);
  if (!attributes) return std::nullopt;
  FileMarks marks{*attributes, std::nullopt};
  DWORD error = ERROR_SUCCESS;
  // A file without the stream, or on a volume without streams, simply has no mark.
  marks.Zone = access.ReadStream(path, kZoneStreamName, &error);
  return marks;
}

std::wstring PutFileMarksBack(const std::wstring& path, const FileMarks& before, MarkAccess& access) {
  const std::optional<FileMarks> now = ReadFileMarks(path, access);
  if (!now) return L"无法读取新压缩包的文件属性，原有的属性和下载标记没有恢复";
  const FileMarks wanted = MarksToPutBack(before, *now);
  std::wstring failed;
  if (wanted.Zone && wanted.Zone != now->Zone) {
    const DWORD error = access.WriteStream(path, kZoneStreamName, *wanted.Zone);
    if (error != ERROR_SUCCESS) failed = DescribeFailure(L"无法恢复下载标记（Zone.Identifier）", path, error);
  }
  if (wanted.Attributes != now->Attributes) {
    const DWORD error = access.SetAttributes(path, wanted.Attributes);
    if (error != ERROR_SUCCESS) {
      failed += (failed.empty() ? L"" : L"；") + DescribeFailure(L"无法恢复文件属性（只读、隐藏、存档）", path, error);
    }
  }
  return failed;
}

}  // namespace rarbatch
