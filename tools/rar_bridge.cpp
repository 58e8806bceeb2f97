// Lets the tests run the real console archiver under Wine: copied as Rar.exe, this program calls the
// host's /usr/bin/rar with its own arguments, Windows paths turned into host paths, and gives back the
// archiver's output (in the OEM code page) and exit code.
//
// Arguments: the whole line (GetCommandLineW) is split by the archiver's own rules. An absolute
// Windows path ("X:\...", also "\\?\X:\...") becomes its host path through Wine
// (wine_get_unix_file_name), as a plain argument, as the value of -z, -ilog, -w and -op, and as a list
// file "@X:\..."; a list file is read (UTF-16 with a byte order mark, UTF-8, or else the ANSI code
// page) and handed on as a UTF-8 copy in which each absolute path line is mapped too. A password
// (-p, -hp) is never touched. Relative names stay as they are: the archiver runs in the host folder
// of the current folder.
//
// Under Wine a host program can be started but not waited on, so the bridge writes a small bash
// script into a private temp folder and starts it: it reads the arguments from a NUL-separated file,
// runs the archiver with its output in files, and at the end writes the exit code to a file, which
// the bridge polls for. While it waits the bridge touches a heartbeat file; a script whose bridge
// stopped touching it for a minute (the bridge was killed) stops the archiver and removes the
// folder. The bridge removes the folder itself after a run.
//
// Input: what is piped into the bridge (a password for "-p" without a value) goes to the archiver
// converted from the ANSI code page into UTF-8, CR LF as LF. A console or NUL (FILE_TYPE_CHAR) gives
// the archiver nothing (/dev/null).
//
// Output: standard and error output as the archiver wrote them, converted from UTF-8 into the OEM
// code page, LF as CR LF; with -scfr, or -scf without objects, the caller asked for UTF-8 and gets it
// unconverted (the host archiver accepts those switches and is passed them). Host paths in the output
// are left as they are. The standard output of p (the command first) is the entries' bytes and goes
// through byte for byte, as the archiver on Windows writes it.
//
// Exit code: the archiver's. The bridge's own failures (a path it cannot map, a file it cannot
// write, no bash) give 2; no exit code within RARBATCH_BRIDGE_TIMEOUT_S seconds (default 600) stops
// the archiver and gives 255.
#include <windows.h>

#include <cstdlib>
#include <cwctype>
#include <string>
#include <vector>

#include "core/archiver_args.h"
#include "win/files.h"
#include "win/handles.h"
#include "win/text.h"

namespace {

using rarbatch::UniqueHandle;

constexpr int kFatal = 2;
constexpr int kStopped = 255;
constexpr const char* kHostArchiver = "/usr/bin/rar";
constexpr DWORD kHeartbeatMs = 1000;

// What the bridge hands the host script; the folder goes with the bridge.
const char kScript[] =
    "# Runs the host archiver for rar_bridge.exe, with everything it needs in this folder.\n"
    "d=$(dirname -- \"$0\")\n"
    "finish() { echo \"$1\" >\"$d/code.new\" && mv -f -- \"$d/code.new\" \"$d/code\"; exit 0; }\n"
    "cd -- \"$(<\"$d/cwd\")\" || finish 2\n"
    "mapfile -d '' args <\"$d/args\"\n"
    "in=$d/in; [ -e \"$in\" ] || in=/dev/null\n"
    "LC_ALL=C.UTF-8 \"$(<\"$d/archiver\")\" \"${args[@]}\" <\"$in\" >\"$d/out\" 2>\"$d/err\" &\n"
    "pid=$!\n"
    "# The bridge touches \"alive\" every second while it waits; a minute without means it is gone.\n"
    "( while sleep 2; do\n"
    "    age=$(( $(date +%s) - $(stat -c %Y -- \"$d/alive\" 2>/dev/null || echo 0) ))\n"
    "    [ \"$age\" -lt 60 ] && continue\n"
    "    kill \"$pid\" 2>/dev/null; rm -rf -- \"$d\"; exit 0\n"
    "  done ) </dev/null >/dev/null 2>&1 &\n"
    "watch=$!\n"
    "wait \"$pid\"; code=$?\n"
    "kill \"$watch\" 2>/dev/null\n"
    "finish \"$code\"\n";

void PrintError(const std::wstring& text) {
  const std::wstring line = L"rar_bridge: " + text + L"\r\n";
  const auto bytes = rarbatch::ToCodePage(line, GetOEMCP());
  const std::string out = bytes ? *bytes : std::string("rar_bridge: error\r\n");
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
            nullptr);
}

std::string ToUtf8(const std::wstring& text) {
  std::string out(text.size() * 3, '\0');
  out.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                 static_cast<int>(out.size()), nullptr, nullptr));
  return out;
}

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b, -1, TRUE) == CSTR_EQUAL;
}
bool StartsNoCase(const std::wstring& s, const std::wstring& prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(prefix, s.substr(0, prefix.size()).c_str());
}

// Wine's own conversions between Windows and host paths, looked up at run time: a Windows build
// outside Wine has neither.
using ToUnixName = char*(CDECL*)(const wchar_t*);
using ToDosName = wchar_t*(CDECL*)(const char*);

ToUnixName UnixNameFunction() {
  static const auto f = reinterpret_cast<ToUnixName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  return f;
}

// The host path of an absolute Windows path; empty when Wine cannot give one.
std::string HostPathOf(const std::wstring& windowsPath) {
  const ToUnixName toUnix = UnixNameFunction();
  if (!toUnix) return {};
  char* unix = toUnix(windowsPath.c_str());
  if (!unix) return {};
  std::string out = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return out;
}

std::wstring DosPathOf(const std::string& hostPath) {
  const auto toDos = reinterpret_cast<ToDosName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (!toDos) return {};
  wchar_t* dos = toDos(hostPath.c_str());
  if (!dos) return {};
  std::wstring out = dos;
  HeapFree(GetProcessHeap(), 0, dos);
  return out;
}

// "X:\..." or "X:/...", also in its extended form "\\?\X:\...".
bool IsAbsoluteWindowsPath(const std::wstring& s) {
  const std::size_t at = s.starts_with(LR"(\\?\)") ? 4 : 0;
  return s.size() >= at + 3 && iswalpha(s[at]) && s[at + 1] == L':' &&
         (s[at + 2] == L'\\' || s[at + 2] == L'/');
}

// The host path of an absolute Windows path. A name Wine will not map as it is (a wildcard) is put
// after the host path of its folder; a trailing separator is kept. Empty when there is none.
std::string MapPath(std::wstring path) {
  if (path.starts_with(LR"(\\?\)")) path.erase(0, 4);
  for (auto& c : path) c = c == L'/' ? L'\\' : c;
  const bool folder = path.ends_with(L'\\') && path.size() > 3;
  while (folder && path.ends_with(L'\\')) path.pop_back();
  std::string host = HostPathOf(path);
  if (host.empty()) {
    const std::size_t cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos || cut < 2) return {};
    const std::string parent = HostPathOf(path.substr(0, cut + 1));
    if (parent.empty()) return {};
    host = parent + (parent.ends_with('/') ? "" : "/") + ToUtf8(path.substr(cut + 1));
  }
  if (folder && !host.ends_with('/')) host += '/';
  return host;
}

// A list file's lines as text: UTF-16 with its byte order mark, UTF-8 (with or without one), or the
// ANSI code page.
std::wstring DecodeListFile(const std::string& bytes) {
  if (bytes.starts_with("\xFF\xFE") && bytes.size() % 2 == 0) {
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
  }
  const std::string body = bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : bytes;
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, body.data(),
                                         static_cast<int>(body.size()), nullptr, 0);
  if (length > 0 || body.empty()) return rarbatch::FromCodePage(body, CP_UTF8);
  return rarbatch::FromCodePage(bytes, CP_ACP);
}

std::string ReadWholeFile(const std::wstring& path, bool* ok) {
  UniqueHandle file{CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)};
  std::string bytes;
  *ok = static_cast<bool>(file);
  char buffer[65536];
  DWORD got = 0;
  while (file && ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    bytes.append(buffer, got);
  }
  return bytes;
}

// The private folder of one run and what goes into it.
class RunFolder {
 public:
  bool Create() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return false;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      const std::wstring path = std::wstring(temp) + L"rar_bridge-" +
                                std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(GetTickCount() + attempt) + L"\\";
      if (CreateDirectoryW(path.c_str(), nullptr)) {
        path_ = path;
        return true;
      }
      if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
  }
  ~RunFolder() {
    if (path_.empty()) return;
    for (const auto& name : names_) DeleteFileW((path_ + name).c_str());
    for (const wchar_t* name : {L"out", L"err", L"code", L"code.new"}) {
      DeleteFileW((path_ + name).c_str());
    }
    RemoveDirectoryW(path_.c_str());
  }
  std::wstring At(const std::wstring& name) const { return path_ + name; }
  bool Write(const std::wstring& name, const std::string& bytes) {
    names_.push_back(name);
    return rarbatch::WriteWholeFile(At(name), bytes) == ERROR_SUCCESS;
  }

 private:
  std::wstring path_;
  std::vector<std::wstring> names_;
};

// The argument as the host archiver should get it; false when an absolute path cannot be mapped or
// a list file's copy cannot be written.
bool MapArgument(const std::wstring& arg, bool switches, RunFolder& folder, unsigned* lists,
                 std::string* out) {
  const auto mapped = [](const std::wstring& path, std::string* host) {
    *host = MapPath(path);
    if (host->empty()) PrintError(L"无法转换路径 " + path);
    return !host->empty();
  };
  if (switches && arg.starts_with(L'-')) {
    for (const wchar_t* name : {L"-ilog", L"-op", L"-z", L"-w"}) {
      const std::wstring prefix = name;
      if (!StartsNoCase(arg, prefix) || !IsAbsoluteWindowsPath(arg.substr(prefix.size()))) continue;
      std::string host;
      if (!mapped(arg.substr(prefix.size()), &host)) return false;
      *out = ToUtf8(arg.substr(0, prefix.size())) + host;
      return true;
    }
    *out = ToUtf8(arg);
    return true;
  }
  if (switches && arg.starts_with(L'@') && arg.size() > 1) {
    bool ok = false;
    const std::wstring text = DecodeListFile(ReadWholeFile(arg.substr(1), &ok));
    if (!ok) {  // the archiver says what is wrong with it
      std::string host;
      if (IsAbsoluteWindowsPath(arg.substr(1)) && !mapped(arg.substr(1), &host)) return false;
      *out = host.empty() ? ToUtf8(arg) : std::string(1, '@').append(host);
      return true;
    }
    std::string copy;
    for (std::size_t start = 0; start < text.size();) {
      const std::size_t end = std::min(text.find(L'\n', start), text.size());
      std::wstring line = text.substr(start, end - start);
      start = end + 1;
      if (line.ends_with(L'\r')) line.pop_back();
      // A line between double quotes is one name as an argument would be ("" for a quote in it);
      // a path in it stays quoted, since the archiver keeps a quoted name's trailing spaces.
      const bool quoted = line.size() >= 2 && line.front() == L'"' && line.back() == L'"';
      const std::vector<std::wstring> words = rarbatch::SplitArchiverArguments(line);
      const std::wstring path = quoted && words.size() == 1 ? words[0] : line;
      std::string host;
      if (IsAbsoluteWindowsPath(path) && !mapped(path, &host)) return false;
      if (host.empty()) host = ToUtf8(line);
      else if (quoted) host = '"' + host + '"';  // a host path starts with '/' and holds no quote
      copy += host + "\n";
    }
    const std::wstring name = L"list" + std::to_wstring(++*lists);
    if (!folder.Write(name, copy)) return false;
    const std::string host = MapPath(folder.At(name));
    out->assign(1, '@').append(host);
    return !host.empty();
  }
  if (IsAbsoluteWindowsPath(arg)) return mapped(arg, out);
  *out = ToUtf8(arg);
  return true;
}

// Whether the caller asked for UTF-8 in redirected output: -scf with no objects, or with R.
bool WantsUtf8Output(const std::wstring& arg) {
  if (!StartsNoCase(arg, L"-scf")) return false;
  const std::wstring objects = arg.substr(4);
  return objects.empty() || objects.find_first_of(L"rR") != std::wstring::npos;
}

// What is piped into the bridge, as UTF-8 with LF line ends; false when nothing is (a console, NUL,
// no handle).
bool ReadPipedInput(std::string* utf8) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return false;
  const DWORD type = GetFileType(input);
  if (type != FILE_TYPE_PIPE && type != FILE_TYPE_DISK) return false;
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  std::string text = ToUtf8(rarbatch::FromCodePage(bytes, CP_ACP));
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
  *utf8 = text;
  return true;
}

// Writes the archiver's output to a standard handle: as it is in UTF-8, or in the OEM code page;
// LF as CR LF either way.
void Forward(const std::string& utf8, DWORD which, bool keepUtf8) {
  std::string text;
  for (char c : utf8) {
    if (c == '\n' && !(text.ends_with('\r'))) text += '\r';
    text += c;
  }
  const std::wstring wide = rarbatch::FromCodePage(text, CP_UTF8);
  const HANDLE out = GetStdHandle(which);
  DWORD written = 0;
  if (GetFileType(out) == FILE_TYPE_CHAR &&
      WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)) {
    return;
  }
  if (!keepUtf8) {
    std::string oem(wide.size() * 4 + 1, '\0');
    oem.resize(WideCharToMultiByte(GetOEMCP(), 0, wide.data(), static_cast<int>(wide.size()),
                                   oem.data(), static_cast<int>(oem.size()), nullptr, nullptr));
    text = oem;
  }
  WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

DWORD TimeoutMs() {
  wchar_t value[16];
  const DWORD length = GetEnvironmentVariableW(L"RARBATCH_BRIDGE_TIMEOUT_S", value, 16);
  const unsigned long seconds = length > 0 && length < 16 ? wcstoul(value, nullptr, 10) : 0;
  return (seconds > 0 && seconds < 86400 ? seconds : 600) * 1000;
}

void Touch(const std::wstring& path) {
  UniqueHandle file{CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  if (file) SetFileTime(file.get(), nullptr, nullptr, &now);
}

int Run() {
  std::vector<std::wstring> args = rarbatch::SplitArchiverArguments(GetCommandLineW());
  if (!args.empty()) args.erase(args.begin());
  if (!UnixNameFunction()) {
    PrintError(L"只能在 Wine 中运行（没有 wine_get_unix_file_name）");
    return kFatal;
  }
  RunFolder folder;
  if (!folder.Create()) {
    PrintError(L"无法创建临时文件夹");
    return kFatal;
  }

  std::string joined;
  bool switches = true, utf8Output = false;
  unsigned lists = 0;
  for (const auto& arg : args) {
    std::string host;
    if (!MapArgument(arg, switches, folder, &lists, &host)) return kFatal;
    if (switches && arg == L"--") switches = false;
    if (switches && WantsUtf8Output(arg)) utf8Output = true;
    joined += host;
    joined += '\0';
  }
  wchar_t current[32768];
  const DWORD currentLength = GetCurrentDirectoryW(32768, current);
  const std::string hostCurrent = MapPath(std::wstring(current, currentLength < 32768 ? currentLength : 0));
  std::string input;
  const bool piped = ReadPipedInput(&input);
  if (hostCurrent.empty() || !folder.Write(L"args", joined) || !folder.Write(L"cwd", hostCurrent) ||
      !folder.Write(L"archiver", kHostArchiver) || !folder.Write(L"run.sh", kScript) ||
      (piped && !folder.Write(L"in", input))) {
    PrintError(L"无法准备临时文件夹");
    return kFatal;
  }
  if (!folder.Write(L"alive", "")) {
    PrintError(L"无法准备临时文件夹");
    return kFatal;
  }

  const std::wstring bash = DosPathOf("/bin/bash");
  std::wstring line = L"bash \"" + rarbatch::FromCodePage(MapPath(folder.At(L"run.sh")), CP_UTF8) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (bash.empty() || !CreateProcessW(bash.c_str(), line.data(), nullptr, nullptr, FALSE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
    PrintError(L"无法启动 /bin/bash");
    return kFatal;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);  // Wine cannot wait on a host process; the code file says it ended

  const std::wstring codePath = folder.At(L"code");
  const DWORD start = GetTickCount(), timeout = TimeoutMs();
  DWORD beat = start;
  while (GetFileAttributesW(codePath.c_str()) == INVALID_FILE_ATTRIBUTES) {
    const DWORD now = GetTickCount();
    if (now - start > timeout) {
      PrintError(L"归档程序在限定时间内没有结束，已停止");
      return kStopped;  // the folder goes, and with it the heartbeat: the script stops the archiver
    }
    if (now - beat >= kHeartbeatMs) Touch(folder.At(L"alive")), beat = now;
    Sleep(10);
  }
  bool ok = false;
  const std::string code = ReadWholeFile(codePath, &ok);
  char* end = nullptr;
  const long exitCode = std::strtol(code.c_str(), &end, 10);
  // p writes the entries' bytes to standard output: they pass as they are, not as text.
  if (!args.empty() && (args[0] == L"p" || args[0] == L"P")) {
    const std::string bytes = ReadWholeFile(folder.At(L"out"), &ok);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  } else {
    Forward(ReadWholeFile(folder.At(L"out"), &ok), STD_OUTPUT_HANDLE, utf8Output);
  }
  Forward(ReadWholeFile(folder.At(L"err"), &ok), STD_ERROR_HANDLE, utf8Output);
  if (end == code.c_str()) {
    PrintError(L"读不到归档程序的退出代码");
    return kFatal;
  }
  return static_cast<int>(exitCode);
}

}  // namespace

int wmain(int, wchar_t**) { return Run(); }
