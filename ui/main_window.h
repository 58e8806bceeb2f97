// frmMain: the program's main window, the only store of the job, and the wiring of every button.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "core/batch_script.h"
#include "dialogs/file_picker.h"
#include "lists/folder_import.h"
#include "run/script_runner.h"
#include "ui/preview_window.h"
#include "ui/results_window.h"
#include "ui/samples_window.h"
#include "win/handles.h"
#include "win/user_settings.h"
#include "win/window.h"

namespace rarbatch {

// The window's caption, also the title of every message box the program shows.
inline constexpr wchar_t kAppTitle[] = L"WINRAR 压缩包批量处理";

class MainWindow : public Window {
 public:
  struct Options {
    // Where tmp.bat goes; empty means the program's own folder (what the program always uses).
    std::wstring ProgramFolder;
    // Archives worked on at once when the job runs in the program; 0 means one per processor, at
    // most 4.
    unsigned Workers = 0;
    // Closing the window ends the message loop of the program.
    bool QuitOnClose = true;
    // The per-user settings file (SettingsFilePath); empty: nothing is remembered.
    std::wstring SettingsFile;
    // At start, an empty archiver box is filled with the archiver found by FindArchiver.
    bool LookForArchiver = false;
  };

  MainWindow();
  explicit MainWindow(Options options);
  ~MainWindow() override;

  // Creates the window with all its controls, sized for its DPI, not yet shown. Null on failure.
  HWND Create(HINSTANCE instance);

  const std::wstring& MyPath() const { return strMyPath_; }
  unsigned Dpi() const { return dpi_; }

  // The job as the window holds it at this moment.
  BatchJob GatherJob() const;
  // The window's job when the program's own run (or its preview) can take it; otherwise the user is
  // told why (no archiver, or the run's checks refuse it) and there is none.
  std::optional<BatchJob> RunnableJob();

  // Replaces the window's job with the one in the job file at `path`: the three lists, the archiver
  // and comment paths, the options, the samples; the password box is emptied. Shows nothing: an empty result, or
  // the reason the file was refused, in which case the window is unchanged (or, should the system
  // run out of memory while the lists are filled, says which list was left short).
  std::wstring LoadJobFile(const std::wstring& path);
  // As LoadJobFile, and tells the user why a file was refused.
  void OpenJobFile(const std::wstring& path) noexcept;
  // Writes the window's job to `path` as a job file, without the password. Empty, or why not.
  std::wstring SaveJobFile(const std::wstring& path) const;

  // The process of the last script started, while the window keeps it; null before the first.
  HANDLE ScriptProcess() const { return script_.get(); }
  // The results window of the last job run in the program, or null.
  ResultsWindow* Results() const { return results_.get(); }
  // The last preview window, or null.
  PreviewWindow* Preview() const { return preview_.get(); }
  // The last samples window (按内容删除…), or null.
  SamplesWindow* Samples() const { return samplesWindow_.get(); }

  // What is at work on the archives: a script that still runs, a run in the program, a preview that
  // still reads them. Each of them, and a restore, renames over or reads the same archives, so one
  // may start only while none of the others goes on. The reason, in words that end with `action`
  // (生成, 预览, 还原, 重试), or nothing when nothing is at work.
  std::optional<std::wstring> BusyWith(const wchar_t* action) const;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnFailure(const char* what) noexcept override;

  // Creates every control of the table; false when one could not be made.
  bool CreateControls();
  void ApplyDpi(unsigned dpi, const RECT* suggested);
  void OnCommand(int id, int notification);
  void OnActivate(bool active);
  bool OnClose();
  void GenerateScript();
  void RunInWindow();
  HBRUSH OnLinkColor(HDC dc);

  // Runs one event handler; whatever it throws is reported and the window carries on.
  void Guarded(const wchar_t* action, void (MainWindow::*handler)()) noexcept;

  void Form_Load();
  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Command4_Click();
  void Command5_Click();
  void Command6_Click();
  void Command7_Click();
  void Command8_Click();
  void Command9_Click();
  void Command10_Click();
  void Command11_Click();
  void Command12_Click();
  void Command13_Click();
  void Label2_Click();
  void Command14_Click();
  // 按内容删除…: opens the samples window on the job's samples.
  void Command15_Click();
  // The job's samples replaced, and the count on Command15.
  void SetSamples(std::vector<ContentSample> samples);
  // The preview's 开始处理: runs the previewed job as the generate button with Check3 does, when the
  // window still holds that job; true when the run started.
  bool RunPreviewedJob(const BatchJob& previewed);
  // The system menu's commands (main_window_menu.cpp): job files and restoring from a backup.
  void AddSystemMenuCommands();
  bool OnSystemCommand(WPARAM command);
  void SaveJob_Click();
  void OpenJob_Click();
  // Remembers the archiver and the import folders in the settings file, when they changed.
  void RememberSettings();
  void Check3_Click();
  void RestoreFromBackup();
  bool FreeFor(const wchar_t* action);
  bool PrepareBackups(BatchJob& job);

  std::optional<std::wstring> PickAndReport(const FilePickerUse& use);

  Options options_;
  HWND lastFocus_ = nullptr;
  unsigned dpi_ = USER_DEFAULT_SCREEN_DPI;
  UniqueFont font_;
  UniqueFont linkFont_;
  FileList file1_;
  FileList file2_;
  std::wstring strMyPath_;
  // The last script started: a second press is refused while it runs, and a script holding a
  // password is deleted once it ends (also after the window has closed).
  UniqueHandle script_;
  ScriptFileCleanup scriptCleanup_;
  // The job run in the program, with its results: kept until the next run replaces it. Destroying it
  // waits for the archiver calls still running.
  std::unique_ptr<ResultsWindow> results_;
  // The last preview.
  std::unique_ptr<PreviewWindow> preview_;
  // The samples of content to delete: part of the job, kept here as no control can hold them.
  std::vector<ContentSample> samples_;
  // The last samples window; the main window is disabled while it is open.
  std::unique_ptr<SamplesWindow> samplesWindow_;
  // What the settings file held, or was last written with.
  Settings settings_;
  // The run options of the job file last opened, written again when the job is saved.
  std::string runOptions_ = "{}";
  // The folder the last run's backups went into, or the opened job's: where the backup folder picker
  // starts, and what a saved job keeps as its backup folder.
  std::wstring backupParent_;
};

}  // namespace rarbatch
