#include "util/ini_profile.h"

#include <gtest/gtest.h>

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

TEST(IniProfile, SettingAKeyKeepsOtherLines) {
  IniProfile ini = IniProfile::FromText("[set]\r\n; 门店\r\nsid=1\r\n[x]\r\na=b\r\n");
  ini.Set("set", "sid", "门店七");
  ini.Set("set", "au_row", "5");
  ini.Set("new", "k", "v");
  EXPECT_EQ(ini.ToText(),
            "[set]\r\n; 门店\r\nsid=门店七\r\nau_row=5\r\n[x]\r\na=b\r\n[new]\r\nk=v\r\n");
  EXPECT_EQ(ini.Get("set", "sid"), "门店七");
}

}  // namespace
}  // namespace qv
