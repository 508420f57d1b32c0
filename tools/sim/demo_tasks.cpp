#include "tools/sim/demo_tasks.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/sim/cloud_state.h"

namespace qv::sim {

bool ReadTextFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream buf;
  buf << in.rdbuf();
  text = buf.str();
  return true;
}

std::vector<std::string> LoadSampleTasks(const std::string& dir, std::string& error) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.path().extension() == ".json") files.push_back(entry.path().string());
  }
  if (ec) {
    error = "cannot read the samples directory " + dir + ": " + ec.message();
    return {};
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> tasks;
  for (const std::string& file : files) {
    std::string text;
    if (!ReadTextFile(file, text)) continue;
    Json doc = Json::parse(text, nullptr, false);
    if (doc.is_object() && doc.contains("tasks")) doc = doc["tasks"];
    if (doc.is_object()) doc = Json::array({doc});
    if (!doc.is_array()) {
      error = file + " is not a task file";
      return {};
    }
    for (const Json& task : doc) tasks.push_back(JsonText(task));
  }
  if (tasks.empty() && error.empty()) error = "no sample tasks in " + dir;
  return tasks;
}

std::string DemoTask(const std::vector<std::string>& samples, int seq) {
  std::string text = samples[static_cast<size_t>(seq - 1) % samples.size()];
  Json task = Json::parse(text, nullptr, false);
  task.erase("uni_key");  // every demo task gets a key of its own
  text = JsonText(task);
  const std::string order = std::to_string(1000 + seq);
  for (size_t pos = text.find("{seq}"); pos != std::string::npos; pos = text.find("{seq}", pos)) {
    text.replace(pos, 5, order);
  }
  return text;
}

}  // namespace qv::sim
