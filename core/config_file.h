// config.ini on disk: its bytes read into profile text and written back.
#pragma once

#include <string>

#include "util/ini_profile.h"

namespace qv {

// Reads the file: GBK, or UTF-8 when it starts with a UTF-8 byte-order mark. A missing or
// unreadable file gives an empty profile (every key then takes its default).
IniProfile LoadProfile(const std::string& path);

// Writes the profile as GBK, durably (temporary file and rename); false on failure.
bool SaveProfile(const std::string& path, const IniProfile& profile);

// Reads, sets one key and writes back the file, as WritePrivateProfileString does.
bool WriteProfileValue(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& value);

}  // namespace qv
