#include "tools/sim/admin_server.h"

#include <httplib.h>

#include <fstream>
#include <sstream>

#include "tools/sim/sim_log.h"

namespace qv::sim {
namespace {

void Reply(httplib::Response& res, const Json& body, int status = 200) {
  res.status = status;
  res.set_content(JsonText(body, 1) + "\n", "application/json; charset=utf-8");
}

void Fail(httplib::Response& res, const std::string& error, int status = 400) {
  Json body = Json::object();
  body["ok"] = false;
  body["error"] = error;
  Reply(res, body, status);
}

Json ParseBody(const httplib::Request& req, httplib::Response& res) {
  Json body = Json::parse(req.body, nullptr, false);
  if (body.is_discarded()) Fail(res, "the request body is not JSON");
  return body;
}

const char* kPage = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Quorvel simulator</title></head>
<body><h1>Quorvel cloud simulator</h1>
<p>This page stands in for the cashier web application.</p>
<p>JSON: <a href="/status">/status</a> <a href="/tasks">/tasks</a> <a href="/reports">/reports</a>
<a href="/printer-lists">/printer-lists</a> <a href="/requests">/requests</a>
<a href="/faults">/faults</a> <a href="/printers">/printers</a> <a href="/jobs">/jobs</a></p>
</body></html>
)";

}  // namespace

AdminServer::AdminServer(AdminTargets targets) : targets_(std::move(targets)) {}

AdminServer::~AdminServer() { Stop(); }

std::string AdminServer::Start(int port) {
  server_ = std::make_unique<httplib::Server>();
  server_->Get("/", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(kPage, "text/html; charset=utf-8");
  });
  server_->Get("/status", [this](const httplib::Request&, httplib::Response& res) {
    Json s = Json::object();
    s["ok"] = true;
    if (targets_.cloud) {
      s["cloud"] = targets_.cloud->Summary();
      s["cloud_url"] = targets_.cloudUrl;
      s["ca_file"] = targets_.caFile;
    }
    Json printers = Json::array();
    for (VirtualPrinter* p : targets_.printers) printers.push_back(p->Describe());
    s["printers"] = printers;
    if (targets_.jobs) s["jobs"] = targets_.jobs->Jobs().size();
    Reply(res, s);
  });
  if (targets_.cloud) RouteCloud();
  if (!targets_.printers.empty()) RoutePrinters();
  server_->set_keep_alive_timeout(2);
  if (!server_->bind_to_port("127.0.0.1", port)) {
    return "cannot listen on 127.0.0.1:" + std::to_string(port);
  }
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  return "";
}

void AdminServer::Stop() {
  if (server_) server_->stop();
  if (thread_.joinable()) thread_.join();
}

void AdminServer::RouteCloud() {
  CloudState& cloud = *targets_.cloud;
  server_->Get("/tasks", [&cloud](const httplib::Request&, httplib::Response& res) {
    Reply(res, cloud.Tasks());
  });
  server_->Post("/tasks", [&cloud](const httplib::Request& req, httplib::Response& res) {
    AddTasksResult added = cloud.AddTasks(req.body);
    if (!added.error.empty()) return Fail(res, added.error);
    Log("admin", "added " + std::to_string(added.keys.size()) + " task(s)");
    Json body = Json::object();
    body["ok"] = true;
    body["keys"] = added.keys;
    Reply(res, body);
  });
  server_->Post("/tasks/load", [&cloud](const httplib::Request& req, httplib::Response& res) {
    Json body = ParseBody(req, res);
    if (body.is_discarded()) return;
    if (!body.contains("path") || !body["path"].is_string()) {
      return Fail(res, "expected {\"path\": \"<task file>\"}");
    }
    const std::string path = body["path"].get<std::string>();
    std::ifstream in(path, std::ios::binary);
    if (!in) return Fail(res, "cannot read " + path);
    std::stringstream text;
    text << in.rdbuf();
    AddTasksResult added = cloud.AddTasks(text.str());
    if (!added.error.empty()) return Fail(res, path + ": " + added.error);
    Log("admin", "added " + std::to_string(added.keys.size()) + " task(s) from " + path);
    Json answer = Json::object();
    answer["ok"] = true;
    answer["keys"] = added.keys;
    Reply(res, answer);
  });
  server_->Get("/reports", [&cloud](const httplib::Request&, httplib::Response& res) {
    Reply(res, cloud.Reports());
  });
  server_->Get("/printer-lists", [&cloud](const httplib::Request&, httplib::Response& res) {
    Reply(res, cloud.PrinterLists());
  });
  server_->Get("/requests", [&cloud](const httplib::Request&, httplib::Response& res) {
    Reply(res, cloud.Requests());
  });
  // Where a redirect fault may send the service in plain text. Every request that arrives
  // here is recorded (with "plain": true), so a test sees that none did.
  auto plain = [&cloud](const httplib::Request& req, httplib::Response& res) {
    Json record = Json::object();
    record["time"] = NowText();
    record["endpoint"] = req.path;
    record["plain"] = true;
    cloud.RecordRequest(record);
    Log("cloud", "PLAIN-TEXT " + req.method + " " + req.path + " (followed a redirect)");
    res.set_content(R"({"code":200,"total":0,"data":[]})", "application/json");
  };
  server_->Get(R"(/plain/.*)", plain);
  server_->Post(R"(/plain/.*)", plain);
  server_->Post("/reset", [&cloud](const httplib::Request&, httplib::Response& res) {
    cloud.Clear();
    Log("admin", "cloud records cleared");
    Reply(res, Json{{"ok", true}});
  });
  if (!targets_.faults) return;
  FaultPlan& faults = *targets_.faults;
  server_->Get("/faults", [&faults](const httplib::Request&, httplib::Response& res) {
    Reply(res, faults.List());
  });
  server_->Post("/faults", [&faults](const httplib::Request& req, httplib::Response& res) {
    Json body = ParseBody(req, res);
    if (body.is_discarded()) return;
    Json requested = body.is_array() ? body : Json::array({body});
    std::vector<Fault> parsed;
    for (const Json& request : requested) {
      Fault fault;
      std::string error = FaultPlan::Parse(request, fault);
      if (!error.empty()) return Fail(res, error);
      parsed.push_back(fault);
    }
    for (Fault& fault : parsed) {
      Log("admin",
          "fault queued: " + FaultKindName(fault.kind) + " x" +
              (fault.count == 0 ? std::string("until cleared") : std::to_string(fault.count)) +
              (fault.endpoint.empty() ? "" : " on " + fault.endpoint));
      faults.Add(std::move(fault));
    }
    Reply(res, Json{{"ok", true}});
  });
  server_->Delete("/faults", [&faults](const httplib::Request&, httplib::Response& res) {
    faults.Clear();
    Log("admin", "faults cleared");
    Reply(res, Json{{"ok", true}});
  });
}

void AdminServer::RoutePrinters() {
  server_->Get("/printers", [this](const httplib::Request&, httplib::Response& res) {
    Json list = Json::array();
    for (VirtualPrinter* p : targets_.printers) list.push_back(p->Describe());
    Reply(res, list);
  });
  server_->Post(R"(/printers/([0-9.]+))",
                [this](const httplib::Request& req, httplib::Response& res) {
                  VirtualPrinter* printer = FindPrinter(req.matches[1]);
                  if (!printer) return Fail(res, "no printer " + std::string(req.matches[1]), 404);
                  Json body = ParseBody(req, res);
                  if (body.is_discarded()) return;
                  PrinterState state = printer->State();
                  std::string error = ApplyPrinterSettings(body, state);
                  if (!error.empty()) return Fail(res, error);
                  printer->SetState(state);
                  Reply(res, printer->Describe());
                });
  if (!targets_.jobs) return;
  server_->Get("/jobs", [this](const httplib::Request& req, httplib::Response& res) {
    Reply(res, targets_.jobs->Jobs(req.get_param_value("printer")));
  });
}

VirtualPrinter* AdminServer::FindPrinter(const std::string& address) const {
  for (VirtualPrinter* p : targets_.printers) {
    if (p->Address() == address) return p;
  }
  return nullptr;
}

}  // namespace qv::sim
