// Reaches into another program's console for the tests: sends it Ctrl+C or types into it, as a user
// pressing the keys in its window would, or copies its screen's text. Each is done from this separate process because
// attaching to a console gives up one's own.
//   console_probe ctrl-c PID         exit code 0 when the event was sent
//   console_probe screen PID FILE    the screen's lines up to the cursor's, trailing blanks left out,
//                                    written to FILE in UTF-8; exit code 0 when read
//   console_probe type PID TEXT      TEXT and Enter typed into the console's input, as keys;
//                                    exit code 0 when they were put there
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "core/utf8.h"
#include "win/handles.h"

namespace {

bool Attach(const wchar_t* pid) {
  FreeConsole();
  return AttachConsole(static_cast<DWORD>(std::wcstoul(pid, nullptr, 10))) != FALSE;
}

int SendCtrlC(const wchar_t* pid) {
  if (!Attach(pid)) return 1;
  // The event goes to every process on the console, this one too: this one ignores it.
  SetConsoleCtrlHandler(nullptr, TRUE);
  const BOOL sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
  FreeConsole();
  return sent ? 0 : 1;
}

int CopyScreen(const wchar_t* pid, const wchar_t* file) {
  if (!Attach(pid)) return 1;
  rarbatch::UniqueHandle screen(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!screen || !GetConsoleScreenBufferInfo(screen.get(), &info)) return 1;
  std::wstring text;
  std::wstring row(static_cast<std::size_t>(info.dwSize.X), L' ');
  for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
    DWORD read = 0;
    if (!ReadConsoleOutputCharacterW(screen.get(), row.data(), static_cast<DWORD>(row.size()), COORD{0, y}, &read)) return 1;
    std::wstring line = row.substr(0, read);
    line.erase(line.find_last_not_of(L' ') + 1);
    text += line + L"\n";
  }
  screen.reset();
  FreeConsole();
  const std::string bytes = rarbatch::ToUtf8(text).value_or("");
  rarbatch::UniqueHandle out(CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return out && WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ? 0 : 1;
}

int Type(const wchar_t* pid, const std::wstring& text) {
  if (!Attach(pid)) return 1;
  rarbatch::UniqueHandle input(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                           nullptr, OPEN_EXISTING, 0, nullptr));
  if (!input) return 1;
  std::vector<INPUT_RECORD> keys;
  const auto key = [&keys](wchar_t c, WORD virtualKey) {
    for (const BOOL down : {TRUE, FALSE}) {
      INPUT_RECORD record{};
      record.EventType = KEY_EVENT;
      record.Event.KeyEvent.bKeyDown = down;
      record.Event.KeyEvent.wRepeatCount = 1;
      record.Event.KeyEvent.wVirtualKeyCode = virtualKey;
      record.Event.KeyEvent.uChar.UnicodeChar = c;
      keys.push_back(record);
    }
  };
  for (const wchar_t c : text) key(c, 0);
  key(L'\r', VK_RETURN);
  DWORD written = 0;
  const BOOL ok = WriteConsoleInputW(input.get(), keys.data(), static_cast<DWORD>(keys.size()), &written);
  input.reset();
  FreeConsole();
  return ok && written == keys.size() ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wcscmp(argv[1], L"ctrl-c") == 0) return SendCtrlC(argv[2]);
  if (argc == 4 && std::wcscmp(argv[1], L"screen") == 0) return CopyScreen(argv[2], argv[3]);
  if (argc == 4 && std::wcscmp(argv[1], L"type") == 0) return Type(argv[2], argv[3]);
  return 2;
}
