// Faults the simulated cloud injects into its next answers: the admin interface queues them,
// each request takes the first one that applies to its endpoint.
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "tools/sim/cloud_state.h"

namespace qv::sim {

enum class FaultKind {
  Slow,      // answer normally after `delayMs`
  Http500,   // HTTP status 500 with a plain text body
  NonJson,   // HTTP 200 with an HTML body
  Empty,     // HTTP 200 with an empty body
  Drop,      // the connection is closed before the body is sent
  Code,      // HTTP 200 with {"code": `code`}
  Trickle,   // HTTP 200 with an empty task list, the body sent `bytesPerSecond` bytes a second
  Huge,      // HTTP 200, about `sizeMb` MB without a length (a task list of one long string)
  Redirect,  // HTTP 302 to `location`
  Silent,    // no answer at all: the request is held until the plan is cleared or `delayMs`
             // passes, then the connection is closed (a cloud that never answers)
};

struct Fault {
  FaultKind kind = FaultKind::Slow;
  int count = 1;           // requests it applies to; 0 means until cleared
  int delayMs = 0;         // Slow: the delay; other kinds: a delay before failing
  int code = 500;          // Code: the `code` member
  std::string endpoint;    // "wait", "report", "chk" or empty for every endpoint
  bool consume = false;    // wait: hand out (and lose) the tasks before failing
  int bytesPerSecond = 2;  // Trickle
  int sizeMb = 100;        // Huge
  std::string location;    // Redirect: the target URL
};

class FaultPlan {
 public:
  // Parses {"kind": "slow|silent|http500|non_json|empty|drop|code|trickle|huge|redirect",
  // "count": N, "delay_ms": ms, "code": n, "endpoint": "wait|report|chk", "consume": bool,
  // "bytes_per_second": n, "size_mb": n, "location": URL}; empty text = fine.
  static std::string Parse(const Json& request, Fault& fault);

  void Add(Fault fault);
  void Clear();
  // Counts the Clear() calls: a request held by a silent fault ends when this moves on.
  unsigned Clears() const;
  // The fault that the next request to `endpoint` suffers, if any.
  std::optional<Fault> Take(const std::string& endpoint);
  Json List() const;

 private:
  mutable std::mutex mutex_;
  std::deque<Fault> faults_;
  unsigned clears_ = 0;
};

std::string FaultKindName(FaultKind kind);

}  // namespace qv::sim
