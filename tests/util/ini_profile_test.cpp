#include "util/ini_profile.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "util/text.h"

namespace qv {
namespace {

TEST(IniProfile, ReadsLikeTheWindowsProfileApi) {
  const IniProfile ini = IniProfile::FromText(
      "; comment\r\n[other]\r\nsid=wrong\r\n[SET]\r\n  Sid = 123  \r\nurl=\"https://x/#/a\"\r\n"
      "empty=\r\n;time=9\r\n");
  EXPECT_EQ(ini.Get("set", "sid"), "123");
  EXPECT_EQ(ini.Get("set", "url"), "https://x/#/a");
  EXPECT_EQ(ini.Get("set", "empty", "dflt"), "");
  EXPECT_EQ(ini.Get("set", "time", "3"), "3");
  EXPECT_EQ(ini.Get("missing", "sid", "d"), "d");
}

TEST(IniProfile, WritesGbkAndKeepsOtherLines) {
  const std::string path = platform::JoinPath(".", "ini_profile_test.ini");
  ASSERT_TRUE(platform::WriteFile(path, FromUtf8("[set]\r\n; 门店\r\nsid=1\r\n[x]\r\na=b\r\n")));
  ASSERT_TRUE(WriteProfileValue(path, "set", "sid", "门店七"));
  ASSERT_TRUE(WriteProfileValue(path, "set", "au_row", "5"));
  ASSERT_TRUE(WriteProfileValue(path, "new", "k", "v"));
  std::string bytes;
  ASSERT_TRUE(platform::ReadFile(path, bytes));
  EXPECT_EQ(ToUtf8(bytes), "[set]\r\n; 门店\r\nsid=门店七\r\nau_row=5\r\n[x]\r\na=b\r\n[new]\r\nk=v\r\n");
  EXPECT_EQ(IniProfile::Load(path).Get("set", "sid"), "门店七");

  // A file saved as UTF-8 with a byte-order mark is read as UTF-8.
  ASSERT_TRUE(platform::WriteFile(path, "\xEF\xBB\xBF[set]\r\nsid=门店\r\n"));
  EXPECT_EQ(IniProfile::Load(path).Get("set", "sid"), "门店");
  platform::RemoveFile(path);
  EXPECT_EQ(IniProfile::Load(path).Get("set", "sid", "none"), "none");
}

}  // namespace
}  // namespace qv
