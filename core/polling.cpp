#include "core/polling.h"

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "util/json_document.h"
#include "util/local_time.h"
#include "util/text.h"

namespace qv {
namespace {

constexpr int32_t kMaxFeedLines = 15;
constexpr int32_t kMinCopies = 1;
constexpr int32_t kMaxCopies = 5;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, LocalTime& t) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
}

// The wall-clock time `seconds` from `t`, carried through minutes, days, months and years.
LocalTime AddSeconds(const LocalTime& t, int64_t seconds) {
  int64_t total = DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 +
                  t.second + seconds;
  int64_t days = total >= 0 ? total / 86400 : (total - 86399) / 86400;
  int64_t rest = total - days * 86400;
  LocalTime out = t;
  CivilFromDays(days, out);
  out.hour = static_cast<int>(rest / 3600);
  out.minute = static_cast<int>(rest / 60 % 60);
  out.second = static_cast<int>(rest % 60);
  return out;
}

// "[i]", the path of element i of the root array. Built by appending: g++ 12 at -O3 warns
// falsely (-Wrestrict) about the "[" + to_string(i) + "]" form.
std::string ElementPath(size_t i) {
  std::string path = "[";
  path += std::to_string(i);
  path += ']';
  return path;
}

// Reads a task member as its compact JSON text turned into an integer, so that 1 and "1"
// both give 1.
int32_t IntAt(const JsonDocument& doc, const std::string& path) {
  return TextToInt(doc.SubDocumentText(path));
}

PrintTask BuildTask(const JsonDocument& data, size_t i, int32_t feedLines) {
  const std::string at = ElementPath(i);
  PrintTask task;
  task.app_id = data.SubDocumentText(at + "['app_id']");
  task.store_id = data.SubDocumentText(at + "['store_id']");
  task.uni_key = data.GetText(at + "['uni_key']");
  task.print_type = IntAt(data, at + "['print_type']");
  task.print_sn = data.GetText(at + "['print_sn']");
  task.print_num = std::clamp(IntAt(data, at + "['print_num']"), kMinCopies, kMaxCopies);
  // A content sent as a string holding the array comes out as the array's own text here.
  task.print_content = data.SubDocumentText(at + "['print_content']");
  task.status = 0;
  task.feed_lines = std::min(feedLines, kMaxFeedLines);
  return task;
}

}  // namespace

void Poller::StartPolling() {
  ServiceState& st = s_.state;
  st.pollBusy = false;
  st.pollTick = 1;
  st.pollInterval = st.pollSeconds;
  st.pollCount = 0;
  st.recordCount = 0;
  lastMessage_ = "无";
  PollPrintTasks();
}

void Poller::PollTimerTick() {
  ServiceState& st = s_.state;
  if (st.pollBusy) {
    st.pollTick = 1;
    return;
  }
  ++st.pollTick;
  if (st.pollTick <= st.pollInterval) return;
  st.pollTick = 1;
  view_.SetPreviousMessage(lastMessage_);
  PollPrintTasks();
}

std::string Poller::FetchWaitingTasks() { return s_.cloud.FetchWaitingTasksBody(); }

std::string Poller::NextPollStamp() {
  return DateTimeText(AddSeconds(s_.clock.Now(), s_.state.pollInterval));
}

void Poller::SetLastMessage(const std::string& text) {
  lastMessage_ = text;
  view_.SetLastMessage(text);
}

bool Poller::PollPrintTasks() {
  // The 32-bit program has 2 GB of address space; an answer whose tree does not fit costs
  // this poll, not the program (the transport already caps what it reads).
  try {
    return PollOnce();
  } catch (const std::bad_alloc&) {
    s_.state.pollBusy = false;
    SetLastMessage(NextPollStamp() + "[DE_1]");
    s_.runLog.WriteRunLog("内存不足，无法处理本次查询的应答");
    return false;
  }
}

bool Poller::PollOnce() {
  ServiceState& st = s_.state;
  if (s_.config.sid.empty() || st.pollBusy) return false;

  ++st.pollCount;
  view_.SetPollLine("查询[" + std::to_string(st.pollCount) + "]次/记录数[" +
                    std::to_string(st.recordCount) + "]");
  st.pollBusy = true;
  // The answer is UTF-8; a stray invalid byte must not cost the whole poll, so it is read
  // leniently instead of being rejected.
  const std::string body = SanitizeUtf8(FetchWaitingTasks());

  JsonDocument answer;
  JsonParseError error;
  if (!answer.Parse(body, &error)) {
    st.pollBusy = false;
    SetLastMessage(NextPollStamp() + "[DE_1]");
    s_.runLog.WriteRunLog("解析主包失败，错误行：" + std::to_string(error.Line) + "  错误内容：" +
                          error.Text);
    return false;
  }
  const int32_t code = IntAt(answer, "code");
  if (code != 200) {
    SetLastMessage(NextPollStamp() + "[CODE:" + std::to_string(code) + "]");
    st.pollBusy = false;
    s_.runLog.WriteRunLog("返回状态码错误");
    return false;
  }
  if (IntAt(answer, "total") < 1) {
    SetLastMessage(NextPollStamp() + "[No Task]");
    st.pollBusy = false;
    return true;
  }
  // data taken out as a document of its own holds what its JSON text would read back as,
  // without writing and re-reading the whole answer on every poll. Its one failure is an
  // absent or null data, which has no syntax error to point at: line 0, no text.
  const JsonDocument data = answer.SubDocument("data");
  if (!data.Exists("")) {
    st.pollBusy = false;
    SetLastMessage(NextPollStamp() + "[DE_2]");
    s_.runLog.WriteRunLog("解析data失败，错误行：0  错误内容：");
    return false;
  }
  const int n = data.Count("");
  if (n < 1) {
    SetLastMessage(NextPollStamp() + "[Task is empty]");
    st.pollBusy = false;
    return true;
  }
  SetLastMessage(NextPollStamp() + "[Task:" + std::to_string(n) + "]");

  std::vector<PrintTask> fresh;
  for (int i = 0; i < n; ++i) {
    ++st.recordCount;
    PrintTask task = BuildTask(data, static_cast<size_t>(i), st.feedLines);
    // An answer may repeat a task that an earlier answer delivered and that is still waiting
    // here (or printing); queueing it again would put the same ticket on paper twice.
    bool seen = st.taskQueue.Contains(task.uni_key) ||
                std::any_of(fresh.begin(), fresh.end(), [&](const PrintTask& t) {
                  return !task.uni_key.empty() && t.uni_key == task.uni_key;
                });
    if (!seen) fresh.push_back(std::move(task));
  }
  // One journal write for the whole answer: the tasks are on disk before the poll ends.
  st.taskQueue.Append(fresh);

  view_.SetPollLine("查询次数[" + std::to_string(st.pollCount) + "]/记录数[" +
                    std::to_string(st.recordCount) + "]");
  st.pollBusy = false;
  return true;
}

}  // namespace qv
