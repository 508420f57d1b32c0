#include "tools/sim/fault_plan.h"

namespace qv::sim {
namespace {

constexpr struct {
  FaultKind kind;
  const char* name;
} kKinds[] = {{FaultKind::Slow, "slow"},         {FaultKind::Http500, "http500"},
              {FaultKind::NonJson, "non_json"},  {FaultKind::Empty, "empty"},
              {FaultKind::Drop, "drop"},         {FaultKind::Code, "code"},
              {FaultKind::Trickle, "trickle"},   {FaultKind::Huge, "huge"},
              {FaultKind::Redirect, "redirect"}, {FaultKind::Silent, "silent"}};

constexpr int kSilentMs = 600'000;

int IntMember(const Json& request, const char* name, int fallback) {
  return request.contains(name) && request[name].is_number_integer() ? request[name].get<int>()
                                                                     : fallback;
}

}  // namespace

std::string FaultKindName(FaultKind kind) {
  for (const auto& k : kKinds) {
    if (k.kind == kind) return k.name;
  }
  return "?";
}

std::string FaultPlan::Parse(const Json& request, Fault& fault) {
  fault = Fault{};
  if (!request.is_object() || !request.contains("kind") || !request["kind"].is_string()) {
    return "a fault needs \"kind\"";
  }
  const std::string kind = request["kind"].get<std::string>();
  bool known = false;
  for (const auto& k : kKinds) {
    if (kind == k.name) {
      fault.kind = k.kind;
      known = true;
    }
  }
  if (!known) return "unknown fault kind \"" + kind + "\"";
  fault.count = IntMember(request, "count", 1);
  const int defaultDelayMs = fault.kind == FaultKind::Slow     ? 5000
                             : fault.kind == FaultKind::Silent ? kSilentMs
                                                               : 0;
  fault.delayMs = IntMember(request, "delay_ms", defaultDelayMs);
  fault.code = IntMember(request, "code", 500);
  if (fault.count < 0 || fault.delayMs < 0) return "count and delay_ms must not be negative";
  if (request.contains("endpoint") && request["endpoint"].is_string()) {
    fault.endpoint = request["endpoint"].get<std::string>();
    if (fault.endpoint != "wait" && fault.endpoint != "report" && fault.endpoint != "chk") {
      return "endpoint must be wait, report or chk";
    }
  }
  fault.consume = request.contains("consume") && request["consume"].is_boolean() &&
                  request["consume"].get<bool>();
  fault.bytesPerSecond = IntMember(request, "bytes_per_second", 2);
  fault.sizeMb = IntMember(request, "size_mb", 100);
  if (fault.bytesPerSecond < 1 || fault.sizeMb < 1) {
    return "bytes_per_second and size_mb must be at least 1";
  }
  if (request.contains("location") && request["location"].is_string()) {
    fault.location = request["location"].get<std::string>();
  }
  if (fault.kind == FaultKind::Redirect && fault.location.empty()) {
    return "a redirect needs \"location\"";
  }
  return "";
}

void FaultPlan::Add(Fault fault) {
  std::lock_guard lock(mutex_);
  faults_.push_back(std::move(fault));
}

void FaultPlan::Clear() {
  std::lock_guard lock(mutex_);
  faults_.clear();
  ++clears_;
}

unsigned FaultPlan::Clears() const {
  std::lock_guard lock(mutex_);
  return clears_;
}

std::optional<Fault> FaultPlan::Take(const std::string& endpoint) {
  std::lock_guard lock(mutex_);
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    if (!it->endpoint.empty() && it->endpoint != endpoint) continue;
    Fault fault = *it;
    if (it->count > 0 && --it->count == 0) faults_.erase(it);
    return fault;
  }
  return std::nullopt;
}

Json FaultPlan::List() const {
  std::lock_guard lock(mutex_);
  Json list = Json::array();
  for (const Fault& f : faults_) {
    Json item = Json::object();
    item["kind"] = FaultKindName(f.kind);
    item["count"] = f.count;
    item["delay_ms"] = f.delayMs;
    item["code"] = f.code;
    item["endpoint"] = f.endpoint;
    item["consume"] = f.consume;
    if (f.kind == FaultKind::Trickle) item["bytes_per_second"] = f.bytesPerSecond;
    if (f.kind == FaultKind::Huge) item["size_mb"] = f.sizeMb;
    if (f.kind == FaultKind::Redirect) item["location"] = f.location;
    list.push_back(std::move(item));
  }
  return list;
}

}  // namespace qv::sim
