#include "cloud/envelope.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/gbk.h"
#include "util/text.h"

namespace qv {
namespace {

TEST(UnixTimeText, EpochCarriesUtcPlus8) {
  // 2023-11-15 06:13:20 at UTC+8 is Unix time 1700000000 - 8 h + 8 h = the local reading.
  EXPECT_EQ(UnixTimeText({2023, 11, 15, 6, 13, 20, 0}), "1700000000");
  EXPECT_EQ(UnixTimeText({2023, 11, 15, 6, 13, 20, 999}), "1700000000");
  EXPECT_EQ(UnixTimeText({1970, 1, 1, 8, 0, 0, 0}), "0000000000");
  // Short counts are followed by the milliseconds and then filled with "0".
  EXPECT_EQ(UnixTimeText({1970, 1, 1, 8, 0, 12, 34}), "1203400000");
  EXPECT_EQ(UnixTimeText({2001, 9, 9, 9, 46, 40, 5}), "1000000000");
}

TEST(EntryValue, ComposedFromSidRandomDigitAndTime) {
  EXPECT_EQ(ComposeEntryValue("10001", 3, "1700000000"), "MwMTAMTcwMDAwMDAwMAwMDE");
  // A (MTAwMA) shorter than r: all of A, then T, no tail.
  EXPECT_EQ(ComposeEntryValue("1000", 8, "1700000000"), "OAMTAwMAMTcwMDAwMDAwMA");
  EXPECT_EQ(ComposeEntryValue("abc", 5, "1700000000"), "");
  EXPECT_EQ(ComposeEntryValue("", 5, "1700000000"), "");
  // Chinese store IDs are encoded from their GBK bytes: "门店" is 4 GBK bytes (6 in UTF-8).
  std::string a = Base64Encode(FromUtf8("门店"));
  a.erase(a.find_last_not_of('=') + 1);
  EXPECT_EQ(ComposeEntryValue("门店", 2, "1700000000"),
            "Mg" + a.substr(0, 2) + "MTcwMDAwMDAwMA" + a.substr(2));
  EXPECT_EQ(ComposeEntryValue("门", 2, "1700000000"), "");  // 2 GBK bytes
}

TEST(EntryValue, DrawsEveryDigitFrom2To9AndNeverPads) {
  std::set<std::string> prefixes;
  for (int i = 0; i < 400; ++i) {
    std::string v = MakeEntryValue("abcd", {2023, 11, 15, 6, 13, 20, 0});
    ASSERT_EQ(v.find('='), std::string::npos) << v;
    ASSERT_NE(v.find("MTcwMDAwMDAwMA"), std::string::npos) << v;
    prefixes.insert(v.substr(0, 2));
  }
  std::set<std::string> expected;
  for (char d = '2'; d <= '9'; ++d) expected.insert(Base64Encode(std::string(1, d)).substr(0, 2));
  EXPECT_EQ(prefixes, expected);
}

TEST(CloudRequest, PostWithRenderedHeadersAndUnescapedForm) {
  FieldList headers;
  headers.Add("Storeid", "10001");
  headers.Add("entry", "e");
  FieldList body;
  body.Add("X-Token", "1");
  body.Add("plist", "a&b=c");
  HttpRequestInput in = CloudRequest("cloud.example:8443", kReportPath, headers, body);
  EXPECT_EQ(in.Url, "https://cloud.example:8443/api/v2/common/local/print/report");
  EXPECT_EQ(in.Method, 1);
  EXPECT_EQ(in.Headers, "Storeid: 10001\r\nentry: e");
  EXPECT_EQ(in.BodyText, "X-Token=1&plist=a&b=c");
  EXPECT_TRUE(in.SendCookies.empty());
  EXPECT_FALSE(in.NoRedirect);
  EXPECT_EQ(CloudRequest("h", kWaitPath, headers, FieldList()).BodyText, "");
}

}  // namespace
}  // namespace qv
