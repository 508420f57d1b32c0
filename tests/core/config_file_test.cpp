#include "core/config_file.h"

#include <gtest/gtest.h>

#include "platform/file_system.h"
#include "platform/gbk.h"
#include "tests/fakes/temp_dir.h"

namespace qv {
namespace {

TEST(ConfigFile, IsWrittenAsGbkKeepingOtherLines) {
  testing::TempDir dir;
  const std::string path = platform::JoinPath(dir.path(), "config.ini");
  ASSERT_TRUE(platform::WriteFile(path, FromUtf8("[set]\r\n; 门店\r\nsid=1\r\n[x]\r\na=b\r\n")));
  ASSERT_TRUE(WriteProfileValue(path, "set", "sid", "门店七"));
  ASSERT_TRUE(WriteProfileValue(path, "set", "au_row", "5"));
  ASSERT_TRUE(WriteProfileValue(path, "new", "k", "v"));
  std::string bytes;
  ASSERT_TRUE(platform::ReadFile(path, bytes));
  EXPECT_EQ(ToUtf8(bytes),
            "[set]\r\n; 门店\r\nsid=门店七\r\nau_row=5\r\n[x]\r\na=b\r\n[new]\r\nk=v\r\n");
  EXPECT_EQ(LoadProfile(path).Get("set", "sid"), "门店七");

  // A file saved as UTF-8 with a byte-order mark is read as UTF-8.
  ASSERT_TRUE(platform::WriteFile(path, "\xEF\xBB\xBF[set]\r\nsid=门店\r\n"));
  EXPECT_EQ(LoadProfile(path).Get("set", "sid"), "门店");
  platform::RemoveFile(path);
  EXPECT_EQ(LoadProfile(path).Get("set", "sid", "none"), "none");
}

}  // namespace
}  // namespace qv
