// The journal format: {"journal":"quorvel-print-tasks","version":1,"tasks":[{...},...]}, UTF-8.
// Only the fields that come from the cloud are kept; status and message belong to one print
// attempt and start afresh after a restart.
#include <nlohmann/json.hpp>

#include "core/task_queue.h"

namespace qv {
namespace {

constexpr const char* kJournalMark = "quorvel-print-tasks";
constexpr int kJournalVersion = 1;

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
         ReadText(item, "print_content", task.print_content) &&
         ReadInt(item, "feed_lines", task.feed_lines);
}

}  // namespace

std::string EncodeJournal(const std::deque<PrintTask>& tasks) {
  Json list = Json::array();
  for (const PrintTask& t : tasks) {
    list.push_back(Json{{"app_id", t.app_id},
                        {"store_id", t.store_id},
                        {"uni_key", t.uni_key},
                        {"print_type", t.print_type},
                        {"print_sn", t.print_sn},
                        {"print_num", t.print_num},
                        {"print_content", t.print_content},
                        {"feed_lines", t.feed_lines}});
  }
  Json root{{"journal", kJournalMark}, {"version", kJournalVersion}, {"tasks", std::move(list)}};
  // Texts inside the program are UTF-8 already; replacing stray bytes keeps dump() from
  // throwing on a text that came from outside without being checked.
  return root.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool DecodeJournal(const std::string& text, std::deque<PrintTask>& tasks) {
  // The non-throwing parse: a damaged file is an expected input here, not an error.
  Json root = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (root.is_discarded() || !root.is_object()) return false;
  auto mark = root.find("journal");
  auto version = root.find("version");
  auto list = root.find("tasks");
  if (mark == root.end() || *mark != kJournalMark) return false;
  if (version == root.end() || *version != kJournalVersion) return false;
  if (list == root.end() || !list->is_array()) return false;
  std::deque<PrintTask> decoded;
  for (const Json& item : *list) {
    PrintTask task;
    if (!DecodeTask(item, task)) return false;
    decoded.push_back(std::move(task));
  }
  tasks = std::move(decoded);
  return true;
}

}  // namespace qv
