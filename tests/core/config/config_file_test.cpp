#include "core/config/config_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/gbk.h"
#include "tests/fakes/temp_dir.h"
#include "util/text.h"

namespace qv {
namespace {

// `utf8` as UTF-16LE code units with a byte-order mark, as Notepad saves "Unicode".
std::string Utf16Le(const std::string& utf8) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : Utf8ToUtf16(utf8)) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

class ConfigFileTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  const std::string path_ = platform::JoinPath(dir_.Path(), "config.ini");
};

TEST_F(ConfigFileTest, ReadsEveryFormNotepadSaves) {
  const std::string text = "; 门店\r\n[set]\r\nsid=门店七\r\n";
  struct Case {
    std::string name;
    std::string bytes;
  };
  for (const Case& c : std::vector<Case>{
           {"GBK", FromUtf8(text)},
           {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + text},
           {"UTF-16LE with a byte-order mark", Utf16Le(text)},
           {"UTF-16LE with an odd last byte", Utf16Le(text) + "x"},
           // A zero byte is skipped, not taken for the end of the file.
           {"GBK with a zero byte in a comment",
            FromUtf8("; 门") + std::string(1, '\0') + FromUtf8("店\r\n[set]\r\nsid=门店七\r\n")},
           {"UTF-8 with a zero byte", "\xEF\xBB\xBF" + std::string("\0", 1) + text},
           {"UTF-16LE with a zero character", Utf16Le(std::string("\0", 1) + text)},
       }) {
    ASSERT_TRUE(platform::WriteFile(path_, c.bytes));
    EXPECT_EQ(LoadProfile(path_).Get("set", "sid"), "门店七") << c.name;
  }
  platform::RemoveFile(path_);
  EXPECT_EQ(LoadProfile(path_).Get("set", "sid", "none"), "none");
}

TEST_F(ConfigFileTest, WritesBackInTheFormItWasRead) {
  const std::string before = "[set]\r\n; 门店\r\nsid=1\r\n[x]\r\na=b\r\n";
  const std::string after =
      "[set]\r\n; 门店\r\nsid=门店七\r\nau_row=5\r\n[x]\r\na=b\r\n[new]\r\nk=v\r\n";
  struct Case {
    std::string name;
    std::string (*encode)(const std::string&);
  };
  for (const Case& c : std::vector<Case>{
           {"GBK", [](const std::string& t) { return FromUtf8(t); }},
           {"UTF-8 with a byte-order mark",
            [](const std::string& t) { return "\xEF\xBB\xBF" + t; }},
           {"UTF-16LE with a byte-order mark", Utf16Le},
       }) {
    ASSERT_TRUE(platform::WriteFile(path_, c.encode(before)));
    ASSERT_TRUE(WriteProfileValue(path_, "set", "sid", "门店七"));
    ASSERT_TRUE(WriteProfileValue(path_, "set", "au_row", "5"));
    ASSERT_TRUE(WriteProfileValue(path_, "new", "k", "v"));
    std::string bytes;
    ASSERT_TRUE(platform::ReadFile(path_, bytes));
    EXPECT_EQ(bytes, c.encode(after)) << c.name;
    EXPECT_EQ(LoadProfile(path_).Get("set", "sid"), "门店七") << c.name;
  }
  // A file that is not there yet is written as GBK.
  platform::RemoveFile(path_);
  ASSERT_TRUE(WriteProfileValue(path_, "set", "sid", "门店"));
  std::string bytes;
  ASSERT_TRUE(platform::ReadFile(path_, bytes));
  EXPECT_EQ(bytes, FromUtf8("[set]\r\nsid=门店\r\n"));
}

}  // namespace
}  // namespace qv
