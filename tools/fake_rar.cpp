// Stands in for the console archiver in tests: appends the arguments it received, as the C runtime
// split them, to args.log beside itself. Each call writes its argument count on one line, then each
// argument on a line of its own, in UTF-8.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  wchar_t self[32768];
  const DWORD length = GetModuleFileNameW(nullptr, self, 32768);
  std::wstring log(self, length);
  log.resize(log.find_last_of(L'\\') + 1);
  log += L"args.log";

  std::string record = std::to_string(argc - 1) + "\n";
  for (int i = 1; i < argc; ++i) record += ToUtf8(argv[i]) + "\n";

  HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  CloseHandle(file);
  return ok ? 0 : 3;
}
