// The window's controls as one table, in tab order, with their places in twips.
#pragma once

namespace rarbatch {

enum class ControlKind { Frame, TextBox, Button, List, Label, Link, FileList, CheckBox };

// Control identifiers: 100 plus the tab index, so none collides with IDOK or IDCANCEL, which the
// dialog manager sends for Enter and Esc.
enum ControlId : int {
  kWindow = 0,
  Frame1 = 100,  // frame: where the archiver is
  Text1,         // the archiver's path (Rar.exe)
  Command1,      // pick the archiver
  Frame2,        // frame: names to delete
  List1,         // the delete list
  Text2,         // a name to delete, typed
  Label1,        // "文件名："
  Command2,      // add the typed name to the delete list
  Command3,      // remove the selected names
  Command4,      // clear the delete list
  Frame3,        // frame: archives to process
  Command5,      // clear the archive list
  Command6,      // remove the selected archives
  List2,         // the archive list
  Command8,      // import the .rar files of a folder
  File1,         // hidden: the folder last imported into the archive list
  Frame4,        // frame: comment file
  Command7,      // pick the comment file
  Text3,         // the comment file's path
  Command9,      // generate tmp.bat and run it
  Frame5,        // frame: files to add
  Command10,     // import all files of a folder
  List3,         // the add list
  Command11,     // remove the selected files
  Command12,     // clear the add list
  File2,         // hidden: the folder last imported into the add list
  Frame6,        // frame: other options
  Check1,        // lock the archives
  Check2,        // add the files under a password
  Text4,         // the password
  Label2,        // the web link
  Command13,     // pick one file to add
  Label3,        // the site's name
  Check3,        // run the job in the program and show every archive's result
  Command14,     // preview: what the job would do to each archive, changing nothing
  Frame7,        // frame: options of the run in the program
  Check4,        // copy each archive to a backup folder before its first change
  Check5,        // keep each archive's times
  Check6,        // test each archive before it is locked
  Command15,     // the samples of content to delete: 按内容删除…
};

struct ControlRow {
  ControlKind Kind;
  int Id;
  const wchar_t* Name;
  int Container;  // kWindow or the Id of a frame; Left and Top are relative to it
  const wchar_t* Caption;
  int Left, Top, Width, Height;  // twips
};

// 1,440 twips to the inch.
inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kClientWidthTwips = 7155;
inline constexpr int kClientHeightTwips = 8970;

// Every control, in tab order. Label2 and Label3 take their captions from web_link.h at creation.
inline constexpr ControlRow kControls[] = {
    {ControlKind::Frame, Frame1, L"Frame1", kWindow, L"WINRAR 的安装目录", 90, 90, 6945, 690},
    {ControlKind::TextBox, Text1, L"Text1", Frame1, L"", 135, 270, 5460, 240},
    {ControlKind::Button, Command1, L"Command1", Frame1, L"浏览(&B)", 5715, 225, 1140, 285},
    {ControlKind::Frame, Frame2, L"Frame2", kWindow, L"需要从压缩包里删除的文件列表", 90, 2475, 6945, 1680},
    {ControlKind::List, List1, L"List1", Frame2, L"", 135, 270, 6630, 960},
    {ControlKind::TextBox, Text2, L"Text2", Frame2, L"", 1035, 1305, 3300, 240},
    {ControlKind::Label, Label1, L"Label1", Frame2, L"文件名：", 270, 1350, 720, 180},
    {ControlKind::Button, Command2, L"Command2", Frame2, L"添加", 4410, 1305, 780, 285},
    {ControlKind::Button, Command3, L"Command3", Frame2, L"删除", 5265, 1305, 780, 285},
    {ControlKind::Button, Command4, L"Command4", Frame2, L"清空", 6120, 1305, 690, 285},
    {ControlKind::Frame, Frame3, L"Frame3", kWindow, L"需要处理的压缩包列表", 90, 855, 6945, 1545},
    {ControlKind::Button, Command5, L"Command5", Frame3, L"清空", 6075, 1125, 690, 285},
    {ControlKind::Button, Command6, L"Command6", Frame3, L"删除", 5175, 1125, 780, 285},
    {ControlKind::List, List2, L"List2", Frame3, L"", 135, 270, 6630, 780},
    {ControlKind::Button, Command8, L"Command8", Frame3, L"浏览", 4275, 1125, 780, 285},
    {ControlKind::FileList, File1, L"File1", Frame3, L"*.rar", 4860, 315, 1860, 990},
    {ControlKind::Frame, Frame4, L"Frame4", kWindow, L"选择注释文本文件", 135, 5940, 6945, 690},
    {ControlKind::Button, Command7, L"Command7", Frame4, L"浏览(&B)", 5715, 225, 1140, 285},
    {ControlKind::TextBox, Text3, L"Text3", Frame4, L"", 135, 270, 5460, 240},
    {ControlKind::Button, Command9, L"Command9", kWindow, L"生成 BAT 文件并且运行", 4095, 7650, 2985, 285},
    {ControlKind::Frame, Frame5, L"Frame5", kWindow, L"需要添加到压缩包的文件列表", 90, 4230, 6945, 1545},
    {ControlKind::Button, Command10, L"Command10", Frame5, L"添加文件夹", 3825, 1125, 1230, 285},
    {ControlKind::List, List3, L"List3", Frame5, L"", 135, 270, 6630, 780},
    {ControlKind::Button, Command11, L"Command11", Frame5, L"删除", 5175, 1125, 780, 285},
    {ControlKind::Button, Command12, L"Command12", Frame5, L"清空", 6075, 1125, 690, 285},
    {ControlKind::FileList, File2, L"File2", kWindow, L"*.*", 4950, 4365, 1860, 990},
    {ControlKind::Frame, Frame6, L"Frame6", kWindow, L"其它选项", 135, 6705, 6945, 825},
    {ControlKind::CheckBox, Check1, L"Check1", Frame6, L"锁定压缩文件(k 锁)", 90, 270, 1950, 195},
    {ControlKind::CheckBox, Check2, L"Check2", Frame6, L"添加密码  密码为:", 90, 540, 2940, 180},
    {ControlKind::TextBox, Text4, L"Text4", Frame6, L"", 1890, 495, 2850, 270},
    {ControlKind::Link, Label2, L"Label2", kWindow, L"", 135, 7695, 1980, 180},
    {ControlKind::Button, Command13, L"Command13", Frame5, L"添加单个文件", 2250, 1125, 1500, 285},
    {ControlKind::Label, Label3, L"Label3", kWindow, L"", 2295, 7695, 1080, 180},
    {ControlKind::CheckBox, Check3, L"Check3", Frame6, L"在本窗口中运行并显示结果", 2250, 270, 3150, 195},
    // Added below the original window, which keeps its every place: the preview button beside the
    // generate button, and a row of options for the run in the program.
    {ControlKind::Button, Command14, L"Command14", kWindow, L"预览", 3435, 7650, 600, 285},
    {ControlKind::Frame, Frame7, L"Frame7", kWindow, L"在本窗口中运行时", 135, 7995, 6945, 525},
    {ControlKind::CheckBox, Check4, L"Check4", Frame7, L"修改前备份原压缩包", 90, 270, 2100, 195},
    {ControlKind::CheckBox, Check5, L"Check5", Frame7, L"保留压缩包的修改时间", 2250, 270, 2250, 195},
    {ControlKind::CheckBox, Check6, L"Check6", Frame7, L"处理后测试压缩包", 4590, 270, 2100, 195},
    // A row of its own below them: the samples whose content the run deletes, whatever the names.
    {ControlKind::Button, Command15, L"Command15", kWindow, L"按内容删除…", 135, 8595, 1995, 285},
};

inline constexpr int kControlCount = static_cast<int>(sizeof kControls / sizeof kControls[0]);

// The table row of a control.
inline constexpr const ControlRow& Row(int id) { return kControls[id - Frame1]; }

// Twips to pixels at `dpi`, rounded to the nearest pixel as MulDiv does.
inline constexpr int TwipsToPixels(int twips, unsigned dpi) {
  const long long product = static_cast<long long>(twips) * dpi;
  return static_cast<int>(product >= 0 ? (product + kTwipsPerInch / 2) / kTwipsPerInch
                                       : -((-product + kTwipsPerInch / 2) / kTwipsPerInch));
}

struct PixelRect {
  int X, Y, Width, Height;
};

// Where a control sits in the window's client area at `dpi`. The offset of its frame is added in
// twips first, so a control converts once and its frame's rounding does not shift it.
inline constexpr PixelRect ControlRect(const ControlRow& row, unsigned dpi) {
  int left = row.Left;
  int top = row.Top;
  if (row.Container != kWindow) {
    left += Row(row.Container).Left;
    top += Row(row.Container).Top;
  }
  return {TwipsToPixels(left, dpi), TwipsToPixels(top, dpi), TwipsToPixels(row.Width, dpi),
          TwipsToPixels(row.Height, dpi)};
}

}  // namespace rarbatch
