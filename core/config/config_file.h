// config.ini on disk: its bytes read into profile text and written back in the same form.
#pragma once

#include <string>
#include <string_view>

#include "util/ini_profile.h"

namespace qv {

// How the file's text is stored. Shops edit config.ini with Notepad, which saves GBK ("ANSI"
// on Chinese Windows), UTF-8 with a byte-order mark, or UTF-16LE with one ("Unicode"); the
// profile functions of Windows read all three.
enum class ProfileEncoding { Gbk, Utf8WithBom, Utf16LeWithBom };

struct ProfileText {
  std::string utf8;
  ProfileEncoding encoding = ProfileEncoding::Gbk;
};

// The text of a file's bytes, by its byte-order mark (GBK without one). Zero bytes (and U+0000
// in UTF-16) are skipped, as if they were not there, rather than ending the text.
ProfileText DecodeProfileBytes(std::string_view bytes);

// The bytes of `text` in `encoding`, the byte-order mark first where it has one.
std::string EncodeProfileText(const std::string& utf8, ProfileEncoding encoding);

// A profile and the encoding its file was read in.
struct ProfileFile {
  IniProfile profile;
  ProfileEncoding encoding = ProfileEncoding::Gbk;
};

// Reads the file. A missing or unreadable file gives an empty profile (every key then takes
// its default), to be written as GBK.
ProfileFile LoadProfileFile(const std::string& path);
IniProfile LoadProfile(const std::string& path);

// Writes the profile in the file's encoding, durably (temporary file and rename); false on
// failure.
bool SaveProfileFile(const std::string& path, const ProfileFile& file);

// Reads, sets one key and writes back the file in the form it was read, as
// WritePrivateProfileString does.
bool WriteProfileValue(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& value);

}  // namespace qv
