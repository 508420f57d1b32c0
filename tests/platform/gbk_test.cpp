#include "platform/gbk.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

TEST(Gbk, RoundTripsChineseAndMarksWhatGbkCannotHold) {
  const std::string utf8 = "宫保鸡丁 x2 ￥38.00";
  const std::string gbk = FromUtf8(utf8);
  EXPECT_EQ(gbk.substr(0, 4), "\xB9\xAC\xB1\xA3");  // 宫保
  EXPECT_EQ(ToUtf8(gbk), utf8);

  // An emoji and a Korean syllable have no GBK form; each becomes one "?".
  EXPECT_EQ(FromUtf8("a😀b한c"), "a?b?c");
  // Invalid UTF-8 never crashes and never passes through as raw bytes; U+FFFD, what a
  // broken character reads as, is no GBK character either.
  EXPECT_EQ(FromUtf8("x\xFFy"), "x?y");
  EXPECT_EQ(FromUtf8("x\xEF\xBF\xBDy"), "x?y");
  // The euro sign is the one single-byte extension of code page 936.
  EXPECT_EQ(FromUtf8("€"), "\x80");
  // A text ends at its zero byte, as the system's C-string conversions do.
  EXPECT_EQ(FromUtf8(std::string("ab\0cd", 5)), "ab");
  // Truncated GBK decodes leniently.
  EXPECT_FALSE(ToUtf8("\xB9").empty());
}

}  // namespace
}  // namespace qv
