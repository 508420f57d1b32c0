// What the simulated cloud knows: the print tasks waiting for the store, the reports and
// printer lists it received and the requests it saw. Shared by the HTTPS handlers and the
// admin interface, so every member locks.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace qv::sim {

using Json = nlohmann::ordered_json;

struct AddTasksResult {
  std::vector<std::string> keys;  // uni_key of every task added
  std::string error;              // non-empty when nothing was added
};

struct ReportOutcome {
  bool knownTask = false;
  bool duplicate = false;  // the task had already been reported
};

class CloudState {
 public:
  // `printers` replaces the print_sn placeholders "@1", "@2"... of task files.
  CloudState(std::string storeId, std::vector<std::string> printers);

  const std::string& StoreId() const { return storeId_; }

  // Adds tasks from JSON text: one task object, an array of them, or {"tasks": [...]}.
  // Missing members get defaults; a member "sim" holds simulator settings for the task:
  // "repeat" (how many polls hand it out, default 1) and "data_as_string" (the answer
  // carries `data` as a JSON string).
  AddTasksResult AddTasks(std::string_view jsonText);

  // Hands out the waiting tasks for one poll, at most `maxTasks`, all with the same `data`
  // form; returns the answer object and the keys handed out.
  Json TakePollAnswer(int maxTasks, std::vector<std::string>& keys);

  ReportOutcome RecordReport(const std::string& key, const std::string& stat);
  void RecordPrinterList(Json entry);
  void RecordRequest(Json entry);

  // Snapshots for the admin interface.
  Json Tasks() const;
  Json Reports() const;
  Json PrinterLists() const;
  Json Requests() const;
  Json Summary() const;

  // Forgets tasks, reports, printer lists and requests.
  void Clear();

 private:
  struct Task {
    Json body;  // the task object as the poll answer carries it
    int remaining = 1;
    bool dataAsString = false;
    int handedOut = 0;
    std::vector<std::string> stats;  // every reported outcome, in order
    std::string added;
    long long addedMs = 0;
    long long firstHandedOutMs = 0;  // 0 while never handed out
  };

  std::string AddOne(Json task);
  Task* Find(const std::string& key);

  std::string storeId_;
  std::vector<std::string> printers_;
  mutable std::mutex mutex_;
  std::deque<Task> tasks_;
  Json reports_ = Json::array();
  Json printerLists_ = Json::array();
  std::deque<Json> requests_;
  int64_t nextKey_ = 1;
  int64_t requestCount_ = 0;
};

// Text of a JSON value, never throwing on invalid UTF-8 (replaced by U+FFFD).
std::string JsonText(const Json& value, int indent = -1);

}  // namespace qv::sim
