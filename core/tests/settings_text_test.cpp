// settings.ini: what is written comes back, and a damaged or foreign file gives what it can.
#include "core/settings_text.h"

#include <gtest/gtest.h>

namespace rarbatch {
namespace {

TEST(SettingsText, RoundTripsPathsOfAnyCharacters) {
  const Settings settings{L"C:\\Program Files\\工具 = x\\Rar.exe", L"D:\\归档 ภาษาไทย 😀 ", L""};
  EXPECT_EQ(ParseSettings(FormatSettings(settings)), settings);
  // A value that would break its line is left out rather than cut.
  const Settings broken{L"C:\\a\r\nadd_folder=C:\\evil", L"D:\\ok", L"x"};
  EXPECT_EQ(ParseSettings(FormatSettings(broken)), (Settings{L"", L"D:\\ok", L"x"}));
}

TEST(SettingsText, ForeignOrDamagedTextGivesWhatItCan) {
  const struct {
    const char* Name;
    std::string Text;
    Settings Expected;
  } cases[] = {
      {"other section", "[other]\narchiver=C:\\x\n", {}},
      {"bom and LF", "\xEF\xBB\xBF[rarbatch]\narchiver=C:\\r.exe\n", {L"C:\\r.exe", L"", L""}},
      {"junk lines", "[rarbatch]\r\nnonsense\r\nunknown=1\r\nadd_folder=E:\\f\r\n[x]\r\narchiver=no\r\n", {L"", L"", L"E:\\f"}},
      {"not utf-8", "[rarbatch]\narchiver=C:\\\xFF\n", {}},
      {"NUL", std::string("[rarbatch]\narchiver=C:\\a\0b\n", 26), {}},
      {"cut", "[rarbatch]\r\narchive_folder=D:\\半", {L"", L"D:\\半", L""}},
      {"binary", std::string(1000, '\x01'), {}},
      {"too large", "[rarbatch]\narchiver=C:\\x\n" + std::string(kMaxSettingsBytes, ' '), {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseSettings(c.Text), c.Expected) << c.Name;
}

}  // namespace
}  // namespace rarbatch
