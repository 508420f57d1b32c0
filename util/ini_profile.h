// Profile (INI) files with the reading rules of the Windows profile API: sections and keys
// match case-insensitively, values are trimmed of blanks and of one pair of surrounding
// quotes, lines starting with ";" are comments. Writing a key keeps every other line.
#pragma once

#include <string>
#include <vector>

namespace qv {

class IniProfile {
 public:
  // Reads the file: GBK, or UTF-8 when it starts with a UTF-8 byte-order mark. A missing or
  // unreadable file gives an empty profile (every key then takes its default).
  static IniProfile Load(const std::string& path);
  // Parses UTF-8 text.
  static IniProfile FromText(const std::string& utf8);

  // The value of the key in the section, or `fallback` when either is missing.
  std::string Get(const std::string& section, const std::string& key,
                  const std::string& fallback = "") const;
  // Sets the key, adding the section or the key at its end when missing.
  void Set(const std::string& section, const std::string& key, const std::string& value);

  // The profile as UTF-8 text, CR LF line ends.
  std::string ToText() const;
  // Writes the profile as GBK, durably (temporary file and rename); false on failure.
  bool Save(const std::string& path) const;

 private:
  struct Line {
    std::string text;     // the line as read or written
    std::string section;  // lower-cased section the line belongs to
    std::string key;      // lower-cased key when the line is "key=value"
  };
  std::vector<Line> lines_;
};

// Reads, sets one key and writes back the file, as WritePrivateProfileString does.
bool WriteProfileValue(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& value);

}  // namespace qv
