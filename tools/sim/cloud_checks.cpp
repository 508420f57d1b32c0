#include "tools/sim/cloud_checks.h"

#include <algorithm>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "util/text.h"

namespace qv::sim {
namespace {

constexpr size_t kTimeChars = 14;  // Base64 of 10 characters, without padding

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::string Unpadded(std::string text) {
  while (!text.empty() && text.back() == '=') text.pop_back();
  return text;
}

}  // namespace

EntryValue DecodeEntry(std::string_view entry) {
  EntryValue v;
  if (entry.find('=') != std::string_view::npos) {
    v.error = "entry holds \"=\"";
    return v;
  }
  if (entry.size() < 2 + kTimeChars + 1) {
    v.error = "entry too short (" + std::to_string(entry.size()) + " characters)";
    return v;
  }
  std::string rText;
  if (!Base64Decode(entry.substr(0, 2), rText) || rText.size() != 1 || rText[0] < '2' ||
      rText[0] > '9') {
    v.error = "entry does not start with the Base64 of a digit 2..9";
    return v;
  }
  v.insertAt = rText[0] - '0';
  const size_t storeChars = entry.size() - 2 - kTimeChars;
  const size_t head = std::min<size_t>(v.insertAt, storeChars);
  std::string storeB64 =
      std::string(entry.substr(2, head)) + std::string(entry.substr(2 + head + kTimeChars));
  std::string_view timeB64 = entry.substr(2 + head, kTimeChars);
  if (!Base64Decode(timeB64, v.timeText) || v.timeText.size() != 10 || !AllDigits(v.timeText)) {
    v.error = "entry time part \"" + std::string(timeB64) + "\" is not 10 digits in Base64";
    return v;
  }
  if (!Base64Decode(storeB64, v.storeId) || v.storeId.empty()) {
    v.error = "entry store part \"" + storeB64 + "\" is not Base64";
    return v;
  }
  v.seconds = std::stoll(v.timeText);
  v.ok = true;
  return v;
}

std::string EncodeEntry(std::string_view storeIdGbk, int64_t seconds, int insertAt) {
  std::string a = Unpadded(Base64Encode(storeIdGbk));
  std::string timeText = std::to_string(seconds);
  timeText.resize(10, '0');
  std::string t = Unpadded(Base64Encode(timeText));
  std::string r = Unpadded(Base64Encode(std::to_string(insertAt)));
  size_t head = std::min<size_t>(insertAt, a.size());
  return r + a.substr(0, head) + t + a.substr(head);
}

std::string CheckEntryTime(int64_t seconds, const EntryClock& now, int64_t windowSeconds) {
  const int64_t serviceCount = now.unixSeconds + now.localOffsetSeconds - 8 * 3600;
  if (std::llabs(seconds - now.unixSeconds) <= windowSeconds ||
      std::llabs(seconds - serviceCount) <= windowSeconds) {
    return "";
  }
  return "entry time " + std::to_string(seconds) + " is " +
         std::to_string(seconds - now.unixSeconds) + " s away from now (" +
         std::to_string(now.unixSeconds) + ")";
}

std::vector<std::pair<std::string, std::string>> SplitFormBody(std::string_view body) {
  std::vector<std::pair<std::string, std::string>> fields;
  if (body.empty()) return fields;
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('&', start);
    if (end == std::string_view::npos) end = body.size();
    std::string_view pair = body.substr(start, end - start);
    size_t eq = pair.find('=');
    if (eq == std::string_view::npos) {
      fields.emplace_back(std::string(pair), "");
    } else {
      fields.emplace_back(std::string(pair.substr(0, eq)), std::string(pair.substr(eq + 1)));
    }
    start = end + 1;
  }
  return fields;
}

std::string FormValue(const std::vector<std::pair<std::string, std::string>>& fields,
                      std::string_view name, bool* found) {
  for (const auto& [key, value] : fields) {
    if (key == name) {
      if (found) *found = true;
      return value;
    }
  }
  if (found) *found = false;
  return "";
}

PrinterListCheck CheckPrinterList(const std::vector<std::pair<std::string, std::string>>& fields) {
  PrinterListCheck check;
  for (const char* name : {"X-Token", "times", "mac", "md5", "plist"}) {
    bool found = false;
    FormValue(fields, name, &found);
    if (!found) {
      check.error = std::string("body has no field ") + name;
      return check;
    }
  }
  const std::string times = FormValue(fields, "times");
  if (times.size() != 10 || !AllDigits(times)) {
    check.error = "times \"" + times + "\" is not a 10-digit time";
    return check;
  }
  const std::string plist = FormValue(fields, "plist");
  if (plist.size() % 4 != 0 || !Base64Decode(plist, check.listText)) {
    check.error = "plist is not padded Base64";
    return check;
  }
  const std::string md5 = FormValue(fields, "md5");
  const std::string expected = Md5Hex(check.listText);
  if (md5 != expected) {
    check.error = "md5 " + md5 + " does not match the list (" + expected + ")";
    return check;
  }
  check.ok = true;
  nlohmann::json list = nlohmann::json::parse(check.listText, nullptr, false);
  if (list.is_array()) {
    check.listIsJson = true;
    for (const auto& item : list) {
      if (!item.is_object()) continue;
      PrinterListCheck::Printer p;
      if (item.contains("n") && item["n"].is_string()) p.name = item["n"].get<std::string>();
      if (item.contains("p") && item["p"].is_string()) p.port = item["p"].get<std::string>();
      check.printers.push_back(std::move(p));
    }
  }
  return check;
}

}  // namespace qv::sim
