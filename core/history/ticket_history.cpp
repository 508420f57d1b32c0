#include "core/history/ticket_history.h"

#include <nlohmann/json.hpp>

#include <utility>

#include "platform/file_system.h"
#include "util/text.h"

namespace qv {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kHistoryMark = "quorvel-print-recent";
constexpr int kVersion = 1;

std::string HeaderLine() {
  return Json{{"history", kHistoryMark}, {"version", kVersion}}.dump() + "\n";
}

bool IsHeader(std::string_view line) {
  const Json header = Json::parse(line.begin(), line.end(), nullptr, false);
  return header.is_object() && header.value("history", "") == kHistoryMark &&
         header.value("version", 0) == kVersion;
}

template <typename T>
bool Read(const Json& object, const char* key, T& out) {
  auto it = object.find(key);
  if (it == object.end()) return false;
  if constexpr (std::is_same_v<T, std::string>) {
    if (!it->is_string()) return false;
  } else if constexpr (std::is_same_v<T, bool>) {
    if (!it->is_boolean()) return false;
  } else {
    if (!it->is_number_integer()) return false;
  }
  out = it->get<T>();
  return true;
}

}  // namespace

std::string EncodeTicketLine(const TicketRecord& t) {
  // Texts inside the program are UTF-8 already; replacing stray bytes keeps dump() from
  // throwing on a text that came from outside without being checked.
  return Json{{"time", t.unixSeconds}, {"local", t.localTime},
              {"type", t.printType},   {"sn", t.printSn},
              {"key", t.key},          {"ok", t.printed},
              {"result", t.result},    {"first", t.firstLine},
              {"reprint", t.reprint},  {"bytes", Base64Encode(t.bytes)}}
      .dump(-1, ' ', false, Json::error_handler_t::replace);
}

bool DecodeTicketLine(std::string_view line, TicketRecord& t) {
  const Json r = Json::parse(line.begin(), line.end(), nullptr, false);
  std::string bytes64;
  int64_t type = 0;
  if (!r.is_object() || !Read(r, "time", t.unixSeconds) || !Read(r, "local", t.localTime) ||
      !Read(r, "type", type) || !Read(r, "sn", t.printSn) || !Read(r, "key", t.key) ||
      !Read(r, "ok", t.printed) || !Read(r, "result", t.result) || !Read(r, "first", t.firstLine) ||
      !Read(r, "reprint", t.reprint) || !Read(r, "bytes", bytes64)) {
    return false;
  }
  if (type < 0 || type > 3) return false;
  t.printType = static_cast<int32_t>(type);
  return Base64Decode(bytes64, t.bytes);
}

TicketHistory::TicketHistory(std::string path, TicketHistoryLimits limits)
    : path_(std::move(path)), limits_(limits) {}

bool TicketHistory::Load() {
  tickets_.clear();
  fileLines_ = 0;
  fileBytes_ = 0;
  foreign_ = false;
  std::string text;
  if (!platform::FileExists(path_)) return true;
  if (!platform::ReadFile(path_, text)) return false;

  size_t start = 0;
  size_t end = text.find('\n');
  if (end == std::string::npos || !IsHeader(std::string_view(text).substr(0, end))) {
    foreign_ = !text.empty();
    return text.empty();
  }
  bool clean = true;
  for (start = end + 1; start < text.size(); start = end + 1) {
    end = text.find('\n', start);
    // A line without its end is a write cut off by a kill or a power loss: left out.
    if (end == std::string::npos) {
      clean = false;
      break;
    }
    TicketRecord ticket;
    // One damaged line costs that ticket, not the others: this is a list to look at, and
    // what stays readable is worth more than a refusal.
    if (DecodeTicketLine(std::string_view(text).substr(start, end - start), ticket)) {
      tickets_.push_back(std::move(ticket));
    } else {
      clean = false;
    }
    ++fileLines_;
  }
  fileBytes_ = text.size();
  const size_t lines = fileLines_;
  Trim();
  // A cut-off tail must go before the next append, or that append would be glued to it.
  if (!clean || lines > 2 * limits_.maxTickets || fileBytes_ > limits_.maxFileBytes) {
    return Rewrite();
  }
  return true;
}

bool TicketHistory::Add(TicketRecord ticket) {
  if (ticket.bytes.size() > limits_.maxTicketBytes) ticket.bytes.clear();
  std::string line = EncodeTicketLine(ticket) + "\n";
  tickets_.push_back(std::move(ticket));
  Trim();
  if (foreign_ || fileLines_ == 0 || fileLines_ + 1 > 2 * limits_.maxTickets ||
      fileBytes_ + line.size() > limits_.maxFileBytes) {
    return Rewrite();
  }
  uint64_t offset = 0;
  if (!platform::AppendFileWhole(path_, line, offset)) return false;
  ++fileLines_;
  fileBytes_ = offset + line.size();
  return true;
}

// Drops the oldest tickets beyond the count, and those that would make a rewritten file pass
// its byte bound.
void TicketHistory::Trim() {
  while (tickets_.size() > limits_.maxTickets) tickets_.pop_front();
  uint64_t bytes = HeaderLine().size();
  size_t keep = 0;
  for (auto it = tickets_.rbegin(); it != tickets_.rend(); ++it, ++keep) {
    // An estimate without encoding each ticket: Base64 makes 4 of 3 bytes, the texts and
    // field names stay below a kilobyte or so.
    const uint64_t size = (it->bytes.size() + 2) / 3 * 4 + it->result.size() +
                          it->firstLine.size() + it->printSn.size() + it->key.size() + 160;
    if (bytes + size > limits_.maxFileBytes / 2 && keep > 0) break;
    bytes += size;
  }
  while (tickets_.size() > keep) tickets_.pop_front();
}

// The whole file anew, replaced so that a kill at any moment leaves the old or the new one.
bool TicketHistory::Rewrite() {
  std::string text = HeaderLine();
  for (const TicketRecord& t : tickets_) text += EncodeTicketLine(t) + "\n";
  if (!platform::ReplaceFileDurably(path_, text)) return false;
  foreign_ = false;
  fileLines_ = tickets_.size();
  fileBytes_ = text.size();
  return true;
}

}  // namespace qv
