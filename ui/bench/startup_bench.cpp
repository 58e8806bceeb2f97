// Start-up to a shown, idle window: rarbatch.exe against a bare one-window program, both started
// from here in turns. Prints the medians and their ratio. Usage: ui_startup_bench [runs]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

std::wstring Beside(const wchar_t* name) {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  return path.substr(0, path.find_last_of(L'\\') + 1) + name;
}

// Milliseconds from CreateProcess until the program waits for input with its window shown.
double TimeToIdle(const std::wstring& exe) {
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return -1;
  }
  const DWORD waited = WaitForInputIdle(info.hProcess, 30000);
  QueryPerformanceCounter(&end);
  TerminateProcess(info.hProcess, 0);
  WaitForSingleObject(info.hProcess, 10000);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  if (waited != 0) return -1;
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 15;
  const std::wstring program = Beside(L"rarbatch.exe");
  const std::wstring baseline = Beside(L"ui_bare_window.exe");
  TimeToIdle(baseline);  // warm the caches for both
  TimeToIdle(program);
  std::vector<double> programTimes, baselineTimes;
  for (int i = 0; i < runs; ++i) {
    const double b = TimeToIdle(baseline);
    const double p = TimeToIdle(program);
    if (b < 0 || p < 0) {
      std::fprintf(stderr, "a program did not reach its message loop\n");
      return 1;
    }
    baselineTimes.push_back(b);
    programTimes.push_back(p);
  }
  const double b = Median(baselineTimes), p = Median(programTimes);
  std::printf("start-up to idle window, median of %d: bare window %.1f ms, rarbatch %.1f ms, ratio %.2f\n",
              runs, b, p, p / b);
  return 0;
}
