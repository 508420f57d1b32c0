#include "util/ini_profile.h"

#include "util/text.h"

namespace qv {
namespace {

// The line without the blanks around it, nor the CR that a file with CR LF line ends leaves.
std::string TrimLine(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return std::string(s);
}

// "[name]" -> "name"; empty when the line is not a section header.
bool SectionName(const std::string& trimmed, std::string& name) {
  if (trimmed.size() < 2 || trimmed.front() != '[') return false;
  const size_t close = trimmed.find(']');
  if (close == std::string::npos) return false;
  name = TrimLine(std::string_view(trimmed).substr(1, close - 1));
  return true;
}

std::string Unquote(std::string value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

IniProfile IniProfile::FromText(const std::string& utf8) {
  IniProfile profile;
  std::string section;
  size_t start = 0;
  while (start < utf8.size()) {
    size_t end = utf8.find('\n', start);
    if (end == std::string::npos) end = utf8.size();
    std::string text = utf8.substr(start, end - start);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    start = end + 1;

    Line line{text, section, ""};
    const std::string trimmed = TrimLine(text);
    std::string name;
    if (SectionName(trimmed, name)) {
      section = AsciiLower(name);
      line.section = section;
    } else if (!trimmed.empty() && trimmed[0] != ';') {
      const size_t eq = trimmed.find('=');
      if (eq != std::string::npos) line.key = AsciiLower(TrimLine(trimmed.substr(0, eq)));
    }
    profile.lines_.push_back(std::move(line));
  }
  return profile;
}

std::string IniProfile::Get(const std::string& section, const std::string& key,
                            const std::string& fallback) const {
  const std::string s = AsciiLower(section), k = AsciiLower(key);
  for (const Line& line : lines_) {
    if (line.section == s && line.key == k && !k.empty()) {
      const std::string trimmed = TrimLine(line.text);
      return Unquote(TrimLine(trimmed.substr(trimmed.find('=') + 1)));
    }
  }
  return fallback;
}

void IniProfile::Set(const std::string& section, const std::string& key, const std::string& value) {
  const std::string s = AsciiLower(section), k = AsciiLower(key);
  const std::string text = key + "=" + value;
  size_t lastInSection = std::string::npos;
  for (size_t i = 0; i < lines_.size(); ++i) {
    Line& line = lines_[i];
    if (line.section != s) continue;
    if (line.key == k) {
      line.text = text;
      return;
    }
    if (!TrimLine(line.text).empty()) lastInSection = i;
  }
  if (lastInSection == std::string::npos) {
    lines_.push_back({"[" + section + "]", s, ""});
    lastInSection = lines_.size() - 1;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastInSection) + 1, {text, s, k});
}

std::string IniProfile::ToText() const {
  std::string out;
  for (const Line& line : lines_) out += line.text + "\r\n";
  return out;
}

}  // namespace qv
