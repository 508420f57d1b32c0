// Profile (INI) text with the reading rules of the Windows profile API: sections and keys
// match case-insensitively, values are trimmed of blanks and of one pair of surrounding
// quotes, lines starting with ";" are comments. Setting a key keeps every other line. Where
// the text comes from and in which encoding is the caller's business.
#pragma once

#include <string>
#include <vector>

namespace qv {

class IniProfile {
 public:
  // Reads UTF-8 text; CR LF and LF both end a line.
  static IniProfile FromText(const std::string& utf8);

  // The value of the key in the section, or `fallback` when either is missing.
  std::string Get(const std::string& section, const std::string& key,
                  const std::string& fallback = "") const;
  // Sets the key, adding the section or the key at its end when missing.
  void Set(const std::string& section, const std::string& key, const std::string& value);

  // The profile as UTF-8 text, CR LF line ends.
  std::string ToText() const;

 private:
  struct Line {
    std::string text;     // the line as read or written
    std::string section;  // lower-cased section the line belongs to
    std::string key;      // lower-cased key when the line is "key=value"
  };
  std::vector<Line> lines_;
};

}  // namespace qv
