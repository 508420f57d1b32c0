#include "core/config/run_log.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/file_system.h"
#include "platform/gbk.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/temp_dir.h"

namespace qv {
namespace {

std::string ReadUtf8(const std::string& path) {
  std::string bytes;
  EXPECT_TRUE(platform::ReadFile(path, bytes)) << path;
  return ToUtf8(bytes);
}

TEST(RunLog, NamesFilesByTheSecondAcrossTheYearBoundary) {
  testing::TempDir dir;
  testing::FakeClock clock({2026, 12, 31, 23, 59, 59});
  RunLog log(dir.Path(), clock);
  log.WriteRunLog("最后一次");
  clock.Set({2027, 1, 1, 0, 0, 1});
  log.WriteRunLog("新年");
  EXPECT_EQ(ReadUtf8(platform::JoinPath(dir.Path(), "2026_12_31_23_59_59.log")),
            "2026_12_31_23_59_59日志：\r\n最后一次");
  EXPECT_EQ(ReadUtf8(platform::JoinPath(dir.Path(), "2027_1_1_00_00_01.log")),
            "2027_1_1_00_00_01日志：\r\n新年");
}

TEST(RunLog, KeepsBothEntriesOfOneSecondAndHonoursThePrefix) {
  testing::TempDir dir;
  testing::FakeClock clock({2026, 3, 7, 9, 5, 4});
  RunLog log(dir.Path(), clock);
  log.WriteRunLog("first");
  log.WriteRunLog("second");
  log.WriteRunLog("ok", "上报打印机成功");
  EXPECT_EQ(ReadUtf8(platform::JoinPath(dir.Path(), "2026_3_7_09_05_04.log")),
            "2026_3_7_09_05_04日志：\r\nfirst\r\n2026_3_7_09_05_04日志：\r\nsecond");
  EXPECT_EQ(ReadUtf8(platform::JoinPath(dir.Path(), "上报打印机成功2026_3_7_09_05_04.log")),
            "2026_3_7_09_05_04日志：\r\nok");
  // The file is GBK, not UTF-8.
  std::string bytes;
  platform::ReadFile(platform::JoinPath(dir.Path(), "上报打印机成功2026_3_7_09_05_04.log"), bytes);
  EXPECT_NE(bytes.find(FromUtf8("日志：")), std::string::npos);
}

TEST(RunLog, MissingDirectoryFailsSilently) {
  testing::TempDir dir;
  testing::FakeClock clock;
  RunLog log(platform::JoinPath(dir.Path(), "absent"), clock);
  log.WriteRunLog("lost");  // must not crash or create the directory
  EXPECT_FALSE(platform::DirectoryExists(platform::JoinPath(dir.Path(), "absent")));
}

// The names of the regular files in `dir`, sorted.
std::vector<std::string> FileNames(const std::string& dir) {
  std::vector<std::string> names;
  for (const platform::FileEntry& f : platform::ListFiles(dir)) names.push_back(f.name);
  std::sort(names.begin(), names.end());
  return names;
}

TEST(RunLog, QuotesALongMessageOnlyInPartAndSaysHowLongItWas) {
  struct Case {
    std::string message;
    std::string logged;
  };
  // A limit of 10 bytes: "甲乙丙丁" is 12, and its fourth character would straddle the cut.
  for (const Case& c : std::vector<Case>{{"0123456789", "0123456789"},
                                         {"0123456789a", "0123456789…（共 11 字节）"},
                                         {"甲乙丙丁", "甲乙丙…（共 12 字节）"},
                                         {"ab甲乙丙丁", "ab甲乙…（共 14 字节）"}}) {
    SCOPED_TRACE(c.message);
    testing::TempDir dir;
    testing::FakeClock clock;
    RunLog log(dir.Path(), clock, {.messageBytes = 10});
    log.WriteRunLog(c.message);
    std::string bytes;
    ASSERT_TRUE(platform::ReadFile(platform::JoinPath(dir.Path(), "2026_3_7_09_05_04.log"), bytes));
    // Read back through GBK: half a character would have turned into something else.
    EXPECT_EQ(ToUtf8(bytes), "2026_3_7_09_05_04日志：\r\n" + c.logged);
  }

  // A garbage answer of a megabyte, quoted by a poll failure, costs a small file.
  testing::TempDir dir;
  testing::FakeClock clock;
  RunLog log(dir.Path(), clock);
  const std::string message = "解析主包失败，错误行：1  错误内容：" + std::string(1 << 20, 'x');
  log.WriteRunLog(message);
  const std::vector<platform::FileEntry> files = platform::ListFiles(dir.Path());
  ASSERT_EQ(files.size(), 1u);
  EXPECT_LT(files[0].size, 20u * 1024);
  const std::string text = ReadUtf8(platform::JoinPath(dir.Path(), files[0].name));
  EXPECT_TRUE(text.ends_with("xxx…（共 " + std::to_string(message.size()) + " 字节）"));
}

TEST(RunLog, RemovesOnlyItsOwnEntriesPastTheAgeLimit) {
  testing::TempDir dir;
  ASSERT_TRUE(platform::MakeDirectory(platform::JoinPath(dir.Path(), "2025_1_1_00_00_00.log")));
  const std::vector<std::string> foreign = {"2025_01_01_00_00_00.log", "2025_1_1_00_00_00.txt",
                                            "2025_13_1_00_00_00.log", "notes.log"};
  const std::vector<std::string> aged = {"2026_1_1_00_00_00.log", "2026_2_5_09_05_03.log",
                                         "上报打印机成功2026_2_1_10_00_00.log"};
  const std::vector<std::string> kept = {"2026_2_5_09_05_04.log", "2026_3_1_10_00_00.log",
                                         "上报打印机失败2026_3_7_09_00_00.log",
                                         "2027_1_1_00_00_00.log"};  // a clock set back since
  for (const auto* names : {&foreign, &aged, &kept}) {
    for (const std::string& name : *names) {
      ASSERT_TRUE(platform::WriteFile(platform::JoinPath(dir.Path(), name), "old"));
    }
  }
  testing::FakeClock clock({2026, 3, 7, 9, 5, 4});  // 30 days after 2026-02-05 09:05:04
  RunLog log(dir.Path(), clock);
  log.WriteRunLog("new");
  std::vector<std::string> expected = foreign;
  expected.insert(expected.end(), kept.begin(), kept.end());
  expected.push_back("2026_3_7_09_05_04.log");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FileNames(dir.Path()), expected);
  EXPECT_TRUE(platform::DirectoryExists(platform::JoinPath(dir.Path(), "2025_1_1_00_00_00.log")));

  // Later entries look for aged files again only once an hour has passed.
  const std::string late = platform::JoinPath(dir.Path(), "2026_1_2_00_00_00.log");
  ASSERT_TRUE(platform::WriteFile(late, "old"));
  clock.AdvanceMs(59 * 60 * 1000);
  log.WriteRunLog("again");
  EXPECT_TRUE(platform::FileExists(late));
  clock.AdvanceMs(60 * 1000);
  log.WriteRunLog("an hour on");
  EXPECT_FALSE(platform::FileExists(late));
}

TEST(RunLog, KeepsTheFolderWithinItsSizeOldestEntriesFirst) {
  testing::TempDir dir;
  testing::FakeClock clock({2026, 3, 7, 9, 0, 0});
  // Room for ten small files: each takes one 4 KiB cluster on disk.
  RunLog log(dir.Path(), clock, {.folderBytes = 10 * 4096});
  std::vector<std::string> written;
  for (int i = 0; i < 25; ++i) {
    clock.Set({2026, 3, 7, 9, 0, i});
    log.WriteRunLog("entry " + std::to_string(i));
    written.push_back(LogStamp(clock.Now()) + ".log");
    const std::vector<std::string> names = FileNames(dir.Path());
    ASSERT_LE(names.size(), 10u) << i;
    // What is left is always the newest entries, the one just written among them.
    ASSERT_EQ(names, std::vector<std::string>(written.end() - names.size(), written.end())) << i;
  }
}

struct RecordingView : DebugView {
  void AppendDebugText(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

TEST(DebugLog, WritesStampedLinesOnlyWhileEnabled) {
  testing::FakeClock clock({2026, 3, 7, 9, 5, 4});
  bool enabled = false;
  RecordingView view;
  DebugLog debug(enabled, clock);
  debug.SetView(&view);
  debug.DebugLine("hidden");
  EXPECT_TRUE(view.lines.empty());
  enabled = true;
  debug.DebugLine("开始打印");
  EXPECT_EQ(view.lines, std::vector<std::string>{"[09:05:04]：开始打印\r\n"});
}

}  // namespace
}  // namespace qv
