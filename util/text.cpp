#include "util/text.h"

#include <climits>

namespace qv {
namespace {

constexpr std::string_view kFullWidthSpace = "\xE3\x80\x80";

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

std::string TrimSpaces(std::string_view text) {
  bool changed = true;
  while (changed && !text.empty()) {
    changed = false;
    if (text.front() == ' ') {
      text.remove_prefix(1);
      changed = true;
    } else if (text.starts_with(kFullWidthSpace)) {
      text.remove_prefix(kFullWidthSpace.size());
      changed = true;
    }
    if (text.empty()) break;
    if (text.back() == ' ') {
      text.remove_suffix(1);
      changed = true;
    } else if (text.ends_with(kFullWidthSpace)) {
      text.remove_suffix(kFullWidthSpace.size());
      changed = true;
    }
  }
  return std::string(text);
}

std::string BoolText(bool value) { return value ? "真" : "假"; }

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AsciiLower(a) == AsciiLower(b);
}

bool ContainsIgnoreCase(std::string_view haystack, std::string_view needle) {
  return AsciiLower(haystack).find(AsciiLower(needle)) != std::string::npos;
}

}  // namespace qv
