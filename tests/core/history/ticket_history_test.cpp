#include "core/history/ticket_history.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_system.h"
#include "tests/fakes/temp_dir.h"

namespace qv {
namespace {

TicketRecord Ticket(int n, size_t byteCount = 40) {
  TicketRecord t;
  t.unixSeconds = 1700000000 + n;
  t.localTime = "2026-03-07 09:05:" + std::to_string(10 + n);
  t.printType = 1 + n % 3;
  t.printSn = n % 3 == 1 ? "打印机 \"后厨\"" : "192.168.1." + std::to_string(50 + n);
  t.key = "key-" + std::to_string(n);
  t.printed = n % 2 == 0;
  t.result = t.printed ? "打印成功" : "连接成功但是打印失败，失败状态：[缺纸或纸盖开启]";
  t.firstLine = "桌号 " + std::to_string(n);
  t.reprint = n % 4 == 3;
  // Binary bytes as a ticket has them: commands, zeros, GBK text.
  for (size_t i = 0; i < byteCount; ++i) t.bytes += static_cast<char>((n * 7 + i * 13) & 0xFF);
  return t;
}

void ExpectSame(const TicketRecord& a, const TicketRecord& b) {
  EXPECT_EQ(a.unixSeconds, b.unixSeconds);
  EXPECT_EQ(a.localTime, b.localTime);
  EXPECT_EQ(a.printType, b.printType);
  EXPECT_EQ(a.printSn, b.printSn);
  EXPECT_EQ(a.key, b.key);
  EXPECT_EQ(a.printed, b.printed);
  EXPECT_EQ(a.result, b.result);
  EXPECT_EQ(a.firstLine, b.firstLine);
  EXPECT_EQ(a.reprint, b.reprint);
  EXPECT_EQ(a.bytes, b.bytes);
}

size_t Lines(const std::string& path) {
  std::string text;
  EXPECT_TRUE(platform::ReadFile(path, text));
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST(TicketHistory, KeepsTheNewestTicketsAcrossARestartWithinItsBounds) {
  testing::TempDir dir;
  const std::string path = platform::JoinPath(dir.Path(), "recent.log");
  const TicketHistoryLimits limits{5, 1000, 64 * 1024};
  {
    TicketHistory history(path, limits);
    ASSERT_TRUE(history.Load());
    for (int n = 0; n < 23; ++n) {
      ASSERT_TRUE(history.Add(Ticket(n)));
      EXPECT_LE(Lines(path), 1 + 2 * limits.maxTickets);
    }
    ASSERT_EQ(history.Tickets().size(), 5u);
    EXPECT_EQ(history.Tickets().front().key, "key-18");
    EXPECT_EQ(history.Tickets().back().key, "key-22");
  }
  TicketHistory reopened(path, limits);
  ASSERT_TRUE(reopened.Load());
  ASSERT_EQ(reopened.Tickets().size(), 5u);
  for (int i = 0; i < 5; ++i) ExpectSame(reopened.Tickets()[i], Ticket(18 + i));

  // A ticket too big to keep stays in the list without its bytes.
  ASSERT_TRUE(reopened.Add(Ticket(30, 1001)));
  EXPECT_TRUE(reopened.Tickets().back().bytes.empty());
  EXPECT_EQ(reopened.Tickets().back().key, "key-30");
}

TEST(TicketHistory, TheFileStaysBelowItsByteBound) {
  testing::TempDir dir;
  const std::string path = platform::JoinPath(dir.Path(), "recent.log");
  const TicketHistoryLimits limits{200, 4000, 20000};
  TicketHistory history(path, limits);
  ASSERT_TRUE(history.Load());
  for (int n = 0; n < 60; ++n) {
    ASSERT_TRUE(history.Add(Ticket(n, 3000)));
    EXPECT_LE(std::filesystem::file_size(path), limits.maxFileBytes) << n;
  }
  // 3000 bytes take about 4 KB in the file: the half of 20 KB holds two of them.
  EXPECT_GE(history.Tickets().size(), 2u);
  EXPECT_EQ(history.Tickets().back().key, "key-59");
  TicketHistory reopened(path, limits);
  ASSERT_TRUE(reopened.Load());
  EXPECT_EQ(reopened.Tickets().size(), history.Tickets().size());
}

TEST(TicketHistory, ACutOffLastRecordIsSkippedAndWrittenAway) {
  testing::TempDir dir;
  const std::string path = platform::JoinPath(dir.Path(), "recent.log");
  {
    TicketHistory history(path);
    ASSERT_TRUE(history.Load());
    for (int n = 0; n < 3; ++n) ASSERT_TRUE(history.Add(Ticket(n)));
  }
  // A kill in the middle of an append.
  const std::string half = EncodeTicketLine(Ticket(3)).substr(0, 50);
  ASSERT_TRUE(platform::AppendFile(path, half));

  TicketHistory reopened(path);
  ASSERT_TRUE(reopened.Load());
  ASSERT_EQ(reopened.Tickets().size(), 3u);
  // The next ticket must not be glued to the cut-off bytes.
  ASSERT_TRUE(reopened.Add(Ticket(4)));
  TicketHistory third(path);
  ASSERT_TRUE(third.Load());
  ASSERT_EQ(third.Tickets().size(), 4u);
  ExpectSame(third.Tickets()[3], Ticket(4));
}

TEST(TicketHistory, AFileThatIsNotOursIsLeftAloneUntilATicketComes) {
  testing::TempDir dir;
  const std::string path = platform::JoinPath(dir.Path(), "recent.log");
  ASSERT_TRUE(platform::WriteFile(path, "something else\n"));
  TicketHistory history(path);
  EXPECT_FALSE(history.Load());
  EXPECT_TRUE(history.Tickets().empty());
  std::string text;
  ASSERT_TRUE(platform::ReadFile(path, text));
  EXPECT_EQ(text, "something else\n");

  ASSERT_TRUE(history.Add(Ticket(1)));
  TicketHistory reopened(path);
  ASSERT_TRUE(reopened.Load());
  ASSERT_EQ(reopened.Tickets().size(), 1u);
}

}  // namespace
}  // namespace qv
