#include "core/lanes/ticket_file.h"

#include <nlohmann/json.hpp>

#include <string_view>

namespace qv {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kMark = "quorvel-print-tickets";
constexpr int kVersion = 1;
// Every line ends in these bytes, the two marks filled in; so the marks sit at a fixed
// distance from the line's end whatever the key and task hold.
constexpr std::string_view kTail = ",\"state\":\"w\",\"sent\":\"0\"}\n";
constexpr uint64_t kStateFromEnd = kTail.size() - kTail.find("\"w\"") - 1;
constexpr uint64_t kSentFromEnd = kTail.size() - kTail.find("\"0\"") - 1;

bool KnownState(char c) { return c == 'w' || c == 'p' || c == '1' || c == 'f'; }

Json Parse(std::string_view line) {
  return Json::parse(line.begin(), line.end(), nullptr, /*allow_exceptions=*/false);
}

// One ticket line, or false when the line is none.
bool Decode(std::string_view line, TicketLine& out) {
  const Json j = Parse(line);
  if (!j.is_object() || j.size() != 4) return false;
  auto key = j.find("key"), task = j.find("task"), state = j.find("state"), sent = j.find("sent");
  if (key == j.end() || task == j.end() || state == j.end() || sent == j.end()) return false;
  if (!key->is_string() || !task->is_string() || !state->is_string() || !sent->is_string()) {
    return false;
  }
  const std::string s = state->get<std::string>(), d = sent->get<std::string>();
  if (s.size() != 1 || !KnownState(s[0]) || (d != "0" && d != "1")) return false;
  out.key = key->get<std::string>();
  out.task = task->get<std::string>();
  out.state = static_cast<TicketState>(s[0]);
  out.sent = d == "1";
  return true;
}

}  // namespace

std::string TicketFileHeader() {
  return Json{{"journal", kMark}, {"version", kVersion}}.dump() + "\n";
}

std::string TicketLineText(const TicketLine& line) {
  // Texts inside the program are UTF-8 already; replacing stray bytes keeps dump() from
  // throwing on one that came from outside unchecked.
  std::string text = Json{{"key", line.key}, {"task", line.task}}.dump(
      -1, ' ', false, Json::error_handler_t::replace);
  text.pop_back();  // the closing brace: the tail follows
  text += kTail;
  text[text.size() - kStateFromEnd] = static_cast<char>(line.state);
  text[text.size() - kSentFromEnd] = line.sent ? '1' : '0';
  return text;
}

uint64_t TicketStateOffset(uint64_t lineBytes) { return lineBytes - kStateFromEnd; }
uint64_t TicketSentOffset(uint64_t lineBytes) { return lineBytes - kSentFromEnd; }

TicketFileRead ReadTicketFile(const std::string& text, std::vector<TicketLine>& lines) {
  lines.clear();
  const size_t headerEnd = text.find('\n');
  if (headerEnd == std::string::npos) return TicketFileRead::Unusable;
  const Json header = Parse(std::string_view(text).substr(0, headerEnd));
  if (!header.is_object() || header.value("journal", "") != kMark ||
      header.value("version", 0) != kVersion) {
    return TicketFileRead::Unusable;
  }
  for (size_t start = headerEnd + 1; start < text.size();) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos) return TicketFileRead::TornTail;  // an append cut off
    TicketLine line;
    if (!Decode(std::string_view(text).substr(start, end - start), line)) {
      lines.clear();
      return TicketFileRead::Unusable;
    }
    line.offset = start;
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return TicketFileRead::Whole;
}

}  // namespace qv
