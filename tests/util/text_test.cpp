#include "util/text.h"

#include <gtest/gtest.h>

#include <vector>

#include "util/local_time.h"

namespace qv {
namespace {

TEST(Text, Utf16AndSanitising) {
  const std::string utf8 = "打印机 🖨";
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(utf8)), utf8);
  EXPECT_EQ(Utf8ToUtf16("🖨").size(), 2u);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));
  EXPECT_EQ(SanitizeUtf8("a\xE6\x89z"), "a\xEF\xBF\xBDz");
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
}

TEST(Text, UrlEncodeModes) {
  EXPECT_EQ(UrlEncode("a b~c", UrlEncodeMode::KeepSafe), "a+b%7Ec");
  EXPECT_EQ(UrlEncode("a b~c", UrlEncodeMode::All), "%61+%62%7E%63");
  EXPECT_EQ(UrlEncode(std::string("a\0b", 3), UrlEncodeMode::KeepSafe), "ab");
  EXPECT_EQ(UrlEncode("-._'()*/", UrlEncodeMode::KeepSafe), "-._'()*%2F");
  EXPECT_EQ(UrlEncode("\xB9\xAC", UrlEncodeMode::KeepSafe), "%B9%AC");
}

TEST(Text, Base64AndMd5Vectors) {
  // RFC 4648 section 10 and RFC 1321 appendix A.5.
  const std::pair<const char*, const char*> base64[] = {{"", ""},
                                                        {"f", "Zg=="},
                                                        {"fo", "Zm8="},
                                                        {"foo", "Zm9v"},
                                                        {"foob", "Zm9vYg=="},
                                                        {"fooba", "Zm9vYmE="},
                                                        {"foobar", "Zm9vYmFy"}};
  for (const auto& [plain, encoded] : base64) {
    EXPECT_EQ(Base64Encode(plain), encoded);
    std::string decoded;
    EXPECT_TRUE(Base64Decode(encoded, decoded));
    EXPECT_EQ(decoded, plain);
  }
  std::string out;
  EXPECT_FALSE(Base64Decode("Zm9v!", out));
  EXPECT_FALSE(Base64Decode("Z", out));

  const std::pair<std::string, const char*> md5[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"}};
  for (const auto& [plain, digest] : md5) EXPECT_EQ(Md5Hex(plain), digest);
}

TEST(Text, IntegersTrimmingAndBooleans) {
  const std::pair<const char*, int32_t> ints[] = {{"10", 10},
                                                  {"0", 0},
                                                  {"-5", -5},
                                                  {"abc", 0},
                                                  {"", 0},
                                                  {"12abc", 12},
                                                  {" 7", 7},
                                                  {"+3", 3},
                                                  {"99999999999", INT32_MAX},
                                                  {"-99999999999", INT32_MIN}};
  for (const auto& [text, value] : ints) EXPECT_EQ(TextToInt(text), value) << text;

  EXPECT_EQ(TrimSpaces("  123 "), "123");
  EXPECT_EQ(TrimSpaces("\xE3\x80\x80 123\xE3\x80\x80"), "123");
  EXPECT_EQ(TrimSpaces("\xE3\x80\x80\xE3\x80\x80"), "");
  EXPECT_EQ(TrimSpaces("门店 1"), "门店 1");
  EXPECT_EQ(BoolText(true), "真");
  EXPECT_EQ(BoolText(false), "假");
}

// Header names are matched this way; only ASCII letters fold, so UTF-8 bytes never match a
// letter of another case.
TEST(Text, CaseInsensitiveMatching) {
  struct Case {
    std::string_view haystack, needle;
    bool contains, equals;
  };
  const Case cases[] = {{"Content-Type: x", "content-type", true, false},
                        {"content-type", "CONTENT-TYPE", true, true},
                        {"Accept: */*\r\nUser-Agent: a", "user-agent:", true, false},
                        {"Conten", "content", false, false},
                        {"abc", "", true, false},
                        {"", "", true, true},
                        {"\xC3\xA9", "\xC3\x89", false, false},
                        {"a[b", "A{B", false, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(ContainsIgnoreCase(c.haystack, c.needle), c.contains)
        << c.haystack << "/" << c.needle;
    EXPECT_EQ(EqualsIgnoreCase(c.haystack, c.needle), c.equals) << c.haystack << "/" << c.needle;
  }
}

TEST(LocalTimeText, DropsTrailingZeroParts) {
  const std::pair<LocalTime, const char*> cases[] = {
      {{2026, 3, 7, 9, 5, 4}, "2026年3月7日9时5分4秒"},
      {{2026, 3, 7, 9, 5, 0}, "2026年3月7日9时5分"},
      {{2026, 3, 7, 9, 0, 0}, "2026年3月7日9时"},
      {{2026, 3, 7, 0, 0, 0}, "2026年3月7日"},
      {{2026, 3, 7, 0, 0, 9}, "2026年3月7日0时0分9秒"},
  };
  for (const auto& [time, text] : cases) EXPECT_EQ(DateTimeText(time), text);
  EXPECT_EQ(LogStamp({2027, 1, 1, 0, 0, 1}), "2027_1_1_00_00_01");
  EXPECT_EQ(DebugStamp({2026, 1, 1, 9, 5, 4}), "[09:05:04]：");
}

TEST(LocalTimeText, AddingSecondsCarriesThroughTheCalendar) {
  struct Case {
    LocalTime from;
    int64_t seconds;
    LocalTime to;
  };
  for (const Case& c : std::vector<Case>{
           {{2026, 12, 31, 23, 59, 58}, 3, {2027, 1, 1, 0, 0, 1}},
           {{2024, 2, 28, 23, 0, 0}, 86400, {2024, 2, 29, 23, 0, 0}},
           {{2100, 2, 28, 12, 0, 0}, 86400, {2100, 3, 1, 12, 0, 0}},
           {{2026, 3, 1, 0, 0, 0}, -1, {2026, 2, 28, 23, 59, 59}},
           {{1970, 1, 1, 0, 0, 5}, -10, {1969, 12, 31, 23, 59, 55}},
       }) {
    const LocalTime t = AddSeconds(c.from, c.seconds);
    EXPECT_EQ(DateTimeText(t), DateTimeText(c.to)) << DateTimeText(c.from) << " + " << c.seconds;
  }
  EXPECT_EQ(SecondsSinceEpoch({1970, 1, 1, 8, 0, 0}), 8 * 3600);
  EXPECT_EQ(SecondsSinceEpoch({2026, 3, 7, 9, 5, 4}), 1772874304);
}

}  // namespace
}  // namespace qv
