#include "cloud/cloud_api.h"

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

class CloudApiClient final : public CloudApi {
 public:
  CloudApiClient(CloudSettingsSource settings, std::unique_ptr<platform::HttpTransport> transport,
                 std::unique_ptr<platform::Clock> clock)
      : settings_(std::move(settings)),
        transport_(std::move(transport)),
        clock_(std::move(clock)) {}

  std::string RequestWaitingTasks() override {
    CloudSettings s = settings_();
    return send(s, kWaitPath, storeHeaders(s), FieldList());
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
    return send(s, kReportPath, headers, body);
  }

  std::string SendPrinterList(const PrinterListFields& fields) override {
    CloudSettings s = settings_();
    return send(s, kPrinterListPath, storeHeaders(s), PrinterListForm(fields));
  }

 private:
  FieldList storeHeaders(const CloudSettings& s) {
    FieldList headers;
    headers.Add("User-Agent", kCloudUserAgent);
    headers.Add("Storeid", s.sid);
    headers.Add("X-Token", s.token);
    headers.Add("entry", MakeEntryValue(s.sid, clock_->Now()));
    return headers;
  }

  std::string send(const CloudSettings& s, const char* path, const FieldList& headers,
                   const FieldList& body) {
    HttpRequestInput in = CloudRequest(s.server, path, headers, body);
    in.TimeoutSeconds = s.timeoutSeconds;
    in.Tls = {.verify = s.tlsVerify, .caFile = s.caFile};
    HttpRequestOutput out;
    HttpRequest(in, out, *transport_);
    // A cut-off answer is no answer: the caller would only stumble over half a JSON text.
    if (out.Failed) return "";
    return out.Body;
  }

  CloudSettingsSource settings_;
  std::unique_ptr<platform::HttpTransport> transport_;
  std::unique_ptr<platform::Clock> clock_;
};

}  // namespace

std::string CloudApi::PrinterListBody(const PrinterListFields& fields) {
  return PrinterListForm(fields).ToFormBody();
}

std::unique_ptr<CloudApi> CloudApi::create(CloudSettingsSource settings,
                                           std::unique_ptr<platform::HttpTransport> transport,
                                           std::unique_ptr<platform::Clock> clock) {
  return std::make_unique<CloudApiClient>(std::move(settings), std::move(transport),
                                          std::move(clock));
}

}  // namespace qv
