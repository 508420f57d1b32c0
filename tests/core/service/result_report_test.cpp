#include "core/service/result_report.h"

#include <gtest/gtest.h>

#include "tests/fakes/core_fakes.h"

namespace qv::testing {
namespace {

TEST(ResultReport, JudgesTheAnswerByItsCode) {
  struct Case {
    std::string answer;
    bool result;
    std::string lastLine;
  };
  for (const Case& c :
       std::vector<Case>{{R"({"code":200,"msg":"ok"})", true, "上报[abc]返回结果完成"},
                         {R"({"code":"200"})", true, "上报[abc]返回结果完成"},
                         {R"({"code":201})", false, "上报[abc]返回结果未知，返回的状态码：201"},
                         {R"({"msg":1})", false, "上报[abc]返回结果未知，返回的状态码："},
                         {"plain text", false, "上报[abc]返回结果未知，原因是返回数据的数据异常"},
                         {"", false, "上报[abc]返回结果未知，原因是返回数据的数据异常"}}) {
    SCOPED_TRACE(c.answer);
    CoreFixture f;
    f.cloud.reportAnswer = c.answer;
    JobLog log(f.services);
    EXPECT_EQ(ReportPrintResult(f.cloud, f.config, log, "abc", PrintOutcome::Failed), c.result);
    f.Settle();
    ASSERT_EQ(f.cloud.reports.size(), 1u);
    EXPECT_EQ(f.cloud.reports[0].uniKey, "abc");
    EXPECT_EQ(f.cloud.reports[0].stat, "-1");
    const auto lines = f.debugView.Messages();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::string(58, '-') + "\r\n打印结果[abc]打印准备上报，打印成功=假");
    EXPECT_EQ(lines[1], c.lastLine);
    EXPECT_TRUE(f.LogMessages().empty());
  }
}

TEST(ResultReport, PrintedSendsStatOneAndNothingShowsWhileTheViewIsOff) {
  CoreFixture f;
  f.state.debugViewEnabled = false;
  JobLog log(f.services);
  EXPECT_TRUE(ReportPrintResult(f.cloud, f.config, log, "k", PrintOutcome::Printed));
  f.Settle();
  EXPECT_EQ(f.cloud.reports[0].stat, "1");
  EXPECT_TRUE(f.debugView.lines.empty());
}

}  // namespace
}  // namespace qv::testing
