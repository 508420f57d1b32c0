#include "tools/sim/cloud_state.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "tools/sim/sim_log.h"

namespace qv::sim {
namespace {

constexpr size_t kKeptRequests = 2000;

// A key that differs between simulator runs, so tasks of an earlier run that a service still
// holds in its journal are never confused with new ones.
std::string RunTag() {
  static const std::string tag = [] {
    auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(now).count() % 100000);
  }();
  return tag;
}

}  // namespace

std::string JsonText(const Json& value, int indent) {
  return value.dump(indent, ' ', false, Json::error_handler_t::replace);
}

CloudState::CloudState(std::string storeId, std::vector<std::string> printers)
    : storeId_(std::move(storeId)), printers_(std::move(printers)) {}

AddTasksResult CloudState::AddTasks(std::string_view jsonText) {
  AddTasksResult result;
  Json doc = Json::parse(jsonText, nullptr, false);
  if (doc.is_discarded()) {
    result.error = "not JSON";
    return result;
  }
  if (doc.is_object() && doc.contains("tasks")) doc = doc["tasks"];
  if (doc.is_object()) doc = Json::array({doc});
  if (!doc.is_array()) {
    result.error = "expected a task object, an array of tasks or {\"tasks\": [...]}";
    return result;
  }
  for (const Json& task : doc) {
    if (!task.is_object() || !task.contains("print_content")) {
      result.error = "every task needs print_content";
      return result;
    }
  }
  std::lock_guard lock(mutex_);
  for (const Json& task : doc) result.keys.push_back(AddOne(task));
  return result;
}

std::string CloudState::AddOne(Json task) {
  Task t;
  if (task.contains("sim")) {
    const Json& sim = task["sim"];
    if (sim.contains("repeat") && sim["repeat"].is_number_integer()) {
      t.remaining = std::max(1, sim["repeat"].get<int>());
    }
    if (sim.contains("data_as_string") && sim["data_as_string"].is_boolean()) {
      t.dataAsString = sim["data_as_string"].get<bool>();
    }
    task.erase("sim");
  }
  // The cloud fills the members the task file leaves out, in the order the answers carry them.
  Json body = Json::object();
  std::string key;
  if (task.contains("uni_key")) {
    key = task["uni_key"].is_string() ? task["uni_key"].get<std::string>()
                                      : JsonText(task["uni_key"]);
  }
  if (key.empty()) key = "sim-" + RunTag() + "-" + std::to_string(nextKey_);
  ++nextKey_;
  body["app_id"] = task.contains("app_id") ? task["app_id"] : Json("quorvel-sim");
  body["store_id"] = task.contains("store_id") ? task["store_id"] : Json(storeId_);
  body["uni_key"] = key;
  body["print_type"] = task.contains("print_type") ? task["print_type"] : Json(1);
  Json sn = task.contains("print_sn") ? task["print_sn"] : Json("@1");
  if (sn.is_string() && sn.get<std::string>().size() > 1 && sn.get<std::string>()[0] == '@') {
    size_t index = static_cast<size_t>(std::max(1, std::atoi(sn.get<std::string>().c_str() + 1)));
    if (!printers_.empty()) sn = printers_[std::min(index, printers_.size()) - 1];
  }
  body["print_sn"] = sn;
  body["print_num"] = task.contains("print_num") ? task["print_num"] : Json(1);
  body["print_content"] = task["print_content"];
  for (auto it = task.begin(); it != task.end(); ++it) {
    if (!body.contains(it.key())) body[it.key()] = it.value();
  }
  t.body = std::move(body);
  t.added = NowText();
  t.addedMs = UnixMs();
  tasks_.push_back(std::move(t));
  return key;
}

Json CloudState::TakePollAnswer(int maxTasks, std::vector<std::string>& keys) {
  std::lock_guard lock(mutex_);
  Json data = Json::array();
  bool asString = false;
  for (Task& t : tasks_) {
    if (t.remaining <= 0) continue;
    if (static_cast<int>(data.size()) >= maxTasks) break;
    if (data.empty()) {
      asString = t.dataAsString;
    } else if (t.dataAsString != asString) {
      break;  // one answer carries `data` in one form; the next poll takes the rest
    }
    --t.remaining;
    if (t.handedOut++ == 0) t.firstHandedOutMs = UnixMs();
    keys.push_back(t.body["uni_key"].get<std::string>());
    data.push_back(t.body);
  }
  Json answer = Json::object();
  answer["code"] = 200;
  answer["msg"] = data.empty() ? "no task" : "ok";
  answer["total"] = data.size();
  answer["data"] = asString ? Json(JsonText(data)) : data;
  return answer;
}

CloudState::Task* CloudState::Find(const std::string& key) {
  for (Task& t : tasks_) {
    if (t.body["uni_key"] == key) return &t;
  }
  return nullptr;
}

ReportOutcome CloudState::RecordReport(const std::string& key, const std::string& stat) {
  std::lock_guard lock(mutex_);
  ReportOutcome outcome;
  Task* task = Find(key);
  outcome.knownTask = task != nullptr;
  if (task) {
    outcome.duplicate = !task->stats.empty();
    task->stats.push_back(stat);
  }
  Json entry = Json::object();
  entry["time"] = NowText();
  entry["time_ms"] = UnixMs();
  entry["uk"] = key;
  entry["stat"] = stat;
  entry["known_task"] = outcome.knownTask;
  entry["duplicate"] = outcome.duplicate;
  if (task) entry["print_sn"] = task->body["print_sn"];
  reports_.push_back(std::move(entry));
  return outcome;
}

void CloudState::RecordPrinterList(Json entry) {
  std::lock_guard lock(mutex_);
  printerLists_.push_back(std::move(entry));
}

void CloudState::RecordRequest(Json entry) {
  std::lock_guard lock(mutex_);
  entry["seq"] = ++requestCount_;
  requests_.push_back(std::move(entry));
  if (requests_.size() > kKeptRequests) requests_.pop_front();
}

Json CloudState::Tasks() const {
  std::lock_guard lock(mutex_);
  Json list = Json::array();
  for (const Task& t : tasks_) {
    Json item = Json::object();
    item["uni_key"] = t.body["uni_key"];
    item["print_type"] = t.body["print_type"];
    item["print_sn"] = t.body["print_sn"];
    item["added"] = t.added;
    item["added_ms"] = t.addedMs;
    item["first_handed_out_ms"] = t.firstHandedOutMs;
    item["waiting"] = t.remaining > 0;
    item["handed_out"] = t.handedOut;
    item["reports"] = t.stats;
    item["data_as_string"] = t.dataAsString;
    item["task"] = t.body;
    list.push_back(std::move(item));
  }
  return list;
}

Json CloudState::Reports() const {
  std::lock_guard lock(mutex_);
  return reports_;
}

Json CloudState::PrinterLists() const {
  std::lock_guard lock(mutex_);
  return printerLists_;
}

Json CloudState::Requests() const {
  std::lock_guard lock(mutex_);
  Json list = Json::array();
  for (const Json& r : requests_) list.push_back(r);
  return list;
}

Json CloudState::Summary() const {
  std::lock_guard lock(mutex_);
  int waiting = 0, handedOut = 0, printed = 0, failed = 0;
  for (const Task& t : tasks_) {
    if (t.remaining > 0) ++waiting;
    if (t.handedOut > 0) ++handedOut;
    if (!t.stats.empty()) (t.stats.back() == "1" ? printed : failed) += 1;
  }
  Json s = Json::object();
  s["store_id"] = storeId_;
  s["tasks"] = tasks_.size();
  s["waiting"] = waiting;
  s["handed_out"] = handedOut;
  s["reported_printed"] = printed;
  s["reported_failed"] = failed;
  s["reports"] = reports_.size();
  s["printer_lists"] = printerLists_.size();
  s["requests"] = requestCount_;
  return s;
}

void CloudState::Clear() {
  std::lock_guard lock(mutex_);
  tasks_.clear();
  reports_ = Json::array();
  printerLists_ = Json::array();
  requests_.clear();
}

}  // namespace qv::sim
