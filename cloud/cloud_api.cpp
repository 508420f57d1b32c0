#include "cloud/cloud_api.h"

#include <string_view>

#include "cloud/envelope.h"
#include "cloud/field_list.h"
#include "cloud/http_client.h"

namespace qv {
namespace {

FieldList PrinterListForm(const PrinterListFields& f) {
  FieldList body;
  body.Add("X-Token", "1");
  body.Add("times", f.times);
  body.Add("mac", f.mac);
  body.Add("md5", f.md5);
  body.Add("plist", f.plist);
  return body;
}

// The name of the first header whose value would break its line: a CR or LF ends the line
// early and lets the rest pass for header lines of its own (a task key or store ID from
// outside could forge the outcome of a report); a NUL cuts the value short. Empty when none.
std::string BrokenHeader(const FieldList& headers) {
  for (size_t i = 0; i < headers.Size(); ++i) {
    for (char c : headers.ValueAt(i)) {
      if (c == '\r' || c == '\n' || c == '\0') return headers.KeyAt(i);
    }
  }
  return "";
}

class CloudApiClient final : public CloudApi {
 public:
  CloudApiClient(CloudSettingsSource settings, std::unique_ptr<platform::HttpTransport> transport,
                 std::unique_ptr<platform::Clock> clock, CloudFailureNote onFailure)
      : settings_(std::move(settings)),
        transport_(std::move(transport)),
        clock_(std::move(clock)),
        onFailure_(std::move(onFailure)) {}

  std::string RequestWaitingTasks() override {
    CloudSettings s = settings_();
    return Send(s, kWaitPath, StoreHeaders(s), FieldList());
  }

  std::string SendPrintResult(const std::string& uniKey, bool printed) override {
    CloudSettings s = settings_();
    // The report names the store but carries its token only in the body.
    FieldList headers;
    headers.Add("User-Agent", kCloudUserAgent);
    headers.Add("Storeid", s.sid);
    headers.Add("entry", MakeEntryValue(s.sid, clock_->Now()));
    headers.Add("uk", uniKey);
    headers.Add("stat", printed ? "1" : "-1");
    FieldList body;
    body.Add("X-Token", "1");
    return Send(s, kReportPath, headers, body);
  }

  std::string SendPrinterList(const PrinterListFields& fields) override {
    CloudSettings s = settings_();
    return Send(s, kPrinterListPath, StoreHeaders(s), PrinterListForm(fields));
  }

 private:
  FieldList StoreHeaders(const CloudSettings& s) {
    FieldList headers;
    headers.Add("User-Agent", kCloudUserAgent);
    headers.Add("Storeid", s.sid);
    headers.Add("X-Token", s.token);
    headers.Add("entry", MakeEntryValue(s.sid, clock_->Now()));
    return headers;
  }

  std::string Send(const CloudSettings& s, const char* path, const FieldList& headers,
                   const FieldList& body) {
    if (const std::string broken = BrokenHeader(headers); !broken.empty()) {
      Note(std::string("云端请求[") + path + "]未发送：请求头 " + broken + " 含回车、换行或空字符");
      return "";
    }
    HttpRequestInput in = CloudRequest(s.server, path, headers, body);
    in.TimeoutSeconds = s.timeoutSeconds;
    in.Tls = {.verify = s.tlsVerify, .caFile = s.caFile};
    // The answer is JSON bytes for the caller to parse: held once, in the transport's body,
    // which moves out unchanged (an answer may run to megabytes).
    in.DecodeBody = false;
    HttpRequestOutput out;
    HttpRequest(in, out, *transport_);
    // A cut-off answer is no answer: the caller would only stumble over half a JSON text.
    if (out.Failed) {
      // After a failed body read the status line has taken the failure message's place.
      const std::string message =
          out.ResponseHeaders.empty() ? out.Status : std::string(kHttpRead) + " " + out.Status;
      Note(std::string("云端请求[") + path + "]失败：" + message +
           (out.Reason.empty() ? "" : "（" + out.Reason + "）"));
      return "";
    }
    return std::move(out.Body);
  }

  void Note(const std::string& line) {
    if (onFailure_) onFailure_(line);
  }

  CloudSettingsSource settings_;
  std::unique_ptr<platform::HttpTransport> transport_;
  std::unique_ptr<platform::Clock> clock_;
  CloudFailureNote onFailure_;
};

}  // namespace

std::string CloudApi::PrinterListBody(const PrinterListFields& fields) {
  return PrinterListForm(fields).ToFormBody();
}

std::unique_ptr<CloudApi> CloudApi::Create(CloudSettingsSource settings,
                                           std::unique_ptr<platform::HttpTransport> transport,
                                           std::unique_ptr<platform::Clock> clock,
                                           CloudFailureNote onFailure) {
  return std::make_unique<CloudApiClient>(std::move(settings), std::move(transport),
                                          std::move(clock), std::move(onFailure));
}

}  // namespace qv
