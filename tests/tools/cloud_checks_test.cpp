#include "tools/sim/cloud_checks.h"
#include "platform/gbk.h"

#include <gtest/gtest.h>

#include "util/text.h"

namespace qv::sim {
namespace {

TEST(Entry, DecodesTheDocumentedExample) {
  // sid 10001, r = 3, time text 1700000000.
  EntryValue v = DecodeEntry("MwMTAMTcwMDAwMDAwMAwMDE");
  ASSERT_TRUE(v.ok) << v.error;
  EXPECT_EQ(v.insertAt, 3);
  EXPECT_EQ(v.storeId, "10001");
  EXPECT_EQ(v.timeText, "1700000000");
  EXPECT_EQ(v.seconds, 1700000000);
  EXPECT_EQ(EncodeEntry("10001", 1700000000, 3), "MwMTAMTcwMDAwMDAwMAwMDE");
}

TEST(Entry, RoundTripsEveryInsertPositionAndStoreId) {
  // "1000" gives a 6-character Base64 shorter than r = 8 (all of it before the time);
  // a Chinese store ID is encoded from its GBK bytes.
  for (const std::string& sid :
       {std::string("1000"), std::string("20260001"), FromUtf8("桂香楼001"), std::string("abcd")}) {
    for (int r = 2; r <= 9; ++r) {
      SCOPED_TRACE(sid + " r=" + std::to_string(r));
      std::string entry = EncodeEntry(sid, 1781234567, r);
      EXPECT_EQ(entry.find('='), std::string::npos);
      EntryValue v = DecodeEntry(entry);
      ASSERT_TRUE(v.ok) << v.error;
      EXPECT_EQ(v.storeId, sid);
      EXPECT_EQ(v.seconds, 1781234567);
      EXPECT_EQ(v.insertAt, r);
    }
  }
}

TEST(Entry, RefusesValuesTheServiceNeverBuilds) {
  const std::string good = EncodeEntry("20260001", 1781234567, 4);
  for (const std::string& bad : {
           std::string(""),
           std::string("MwMTAw"),  // too short to hold a time
           good + "=",             // padding is always removed
           "MQ" + good.substr(2),  // r = 1 is outside 2..9
           "YQ" + good.substr(2),  // r is not a digit
           EncodeEntry("20260001", 1781234567, 4)
               .replace(6, 14, "QUJDREVGR0hJSg"),  // time not digits
       }) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(DecodeEntry(bad).ok);
  }
}

TEST(Entry, TimeIsNearNowOrTheServiceLocalCount) {
  EntryClock utc{1781234567, 0};
  EntryClock shanghai{1781234567, 8 * 3600};
  EXPECT_EQ(CheckEntryTime(1781234567 + 100, utc, 300), "");
  // On a UTC machine the service counts from 08:00 local, eight hours behind the Unix time.
  EXPECT_EQ(CheckEntryTime(1781234567 - 8 * 3600, utc, 300), "");
  EXPECT_NE(CheckEntryTime(1781234567 - 8 * 3600, shanghai, 300), "");
  EXPECT_NE(CheckEntryTime(1781234567 - 3600, utc, 300), "");
  EXPECT_NE(CheckEntryTime(1700000000, utc, 300), "");
}

TEST(FormBody, SplitsWithoutDecodingBase64Characters) {
  auto fields = SplitFormBody("X-Token=1&md5=abc&plist=W3siJ+/x==&empty=&flag");
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(FormValue(fields, "plist"), "W3siJ+/x==");
  bool found = false;
  EXPECT_EQ(FormValue(fields, "empty", &found), "");
  EXPECT_TRUE(found);
  FormValue(fields, "missing", &found);
  EXPECT_FALSE(found);
  EXPECT_TRUE(SplitFormBody("").empty());
}

std::vector<std::pair<std::string, std::string>> ListBody(const std::string& list) {
  return {{"X-Token", "1"},
          {"times", "1781234567"},
          {"mac", "52:54:00:12:34:56"},
          {"md5", Md5Hex(list)},
          {"plist", Base64Encode(list)}};
}

TEST(PrinterList, ChecksChecksumEncodingAndFields) {
  const std::string list = R"([{"n":"厨房打印机","p":"USB001"},{"n":"Receipt","p":"LPT1:"}])";
  PrinterListCheck good = CheckPrinterList(ListBody(list));
  ASSERT_TRUE(good.ok) << good.error;
  EXPECT_TRUE(good.listIsJson);
  ASSERT_EQ(good.printers.size(), 2u);
  EXPECT_EQ(good.printers[0].name, "厨房打印机");
  EXPECT_EQ(good.printers[1].port, "LPT1:");

  // A name with a double quote goes out unescaped: accepted, noted as not JSON.
  PrinterListCheck quoted = CheckPrinterList(ListBody(R"([{"n":"A"B","p":"x"}])"));
  EXPECT_TRUE(quoted.ok);
  EXPECT_FALSE(quoted.listIsJson);

  auto wrongMd5 = ListBody(list);
  wrongMd5[3].second = Md5Hex("[]");
  auto upperMd5 = ListBody(list);
  for (char& c : upperMd5[3].second) c = static_cast<char>(std::toupper(c));
  auto unpadded = ListBody("[]");  // "W10=" without its padding
  unpadded[4].second = "W10";
  auto shortTime = ListBody(list);
  shortTime[1].second = "178123456";
  auto noMac = ListBody(list);
  noMac.erase(noMac.begin() + 2);
  for (const auto& body : {wrongMd5, upperMd5, unpadded, shortTime, noMac}) {
    PrinterListCheck bad = CheckPrinterList(body);
    EXPECT_FALSE(bad.ok);
    EXPECT_FALSE(bad.error.empty());
  }
}

}  // namespace
}  // namespace qv::sim
