#include "util/text.h"

#include <climits>

namespace qv {
namespace {

constexpr std::string_view kFullWidthSpace = "\xE3\x80\x80";

// The length of the space, ASCII or full-width, at the start (or end) of `text`; 0 for none.
size_t LeadingSpace(std::string_view text) {
  return text.starts_with(' ') ? 1 : text.starts_with(kFullWidthSpace) ? kFullWidthSpace.size() : 0;
}
size_t TrailingSpace(std::string_view text) {
  return text.ends_with(' ') ? 1 : text.ends_with(kFullWidthSpace) ? kFullWidthSpace.size() : 0;
}

}  // namespace

int32_t TextToInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<int64_t>(INT32_MAX) + 1) value = static_cast<int64_t>(INT32_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<int32_t>(value);
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::size_t at = text.find(from);
  if (at == std::string_view::npos) return std::string(text);
  std::string out;
  std::size_t done = 0;
  for (; at != std::string_view::npos; at = text.find(from, done)) {
    out.append(text.substr(done, at - done)).append(to);
    done = at + from.size();
  }
  return out.append(text.substr(done));
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string TrimSpaces(std::string_view text) {
  while (const size_t n = LeadingSpace(text)) text.remove_prefix(n);
  while (const size_t n = TrailingSpace(text)) text.remove_suffix(n);
  return std::string(text);
}

std::string BoolText(bool value) { return value ? "真" : "假"; }

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  // Stored unconditionally, so the compiler can lower many bytes at a time.
  for (char& c : out) c = LowerAscii(c);
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

bool ContainsIgnoreCase(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return true;
  const char first = LowerAscii(needle.front());
  for (size_t at = 0; at + needle.size() <= haystack.size(); ++at) {
    if (LowerAscii(haystack[at]) == first &&
        EqualsIgnoreCase(haystack.substr(at, needle.size()), needle)) {
      return true;
    }
  }
  return false;
}

}  // namespace qv
