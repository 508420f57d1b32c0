// Only the fields that come from the cloud are kept; status and message belong to one print
// attempt and start afresh after a restart.
#include "core/service/task_journal.h"

#include "core/config/settings.h"

#include <nlohmann/json.hpp>

#include <string_view>

namespace qv {
namespace {

constexpr const char* kJournalMark = "quorvel-print-tasks";
constexpr int kWholeFileVersion = 1;
constexpr int kLogVersion = 2;

using Json = nlohmann::ordered_json;

bool ReadText(const Json& object, const char* key, std::string& out) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return false;
  out = it->get<std::string>();
  return true;
}

bool ReadInt(const Json& object, const char* key, int32_t& out) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_number_integer()) return false;
  int64_t value = it->get<int64_t>();
  if (value < INT32_MIN || value > INT32_MAX) return false;
  out = static_cast<int32_t>(value);
  return true;
}

bool DecodeTask(const Json& item, PrintTask& task) {
  if (!item.is_object()) return false;
  return ReadText(item, "app_id", task.app_id) && ReadText(item, "store_id", task.store_id) &&
         ReadText(item, "uni_key", task.uni_key) && ReadInt(item, "print_type", task.print_type) &&
         ReadText(item, "print_sn", task.print_sn) && ReadInt(item, "print_num", task.print_num) &&
         ReadText(item, "print_content", task.print_content);
}

bool DecodeTasks(const Json& list, std::deque<PrintTask>& out) {
  if (!list.is_array()) return false;
  for (const Json& item : list) {
    PrintTask task;
    if (!DecodeTask(item, task)) return false;
    out.push_back(std::move(task));
  }
  return true;
}

Json EncodeTask(const PrintTask& t) {
  return Json{{"app_id", t.app_id},
              {"store_id", t.store_id},
              {"uni_key", t.uni_key},
              {"print_type", t.print_type},
              {"print_sn", t.print_sn},
              {"print_num", t.print_num},
              {"print_content", t.print_content},
              // A ticket prints with the feed in effect when it prints; the key stays in each
              // record because an earlier version of the program refuses a record without it.
              {"feed_lines", kDefaultFeedLines}};
}

constexpr std::string_view kFreeSlot = "{\"take\":0}";
constexpr std::string_view kTakenSlot = "{\"take\":1}";
static_assert(kFreeSlot.size() + 1 == kJournalSlotBytes);
static_assert(kFreeSlot[kJournalSlotMarkOffset] == '0' &&
              kTakenSlot[kJournalSlotMarkOffset] == kJournalSlotTaken);

// The add record of `tasks` followed by a free slot for each.
template <typename Tasks>
std::string AddLines(const Tasks& tasks) {
  Json list = Json::array();
  for (const PrintTask& t : tasks) list.push_back(EncodeTask(t));
  // Texts inside the program are UTF-8 already; replacing stray bytes keeps dump() from
  // throwing on a text that came from outside without being checked.
  std::string lines =
      Json{{"add", std::move(list)}}.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
  lines.reserve(lines.size() + tasks.size() * kJournalSlotBytes);
  for (size_t i = 0; i < tasks.size(); ++i) {
    lines.append(kFreeSlot);
    lines += '\n';
  }
  return lines;
}

// Follows the slots while the records are replayed: the free ones are usable for the waiting
// tasks only if every add record is followed by exactly one slot per task and the removals
// filled them from the first on, as this program writes them.
class SlotTracker {
 public:
  void Added(size_t count) {
    if (owed_ != 0) usable_ = false;
    owed_ = count;
  }
  void Slot(std::string_view line, uint64_t offset) {
    if (owed_ == 0) usable_ = false;
    if (owed_ > 0) --owed_;
    if (line == kFreeSlot) {
      free_.push_back(offset);
    } else if (!free_.empty()) {
      usable_ = false;  // a taken slot after a free one
    }
  }
  void Other() { usable_ = false; }
  // The free slots if they match `waiting` tasks one to one, else none.
  std::vector<uint64_t> Result(size_t waiting) {
    if (!usable_ || owed_ != 0 || free_.size() != waiting) return {};
    return std::move(free_);
  }

 private:
  bool usable_ = true;
  size_t owed_ = 0;
  std::vector<uint64_t> free_;
};

// The non-throwing parse: a damaged file is an expected input here, not an error.
Json ParseLine(std::string_view line) {
  return Json::parse(line.begin(), line.end(), nullptr, /*allow_exceptions=*/false);
}

// Applies one record line to the queue; false when the line is no record.
bool Replay(std::string_view line, std::deque<PrintTask>& tasks) {
  const Json record = ParseLine(line);
  if (!record.is_object() || record.size() != 1) return false;
  if (auto add = record.find("add"); add != record.end()) {
    std::deque<PrintTask> added;
    if (!DecodeTasks(*add, added)) return false;
    for (PrintTask& t : added) tasks.push_back(std::move(t));
    return true;
  }
  auto take = record.find("take");
  if (take == record.end() || !take->is_number_unsigned()) return false;
  // More removals than tasks cannot come from our own writes; what is left is still the best
  // account of the queue, so the extra ones are ignored rather than the whole file.
  for (uint64_t n = take->get<uint64_t>(); n > 0 && !tasks.empty(); --n) tasks.pop_front();
  return true;
}

bool IsRecord(std::string_view line) {
  const Json record = ParseLine(line);
  return record.is_object() && (record.contains("add") || record.contains("take"));
}

std::vector<std::string_view> Lines(std::string_view text, std::string_view& unfinished) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string_view::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  unfinished = text.substr(start);
  return lines;
}

}  // namespace

std::string JournalSnapshot(const std::deque<PrintTask>& tasks) {
  return Json{{"journal", kJournalMark}, {"version", kLogVersion}}.dump() + "\n" + AddLines(tasks);
}

std::string JournalAddRecord(const std::vector<PrintTask>& tasks) { return AddLines(tasks); }

JournalRead ReadJournal(const std::string& text, JournalContent& content) {
  std::string_view unfinished;
  std::vector<std::string_view> lines = Lines(text, unfinished);
  if (lines.empty()) {
    // A header alone, or a whole file of the first version, without its line end.
    if (unfinished.empty()) return JournalRead::Unusable;
    lines.push_back(unfinished);
    unfinished = {};
  }
  const Json header = ParseLine(lines[0]);
  if (!header.is_object()) return JournalRead::Unusable;
  auto mark = header.find("journal");
  auto version = header.find("version");
  if (mark == header.end() || *mark != kJournalMark || version == header.end()) {
    return JournalRead::Unusable;
  }

  std::deque<PrintTask> replayed;
  if (*version == kWholeFileVersion) {
    auto list = header.find("tasks");
    if (list == header.end() || !DecodeTasks(*list, replayed)) return JournalRead::Unusable;
    content.tasks = std::move(replayed);
    content.freeSlots.clear();
    return JournalRead::Whole;
  }
  if (*version != kLogVersion) return JournalRead::Unusable;

  JournalRead result = unfinished.empty() ? JournalRead::Whole : JournalRead::TornTail;
  SlotTracker slots;
  for (size_t i = 1; i < lines.size(); ++i) {
    const size_t before = replayed.size();
    if (Replay(lines[i], replayed)) {
      if (lines[i] == kFreeSlot || lines[i] == kTakenSlot) {
        slots.Slot(lines[i], static_cast<uint64_t>(lines[i].data() - text.data()));
      } else if (replayed.size() > before || lines[i].starts_with("{\"add\"")) {
        slots.Added(replayed.size() - before);
      } else {
        slots.Other();
      }
      continue;
    }
    // A write cut off by a power loss can leave a broken record (or zeros) at the end; the
    // records before it still hold. A broken record with good ones after it is damage.
    for (size_t later = i + 1; later < lines.size(); ++later) {
      if (IsRecord(lines[later])) return JournalRead::Unusable;
    }
    result = JournalRead::TornTail;
    break;
  }
  // After a cut-off record the free slots are not trusted: the queue writes the file anew.
  content.freeSlots =
      result == JournalRead::Whole ? slots.Result(replayed.size()) : std::vector<uint64_t>{};
  content.tasks = std::move(replayed);
  return result;
}

}  // namespace qv
