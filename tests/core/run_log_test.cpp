#include "core/run_log.h"

#include <gtest/gtest.h>

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
  RunLog log(dir.path(), clock);
  log.WriteRunLog("最后一次");
  clock.Set({2027, 1, 1, 0, 0, 1});
  log.WriteRunLog("新年");
  EXPECT_EQ(ReadUtf8(platform::JoinPath(dir.path(), "2026_12_31_23_59_59.log")),
            "2026_12_31_23_59_59日志：\r\n最后一次");
  EXPECT_EQ(ReadUtf8(platform::JoinPath(dir.path(), "2027_1_1_00_00_01.log")),
            "2027_1_1_00_00_01日志：\r\n新年");
}

TEST(RunLog, KeepsBothEntriesOfOneSecondAndHonoursThePrefix) {
  testing::TempDir dir;
  testing::FakeClock clock({2026, 3, 7, 9, 5, 4});
  RunLog log(dir.path(), clock);
  log.WriteRunLog("first");
  log.WriteRunLog("second");
  log.WriteRunLog("ok", "上报打印机成功");
  EXPECT_EQ(ReadUtf8(platform::JoinPath(dir.path(), "2026_3_7_09_05_04.log")),
            "2026_3_7_09_05_04日志：\r\nfirst\r\n2026_3_7_09_05_04日志：\r\nsecond");
  EXPECT_EQ(ReadUtf8(platform::JoinPath(dir.path(), "上报打印机成功2026_3_7_09_05_04.log")),
            "2026_3_7_09_05_04日志：\r\nok");
  // The file is GBK, not UTF-8.
  std::string bytes;
  platform::ReadFile(platform::JoinPath(dir.path(), "上报打印机成功2026_3_7_09_05_04.log"), bytes);
  EXPECT_NE(bytes.find(FromUtf8("日志：")), std::string::npos);
}

TEST(RunLog, MissingDirectoryFailsSilently) {
  testing::TempDir dir;
  testing::FakeClock clock;
  RunLog log(platform::JoinPath(dir.path(), "absent"), clock);
  log.WriteRunLog("lost");  // must not crash or create the directory
  EXPECT_FALSE(platform::DirectoryExists(platform::JoinPath(dir.path(), "absent")));
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
