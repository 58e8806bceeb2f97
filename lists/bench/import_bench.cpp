// Importing a folder of 32,767 archives into a list box, against a bare enumeration of the same
// folder in the same run; and dropping the same archives on the list, as their folder and as that
// many files. A Windows program (run under Wine on Linux); it times with the
// performance counter, as Google Benchmark is not built for the Windows targets.
//
// Usage: lists_import_bench [FILES] [ROUNDS] [FOLDER]. Without FOLDER it makes FILES archives in a
// fresh folder under %TEMP% and removes it afterwards; given FOLDER (ending in a backslash), which must
// hold exactly FILES files ending in ".rar", it uses that one as it is. Making the files through Wine
// takes minutes, so `make bench` makes them on the Linux side and passes the folder. It times ROUNDS
// rounds of each and prints the median and the fastest.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "lists/dropped_files.h"
#include "lists/folder_import.h"
#include "lists/item_list.h"

namespace {

double Now() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / frequency;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// What the import cannot do without: one pass over the folder's entries, as the import makes it.
int BareEnumeration(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &found,
                                 FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return -1;
  int entries = 0;
  do {
    ++entries;
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return entries;
}

bool MakeFiles(const std::wstring& folder, int count) {
  wchar_t name[64];
  for (int i = 0; i < count; ++i) {
    // Not in order, so that the sort has work to do.
    const int n = static_cast<int>((static_cast<unsigned>(i) * 7919u) % static_cast<unsigned>(count));
    std::swprintf(name, 64, L"Archive %05d.rar", n);
    HANDLE file = CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
  }
  return true;
}

void RemoveFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((folder + found.cFileName).c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int files = argc > 1 ? std::max(1, _wtoi(argv[1])) : rarbatch::kMaxListItems;
  const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 5;

  // Without a folder given, the benchmark makes its own and removes it afterwards.
  const bool own = argc <= 3;
  std::wstring folder;
  if (own) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder = std::wstring(temp) + L"rarbatch-import-bench-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
      std::fprintf(stderr, "lists_import_bench: cannot create the folder (error %lu)\n", GetLastError());
      return 1;
    }
    const double made = Now();
    if (!MakeFiles(folder, files)) {
      std::fprintf(stderr, "lists_import_bench: cannot create the files (error %lu)\n", GetLastError());
      RemoveFolder(folder);
      return 1;
    }
    std::printf("made %d files in %.2f s\n", files, Now() - made);
  } else {
    folder = argv[3];
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
  }

  // A shown window with a list of the program's own kind, as on the main window.
  HWND window = CreateWindowExW(0, L"STATIC", L"import_bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                480, 400, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  HWND list = rarbatch::CreateItemList(window, 1, 10, 10, 440, 340);
  rarbatch::FileList archives;
  archives.Pattern = L"*.rar";

  // The import as a whole, and apart: listing (enumeration, pattern test and sort) and appending.
  std::vector<double> bare, import, listing, appending, dropFolder, dropFiles;
  int status = 0;
  for (int round = 0; round < rounds && status == 0; ++round) {
    double t0 = Now();
    const int entries = BareEnumeration(folder);
    bare.push_back(Now() - t0);

    rarbatch::Clear(list);
    t0 = Now();
    const int appended = rarbatch::ImportFolderFrom(list, archives, folder).Appended;
    import.push_back(Now() - t0);

    std::vector<std::wstring> names;
    DWORD error = 0;
    t0 = Now();
    rarbatch::ListMatchingFiles(folder, archives.Pattern, names, error);
    listing.push_back(Now() - t0);
    for (auto& name : names) name.insert(0, folder);
    rarbatch::Clear(list);
    t0 = Now();
    rarbatch::AppendMany(list, names);
    appending.push_back(Now() - t0);

    // A drop: what a drop on the archive list does, without the window's message handling.
    rarbatch::Clear(list);
    t0 = Now();
    const int fromFolder = rarbatch::AppendBatch(list, rarbatch::CollectDroppedArchives({folder}).Archives).Appended;
    dropFolder.push_back(Now() - t0);
    rarbatch::Clear(list);
    t0 = Now();
    const int fromFiles = rarbatch::AppendBatch(list, rarbatch::CollectDroppedArchives(names).Archives).Appended;
    dropFiles.push_back(Now() - t0);

    // "." and ".." come with the entries of a folder that is not a drive root.
    if (entries < files || appended != files || fromFolder != files || fromFiles != files ||
        rarbatch::Count(list) != files) {
      std::fprintf(stderr,
                   "lists_import_bench: %d entries, %d appended (%d and %d dropped), %d in the list; "
                   "expected %d\n",
                   entries, appended, fromFolder, fromFiles, rarbatch::Count(list), files);
      status = 1;
    }
  }
  DestroyWindow(window);
  if (own) RemoveFolder(folder);
  if (status != 0) return status;

  const auto report = [](const char* what, const std::vector<double>& times) {
    std::printf("%-17s median %7.1f ms, fastest %7.1f ms\n", what, Median(times) * 1e3,
                *std::min_element(times.begin(), times.end()) * 1e3);
  };
  std::printf("files %d, rounds %d\n", files, rounds);
  report("bare enumeration:", bare);
  report("import:", import);
  report("  listing:", listing);
  report("  appending:", appending);
  report("drop, the folder:", dropFolder);
  report("drop, each file:", dropFiles);
  std::printf("ratio (median import / median bare): %.2fx\n", Median(import) / Median(bare));
  std::printf("ratio (median drop / median import): folder %.2fx, each file %.2fx\n",
              Median(dropFolder) / Median(import), Median(dropFiles) / Median(import));
  return 0;
}
