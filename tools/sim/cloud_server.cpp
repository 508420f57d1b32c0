#include "tools/sim/cloud_server.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>

#include "platform/gbk.h"
#include "tools/sim/cloud_checks.h"
#include "tools/sim/sim_log.h"
#include "util/text.h"

namespace qv::sim {
namespace {

constexpr const char* kBasePath = "/api/v2/common/local/print/";
constexpr const char* kJsonType = "application/json; charset=utf-8";
constexpr size_t kRecordedBodyChars = 4000;
constexpr const char* kServiceAgent =
    "Mozilla/5.0 (Linux; U; Android 8.1.0; zh-cn; Redmi 6 Pro Build/OPM1.171019.019) "
    "AppleWebKit/537.36 (KHTML, like Gecko) Version/4.0 Chrome/61.0.3163.128 Mobile "
    "Safari/537.36 XiaoMi/MiuiBrowser/9.8.7";

EntryClock ClockNow() {
  EntryClock clock;
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  clock.unixSeconds = now;
  clock.localOffsetSeconds = tm.tm_gmtoff;
  return clock;
}

void Note(Json& record, const std::string& text) { record["notes"].push_back(text); }

void SendJson(httplib::Response& res, const Json& answer, Json& record) {
  res.status = 200;
  res.set_content(JsonText(answer), kJsonType);
  record["answer_code"] = answer["code"];
}

std::string Header(const httplib::Request& req, const char* name, bool* present = nullptr) {
  if (present) *present = req.has_header(name);
  return req.get_header_value(name);
}

}  // namespace

Json CodeAnswer(int code, const std::string& msg) {
  Json answer = Json::object();
  answer["code"] = code;
  answer["msg"] = msg;
  return answer;
}

CloudServer::CloudServer(CloudState& state, FaultPlan& faults, CloudOptions options)
    : state_(state), faults_(faults), options_(std::move(options)) {}

CloudServer::~CloudServer() { Stop(); }

std::unique_ptr<httplib::SSLServer> CloudServer::MakeServer(const CertificateFiles& certificates) {
  auto server = std::make_unique<httplib::SSLServer>(certificates.certFile.c_str(),
                                                     certificates.keyFile.c_str());
  if (!server->is_valid()) return nullptr;
  for (const char* endpoint : {"wait", "report", "chk"}) {
    std::string name = endpoint;
    server->Post(std::string(kBasePath) + endpoint,
                 [this, name](const httplib::Request& req, httplib::Response& res) {
                   Handle(req, res, name);
                 });
  }
  server->set_error_handler([](const httplib::Request& req, httplib::Response& res) {
    Log("cloud", req.method + " " + req.path + " -> HTTP " + std::to_string(res.status));
  });
  // Idle keep-alive connections hold up a stop until they time out; keep that short. A
  // connection serves as many requests as a production web server's (nginx: 1000) rather
  // than the library's default of five, so that the service's polls run on a kept
  // connection as they do against the real cloud.
  server->set_keep_alive_timeout(2);
  server->set_keep_alive_max_count(1000);
  return server;
}

std::string CloudServer::Start(const CertificateFiles& certificates) {
  auto server = MakeServer(certificates);
  if (!server) return "cannot load the server certificate or key";
  if (!server->bind_to_port(options_.host, options_.port)) {
    return "cannot listen on " + options_.host + ":" + std::to_string(options_.port);
  }
  servers_.push_back(std::move(server));
  // Clients reach the cloud by the name localhost, which some systems resolve to ::1 first.
  if (options_.host == "127.0.0.1") {
    auto v6 = MakeServer(certificates);
    if (v6 && v6->bind_to_port("::1", options_.port)) servers_.push_back(std::move(v6));
  }
  for (auto& s : servers_) {
    httplib::SSLServer* raw = s.get();
    threads_.emplace_back([raw] { raw->listen_after_bind(); });
  }
  return "";
}

void CloudServer::Stop() {
  stopping_ = true;
  for (auto& s : servers_) s->stop();
  for (auto& t : threads_) {
    if (t.joinable()) t.join();
  }
  threads_.clear();
}

void CloudServer::SleepMs(int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!stopping_ && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void CloudServer::Handle(const httplib::Request& req, httplib::Response& res,
                         const std::string& endpoint) {
  Json record = Json::object();
  record["time"] = NowText();
  record["endpoint"] = endpoint;
  record["remote"] = req.remote_addr;
  Json headers = Json::object();
  for (const char* name : {"User-Agent", "Storeid", "X-Token", "Entry", "Uk", "Stat",
                           "Content-Type", "Accept", "Accept-Language", "Cache-Control"}) {
    if (req.has_header(name)) headers[name] = SanitizeUtf8(req.get_header_value(name));
  }
  record["headers"] = headers;
  // Every name, so that a header nobody meant to send (one smuggled in through a value) shows.
  Json names = Json::array();
  for (const auto& [name, value] : req.headers) names.push_back(SanitizeUtf8(name));
  record["header_names"] = names;
  record["body"] = SanitizeUtf8(req.body.substr(0, kRecordedBodyChars));
  record["notes"] = Json::array();

  std::optional<Fault> fault = faults_.Take(endpoint);
  if (fault && ApplyFault(*fault, endpoint, res, record)) {
    state_.RecordRequest(record);
    return;
  }

  std::string refusal = CheckEnvelope(req, record);
  if (!refusal.empty()) {
    record["refused"] = refusal;
    SendJson(res, CodeAnswer(401, refusal), record);
    Log("cloud", "POST " + endpoint + " refused: " + refusal);
  } else if (endpoint == "wait") {
    AnswerWait(req, res, record);
  } else if (endpoint == "report") {
    AnswerReport(req, res, record);
  } else {
    AnswerChk(req, res, record);
  }
  state_.RecordRequest(record);
}

bool CloudServer::ApplyFault(const Fault& fault, const std::string& endpoint,
                             httplib::Response& res, Json& record) {
  record["fault"] = FaultKindName(fault.kind);
  if (fault.kind == FaultKind::Silent) {
    Log("cloud", "POST " + endpoint + ": no answer (injected)");
    const unsigned clears = faults_.Clears();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(fault.delayMs);
    while (!stopping_ && faults_.Clears() == clears && std::chrono::steady_clock::now() < end) {
      SleepMs(50);
    }
    // Still no answer: the body promised by the headers breaks off, as with a drop.
    res.status = 200;
    res.set_content_provider(64, "application/json",
                             [](size_t, size_t, httplib::DataSink&) { return false; });
    return true;
  }
  if (fault.delayMs > 0) {
    Log("cloud", "POST " + endpoint + ": answering " + std::to_string(fault.delayMs) +
                     " ms late (injected)");
    SleepMs(fault.delayMs);
  }
  if (fault.kind == FaultKind::Slow) return false;
  if (fault.consume && endpoint == "wait") {
    std::vector<std::string> lost;
    state_.TakePollAnswer(options_.maxTasksPerPoll, lost);
    record["lost_tasks"] = lost;
  }
  switch (fault.kind) {
    case FaultKind::Http500:
      res.status = 500;
      res.set_content("Internal Server Error", "text/plain");
      break;
    case FaultKind::NonJson:
      res.status = 200;
      res.set_content("<html><body><h1>502 Bad Gateway</h1></body></html>", "text/html");
      break;
    case FaultKind::Empty:
      res.status = 200;
      res.set_content("", "application/json");
      break;
    case FaultKind::Code:
      SendJson(res, CodeAnswer(fault.code, "simulated error"), record);
      break;
    case FaultKind::Drop:
      // Promise a body and then fail to produce it: httplib closes the connection, so the
      // client sees the answer break off.
      res.status = 200;
      res.set_content_provider(64, "application/json",
                               [](size_t, size_t, httplib::DataSink&) { return false; });
      break;
    case FaultKind::Trickle:
      AnswerTrickling(fault.bytesPerSecond, res);
      break;
    case FaultKind::Huge:
      AnswerHuge(static_cast<size_t>(fault.sizeMb) << 20, res);
      break;
    case FaultKind::Redirect:
      res.status = 302;
      res.set_header("Location", fault.location);
      res.set_content("moved", "text/plain");
      break;
    case FaultKind::Slow:
    case FaultKind::Silent:
      break;
  }
  Log("cloud", "POST " + endpoint + " -> injected fault " + FaultKindName(fault.kind));
  return true;
}

// A valid answer with no task, padded so that it takes minutes at the given pace: a client
// without a limit on the whole exchange waits for all of it.
void CloudServer::AnswerTrickling(int bytesPerSecond, httplib::Response& res) {
  auto body =
      std::make_shared<std::string>(R"({"code":200,"total":0,"data":[]})" + std::string(2000, ' '));
  res.status = 200;
  res.set_content_provider(
      body->size(), kJsonType,
      [this, body, bytesPerSecond](size_t offset, size_t, httplib::DataSink& sink) {
        if (offset > 0) SleepMs(1000);
        if (stopping_) return false;
        const size_t n = std::min(body->size() - offset, static_cast<size_t>(bytesPerSecond));
        return sink.write(body->data() + offset, n);
      });
}

// An answer far larger than any client should hold, made as it is sent and without a
// length, so that a client learns its size only by reading it.
void CloudServer::AnswerHuge(size_t size, httplib::Response& res) {
  auto sent = std::make_shared<size_t>(0);
  res.status = 200;
  res.set_chunked_content_provider(kJsonType, [this, size, sent](size_t, httplib::DataSink& sink) {
    static const std::string head = R"({"code":200,"total":1,"data":")";
    static const std::string tail = R"("})";
    static const std::string piece(64 << 10, 'x');
    if (stopping_) return false;
    bool ok = true;
    if (*sent == 0) {
      ok = sink.write(head.data(), head.size());
      *sent = head.size();
    } else if (*sent + piece.size() + tail.size() < size) {
      ok = sink.write(piece.data(), piece.size());
      *sent += piece.size();
    } else {
      ok = sink.write(tail.data(), tail.size());
      sink.done();
    }
    return ok;
  });
}

std::string CloudServer::CheckEnvelope(const httplib::Request& req, Json& record) {
  const std::string& sid = state_.StoreId();
  bool present = false;
  const std::string storeHeader = Header(req, "Storeid", &present);
  if (!present) return "no Storeid header";
  if (storeHeader != sid && storeHeader != FromUtf8(sid)) {
    return "unknown store \"" + SanitizeUtf8(storeHeader) + "\"";
  }
  const std::string entry = Header(req, "entry", &present);
  if (!present || entry.empty()) return "no entry header";
  EntryValue value = DecodeEntry(entry);
  if (!value.ok) return value.error;
  if (value.storeId != FromUtf8(sid) && value.storeId != sid) {
    return "entry names the store \"" + ToUtf8(value.storeId) + "\"";
  }
  EntryClock now = ClockNow();
  std::string timeError = CheckEntryTime(value.seconds, now, options_.entryWindowSeconds);
  if (!timeError.empty()) return timeError;
  record["entry_time_offset"] = value.seconds - now.unixSeconds;
  if (Header(req, "User-Agent") != kServiceAgent) Note(record, "unexpected User-Agent");
  if (req.get_header_value("Content-Type").find("application/x-www-form-urlencoded") ==
      std::string::npos) {
    Note(record, "Content-Type is not application/x-www-form-urlencoded");
  }
  return "";
}

void CloudServer::AnswerWait(const httplib::Request& req, httplib::Response& res, Json& record) {
  if (!req.has_header("X-Token")) Note(record, "no X-Token header");
  if (!req.body.empty()) {
    SendJson(res, CodeAnswer(400, "the wait request has no body"), record);
    Log("cloud", "POST wait refused: a body was sent");
    return;
  }
  std::vector<std::string> keys;
  Json answer = state_.TakePollAnswer(options_.maxTasksPerPoll, keys);
  record["tasks"] = keys;
  SendJson(res, answer, record);
  if (keys.empty()) {
    Log("cloud", "POST wait store=" + state_.StoreId() + " -> 200, no task");
  } else {
    std::string list;
    for (const std::string& k : keys) list += (list.empty() ? "" : ", ") + k;
    Log("cloud", "POST wait store=" + state_.StoreId() + " -> 200, " + std::to_string(keys.size()) +
                     " task(s)" + (answer["data"].is_string() ? " (data as string)" : "") + ": " +
                     list);
  }
}

void CloudServer::AnswerReport(const httplib::Request& req, httplib::Response& res, Json& record) {
  if (req.has_header("X-Token")) Note(record, "the report carries an X-Token header");
  const std::string key = req.get_header_value("uk");
  const std::string stat = req.get_header_value("stat");
  std::string problem;
  if (req.body != "X-Token=1") problem = "the report body must be X-Token=1";
  if (key.empty()) problem = "no uk header";
  if (stat != "1" && stat != "-1") problem = "stat must be 1 or -1";
  if (!problem.empty()) {
    SendJson(res, CodeAnswer(400, problem), record);
    Log("cloud", "POST report refused: " + problem);
    return;
  }
  ReportOutcome outcome = state_.RecordReport(key, stat);
  std::string what = stat == "1" ? "printed" : "FAILED";
  if (!outcome.knownTask) {
    SendJson(res, CodeAnswer(404, "unknown task"), record);
    Log("cloud", "POST report uk=" + key + " stat=" + stat + " -> 404, no such task");
    return;
  }
  SendJson(res, CodeAnswer(200, "ok"), record);
  Log("cloud", "POST report uk=" + key + " stat=" + stat + " (" + what + ")" +
                   (outcome.duplicate ? " -- reported AGAIN" : "") + " -> 200");
}

void CloudServer::AnswerChk(const httplib::Request& req, httplib::Response& res, Json& record) {
  auto fields = SplitFormBody(req.body);
  if (FormValue(fields, "X-Token") != "1") {
    SendJson(res, CodeAnswer(400, "X-Token=1 missing from the body"), record);
    Log("cloud", "POST chk refused: X-Token=1 missing from the body");
    return;
  }
  PrinterListCheck check = CheckPrinterList(fields);
  if (!check.ok) {
    SendJson(res, CodeAnswer(400, check.error), record);
    Log("cloud", "POST chk refused: " + check.error);
    return;
  }
  Json entry = Json::object();
  entry["time"] = NowText();
  entry["mac"] = FormValue(fields, "mac");
  entry["times"] = FormValue(fields, "times");
  entry["md5"] = FormValue(fields, "md5");
  entry["list_text"] = SanitizeUtf8(check.listText);
  entry["list_is_json"] = check.listIsJson;
  Json printers = Json::array();
  std::string names;
  for (const auto& p : check.printers) {
    Json item = Json::object();
    item["n"] = SanitizeUtf8(p.name);
    item["p"] = SanitizeUtf8(p.port);
    printers.push_back(std::move(item));
    names += (names.empty() ? "" : ", ") + SanitizeUtf8(p.name);
  }
  entry["printers"] = printers;
  state_.RecordPrinterList(entry);
  SendJson(res, CodeAnswer(200, "ok"), record);
  Log("cloud", "POST chk mac=" + FormValue(fields, "mac") +
                   " printers=" + std::to_string(check.printers.size()) + " [" + names + "]" +
                   (check.listIsJson ? "" : " (list is not valid JSON)") + " -> 200");
}

}  // namespace qv::sim
