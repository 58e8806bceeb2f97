// 按内容删除: the window that lists the samples whose content the job deletes from every archive,
// whatever the entry's name. It belongs to the main window, which it keeps disabled while it is open,
// as a dialog does: 确定 hands the list back, 取消 and closing leave the job as it was. Each file is
// read on a thread of its own, so that a large one never holds up the window.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/batch_script.h"
#include "win/handles.h"
#include "win/threads.h"
#include "win/window.h"

namespace rarbatch {

inline constexpr wchar_t kSamplesTitle[] = L"按内容删除";

class SamplesWindow : public Window {
 public:
  // Control identifiers, for tests that press the buttons. 确定 and 取消 are IDOK and IDCANCEL, so
  // that Enter and Esc press them.
  enum ControlId : int {
    kList = 300,  // the list view: 名称, 大小, SHA-256, 来源
    kStatusLine,  // how many samples, what is being read, what was skipped
    kAdd,         // 添加…
    kRemove,      // 删除
    kOk = IDOK,
    kCancel = IDCANCEL,
  };

  // `apply` receives the window's samples when the user presses 确定.
  SamplesWindow(std::vector<ContentSample> samples, std::function<void(std::vector<ContentSample>)> apply);
  ~SamplesWindow() override;

  // Creates the window owned by `owner`, disables the owner and shows the window. Null on failure,
  // with the owner left as it was.
  HWND Open(HINSTANCE instance, HWND owner);

  // The samples as the window lists them, in order.
  const std::vector<ContentSample>& Samples() const { return samples_; }
  // Reads each file of `paths` (folders are refused) away from this thread and lists it as a sample,
  // as 添加… and a drop do; once all are read, one message tells of the files left out.
  void AddFiles(const std::vector<std::wstring>& paths);
  // Whether files are still being read, or what was read is not yet listed and told.
  bool IsReading() const;

 private:
  // One file as the reader found it.
  struct ReadOutcome {
    std::wstring Path;
    std::optional<ContentSample> Sample;
    DWORD Error = ERROR_SUCCESS;
  };

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnFailure(const char* what) noexcept override;
  bool CreateControls();
  void ApplyDpi(unsigned dpi);
  void Layout();
  void OnCommand(int id);
  void OnAdd();
  void OnRemove();
  // Ends the window: with `apply`, hands the samples to the main window first.
  void Finish(bool apply);
  void AppendRow(const ContentSample& sample);

  // The reader thread: takes the pending paths one by one until none is left or the window stops it.
  void ReadPending() noexcept;
  void Post(UINT message);
  // On the window's thread: lists what the reader has read so far.
  void TakeReadFiles();
  // On the window's thread, once the reader has ended: the message about the files left out.
  void EndReading();
  void ShowStatus();
  bool ReaderRunning() const;

  std::vector<ContentSample> samples_;
  std::function<void(std::vector<ContentSample>)> apply_;
  HWND owner_ = nullptr;
  bool ownerDisabled_ = false;
  unsigned dpi_ = USER_DEFAULT_SCREEN_DPI;
  UniqueFont font_;

  // Shared with the reader, under lock_.
  mutable Mutex lock_;
  std::deque<std::wstring> pending_;
  std::vector<ReadOutcome> read_;
  std::wstring reading_;  // the file being read
  bool readerRunning_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<HWND> postTarget_{nullptr};
  Thread reader_;

  // The window's thread only: the files of the additions since the last message.
  std::size_t batchTotal_ = 0;
  std::size_t batchDone_ = 0;
  std::size_t skipped_ = 0;                // already listed
  std::vector<std::wstring> problems_;     // files left out, each in a line
};

}  // namespace rarbatch
