// The table both result windows are built on: a window owned by the main window with a list of
// archives (压缩包, a state column, 说明), a progress bar, a status line and a row of buttons, and what
// every such table does: sorting by a column header, showing only the rows that need attention,
// archive paths below their common folder, a mark beside each state, a row's detail on Enter or a
// double click, and copying or saving the report.
#pragma once

#include <atomic>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "core/table_order.h"
#include "ui/detail_window.h"
#include "win/handles.h"
#include "win/window.h"

namespace rarbatch {

class TableWindow : public Window {
 public:
  // Control identifiers, for tests that press the buttons. The windows add their own buttons.
  enum ControlId : int {
    kTable = 200,   // the list view: 压缩包, the state, 说明
    kProgress,      // the progress bar
    kStatusLine,    // "已完成 …"
    kCopy = 205,    // 复制报告
    kSave,          // 保存报告…
    kClose,         // 关闭
    kAttentionOnly = 240,  // 只显示需要处理的
  };

  ~TableWindow() override;

  // Asks the user whether to stop when work is going on; true when the window may close now or will
  // close once the work ends.
  virtual bool ConfirmClose() { return true; }

  // The table as the copy and save buttons hand it out.
  virtual std::wstring ReportText() const = 0;
  // Writes the report to `path` as UTF-8 text; the error message, or empty on success.
  std::wstring SaveReport(const std::wstring& path) const;
  // The detail text of the archive at `archive` in the job.
  virtual std::wstring DetailText(std::size_t archive) const = 0;

  // The archive shown at `position` in the table (after sorting and filtering), by its place in the
  // job and by its full path; `RowCount()` when no row is there.
  std::size_t ArchiveAt(int position) const;
  std::wstring ArchivePathAt(int position) const;

 protected:
  // Called on the worker threads of the work the window shows: archive `row`'s row changed, or the
  // work ended. The window hears of it on its own thread (OnRowChanged, OnWorkEnded), from Listen on
  // until it is being destroyed.
  void PostRowChanged(std::size_t row);
  void PostWorkEnded();
  void Listen() { postTarget_ = Handle(); }
  void StopListening() { postTarget_ = nullptr; }
  // For a window's destructor, before the work it shows goes: no post reaches it after this.
  void EndBeforeTheWork() {
    StopListening();
    DestroyNow();
  }
  virtual void OnRowChanged(std::size_t row) = 0;
  virtual void OnWorkEnded() = 0;

  struct Button {
    int Id;
    const wchar_t* Caption;
    int Width;  // at 96 DPI
  };
  // A row as it is first shown: the archive's full path, its state and words.
  struct Row {
    std::wstring Archive, State, Words;
  };
  struct Look {
    const wchar_t* Title;
    const wchar_t* StateColumn;
    const wchar_t* StatusText;
    const wchar_t* DetailTitle;  // before " - " and the archive in the detail window's title
  };

  TableWindow() = default;

  // Creates the window owned by `owner`, sized for its DPI, with the table holding `rows`, the
  // progress bar, the status line, the filter and `buttons` (left to right, in tab order). False,
  // with nothing left, on failure.
  bool Create(HINSTANCE instance, HWND owner, const Look& look, std::vector<Row> rows,
              const std::vector<Button>& buttons);
  // Fonts for the DPI, shown, the table focused.
  void ShowAndFocus();

  // Sets one row's state and words; the table sorts and filters anew shortly after.
  void SetRow(std::size_t archive, const std::wstring& state, const std::wstring& words);
  std::size_t RowCount() const { return rows_.size(); }
  const TableCells& Cells(std::size_t archive) const { return rows_[archive]; }
  // Sorts and filters now, keeping the focused archive focused.
  void ApplyOrder();

  // The messages of the table, its buttons and the frame; the windows pass on what they do not handle.
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnFailure(const char* what) noexcept override;
  // A button of the window's own; false when it is not one.
  virtual bool OnButton(int id) = 0;
  // Whether the window may close now (no work is going on that it waits for).
  virtual bool MayCloseAtOnce() const = 0;
  // After the common layout: a window places what it adds.
  virtual void LayoutMore() {}
  // Colours of a row (text, background); false for the usual ones.
  virtual bool RowColours(std::size_t archive, COLORREF& text, COLORREF& back) const {
    (void)archive, (void)text, (void)back;
    return false;
  }
  // A control that lost its use keeps no focus: the table takes it.
  void KeepFocusUsable();
  void ShowDetail(std::size_t archive);

  unsigned Dpi() const { return dpi_; }
  HWND Owner() const { return owner_; }

 private:
  std::atomic<HWND> postTarget_{nullptr};  // see Listen
  bool CreateControls(const Look& look, const std::vector<Button>& buttons);
  bool CreateColumns(HWND table, const wchar_t* stateColumn);
  void MakeStateMarks();
  void ApplyDpi(unsigned dpi);
  void Layout();
  void LayoutColumns(HWND table);
  LRESULT OnTableNotify(LPARAM lParam);
  void FillCell(NMLVDISPINFOW& info) const;
  LRESULT CustomDraw(LPARAM lParam) const;
  void OnHeaderClick(int column);
  void ShowSortArrow();
  void OnCommand(int id);
  void CopyReport();
  void SaveReportAs();

  Look look_{};
  std::vector<Button> buttons_;
  std::vector<std::wstring> paths_;   // full paths, in the job's order
  std::vector<TableCells> rows_;      // as shown, in the job's order
  std::vector<std::size_t> shown_;    // the rows the table shows, in its order
  TableOrder order_;
  bool orderStale_ = false;
  unsigned dpi_ = USER_DEFAULT_SCREEN_DPI;
  UniqueFont font_;
  struct ImageListDestroyer {
    void operator()(HIMAGELIST list) const { ImageList_Destroy(list); }
  };
  // The marks beside the states, made for the DPI; the table shares them and never frees them.
  std::unique_ptr<std::remove_pointer_t<HIMAGELIST>, ImageListDestroyer> marks_;
  HWND owner_ = nullptr;
  std::unique_ptr<DetailWindow> detail_;
};

}  // namespace rarbatch
