// The cloud API's print endpoints on the loopback test server, scripted per store so that
// test programs running at the same time do not see each other's tasks: the store is the
// request's Storeid header (scripts name it with ?store=). Only stores that a script has
// opened are served here; requests of every other store fall through to the echo.
//
//   POST /api/v2/common/local/print/wait     the next scripted answer of the store, as it
//                                            was scripted (any bytes); with none left,
//                                            {"code":200,"total":0,"data":[]}
//   POST /api/v2/common/local/print/report   recorded; answered with the store's report
//                                            answer ({"code":200} unless scripted)
//   POST /__cloud/open?store=S               opens S (empty, default answers)
//   POST /__cloud/wait?store=S               queues the body as the next wait answer of S
//   POST /__cloud/report-answer?store=S      the body answers every later report of S
//   GET  /__cloud/reports?store=S            every recorded report request of S (head and
//                                            body as received), each followed by "\x1e"
//   GET  /__cloud/waits?store=S              how many wait requests S has made
#pragma once

#include <cctype>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace cloud_mailbox {

struct Store {
  std::deque<std::string> waitAnswers;
  std::string reportAnswer = R"({"code":200})";
  std::string reports;
  int waits = 0;
};

inline std::mutex& Lock() {
  static std::mutex m;
  return m;
}

inline std::map<std::string, Store>& Stores() {
  static std::map<std::string, Store> stores;
  return stores;
}

// The value of the first header line named `name` (ASCII case-insensitive), spaces trimmed.
inline std::string HeaderValue(const std::string& raw, const std::string& name) {
  size_t headEnd = raw.find("\r\n\r\n");
  size_t at = raw.find("\r\n");
  while (at != std::string::npos && at < headEnd) {
    size_t start = at + 2;
    size_t end = raw.find("\r\n", start);
    std::string line = raw.substr(start, end - start);
    size_t colon = line.find(':');
    if (colon == name.size()) {
      bool same = true;
      for (size_t i = 0; i < colon && same; ++i) {
        same = std::tolower(static_cast<unsigned char>(line[i])) ==
               std::tolower(static_cast<unsigned char>(name[i]));
      }
      if (same) {
        size_t v = line.find_first_not_of(' ', colon + 1);
        return v == std::string::npos ? "" : line.substr(v);
      }
    }
    at = end;
  }
  return "";
}

inline std::string Body(const std::string& raw) {
  size_t headEnd = raw.find("\r\n\r\n");
  return headEnd == std::string::npos ? "" : raw.substr(headEnd + 4);
}

inline std::string StoreParam(const std::string& query) {
  const std::string key = "store=";
  size_t at = query.find(key);
  if (at == std::string::npos) return "";
  size_t end = query.find('&', at);
  return query.substr(at + key.size(), end == std::string::npos ? end : end - at - key.size());
}

// Answers the paths above into `body`; false for every other path.
inline bool Handle(const std::string& path, const std::string& query, const std::string& raw,
                   std::string& body) {
  std::lock_guard<std::mutex> hold(Lock());
  const bool waitPath = path == "/api/v2/common/local/print/wait";
  const bool reportPath = path == "/api/v2/common/local/print/report";
  if (waitPath || reportPath) {
    auto it = Stores().find(HeaderValue(raw, "Storeid"));
    if (it == Stores().end()) return false;
    Store& s = it->second;
    if (reportPath) {
      s.reports += raw + "\x1e";
      body = s.reportAnswer;
      return true;
    }
    ++s.waits;
    if (s.waitAnswers.empty()) {
      body = R"({"code":200,"total":0,"data":[]})";
    } else {
      body = s.waitAnswers.front();
      s.waitAnswers.pop_front();
    }
    return true;
  }
  if (path.rfind("/__cloud/", 0) != 0) return false;
  Store& s = Stores()[StoreParam(query)];
  if (path == "/__cloud/open") {
    body = "open";
  } else if (path == "/__cloud/wait") {
    s.waitAnswers.push_back(Body(raw));
    body = "queued";
  } else if (path == "/__cloud/report-answer") {
    s.reportAnswer = Body(raw);
    body = "set";
  } else if (path == "/__cloud/reports") {
    body = s.reports;
  } else if (path == "/__cloud/waits") {
    body = std::to_string(s.waits);
  } else {
    return false;
  }
  return true;
}

}  // namespace cloud_mailbox
