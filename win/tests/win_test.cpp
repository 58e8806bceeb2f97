// The Windows plumbing: strict code-page conversion, error text with its number, and the window base
// handing a window's messages to its object for exactly the window's life.
#include <gtest/gtest.h>

#include <vector>

#include "win/error_text.h"
#include "win/handles.h"
#include "win/text.h"
#include "win/window.h"

namespace rarbatch {
namespace {

TEST(ToCodePage, ReportsEveryLostCharacter) {
  EXPECT_EQ(ToCodePage(L"压缩 包.rar", 936), std::string("\xD1\xB9\xCB\xF5 \xB0\xFC.rar"));
  EXPECT_EQ(ToCodePage(L"k\u00e4se", 936), std::nullopt) << "no best fit";
  EXPECT_EQ(ToCodePage(L"k\u00e4se", 1252), std::string("k\xE4se"));
  EXPECT_EQ(ToCodePage(L"\U0001F600", 936), std::nullopt);
  EXPECT_EQ(ToCodePage(std::wstring(1, L'\xD800'), CP_UTF8), std::nullopt) << "a lone surrogate";
  EXPECT_EQ(ToCodePage(L"", 936), std::string());
  EXPECT_EQ(FromCodePage("\xD1\xB9\xCB\xF5", 936), L"压缩");
}

TEST(SystemErrorText, PutsTheNumberFirst) {
  const std::wstring denied = SystemErrorText(ERROR_ACCESS_DENIED);
  EXPECT_EQ(denied.rfind(L"错误 5：", 0), 0u) << ::testing::PrintToString(denied);
  EXPECT_GT(denied.size(), 5u) << "with the system's text";
  EXPECT_NE(denied.back(), L'\n');
  EXPECT_EQ(SystemErrorText(0x7FFFFFF0), L"错误 2147483632") << "a code the system has no text for";
  EXPECT_EQ(DescribeFailure(L"无法创建", L"C:\\x", 5), L"无法创建：C:\\x\n" + denied);
}

// Records the messages it is handed.
class RecordingWindow : public Window {
 public:
  ~RecordingWindow() override { DestroyNow(); }
  HWND Create() {
    WNDCLASSEXW windowClass{};
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"rarbatch test window";
    return CreateFor(windowClass, 0, L"test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr);
  }
  std::vector<UINT> Seen;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    Seen.push_back(message);
    return DefaultHandling(message, wParam, lParam);
  }
};

TEST(Window, HandsEveryMessageToItsObjectUntilTheWindowIsGone) {
  RecordingWindow first, second;  // two windows of one class
  ASSERT_NE(first.Create(), nullptr);
  ASSERT_NE(second.Create(), nullptr);
  EXPECT_EQ(first.Seen.front(), static_cast<UINT>(WM_NCCREATE));
  SendMessageW(first.Handle(), WM_USER + 7, 0, 0);
  EXPECT_EQ(first.Seen.back(), static_cast<UINT>(WM_USER + 7));
  EXPECT_NE(second.Seen.back(), static_cast<UINT>(WM_USER + 7));

  HWND gone = second.Handle();
  DestroyWindow(gone);  // destroyed from outside: the object lets go of it
  EXPECT_EQ(second.Handle(), nullptr);
  EXPECT_FALSE(IsWindow(gone));
}

TEST(UniqueHandle, ClosesOnceAndTakesInvalidAsEmpty) {
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  {
    UniqueHandle owner(event);
    UniqueHandle moved(std::move(owner));
    EXPECT_FALSE(owner);
    EXPECT_EQ(moved.get(), event);
  }
  EXPECT_FALSE(SetEvent(event)) << "closed when its owner went";
  EXPECT_FALSE(UniqueHandle(INVALID_HANDLE_VALUE));
}

// A window whose handler throws: the exception never reaches the system's code, the window is told,
// and it lives on.
class ThrowingWindow : public Window {
 public:
  ThrowingWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"rarbatch throwing test window";
    CreateFor(windowClass, 0, L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr);
  }
  ~ThrowingWindow() override { DestroyNow(); }
  std::string failure;
  int failures = 0;

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_APP) throw std::runtime_error("handler broke");
    if (message == WM_APP + 1) throw 42;
    return DefaultHandling(message, wParam, lParam);
  }
  void OnFailure(const char* what) noexcept override {
    failure = what;
    ++failures;
  }
};

TEST(Window, AnExceptionInAHandlerIsReportedAndTheWindowLivesOn) {
  ThrowingWindow window;
  ASSERT_NE(window.Handle(), nullptr);
  SendMessageW(window.Handle(), WM_APP, 0, 0);
  EXPECT_EQ(window.failure, "handler broke");
  SendMessageW(window.Handle(), WM_APP + 1, 0, 0);
  EXPECT_EQ(window.failure, "");
  EXPECT_EQ(window.failures, 2);
  EXPECT_TRUE(IsWindow(window.Handle()));
}

}  // namespace
}  // namespace rarbatch
