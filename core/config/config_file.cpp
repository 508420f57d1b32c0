#include "core/config/config_file.h"

#include <algorithm>

#include "platform/file_system.h"
#include "platform/gbk.h"
#include "util/text.h"

namespace qv {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

std::string WithoutZeros(std::string_view bytes) {
  std::string out(bytes);
  out.erase(std::remove(out.begin(), out.end(), '\0'), out.end());
  return out;
}

// Little-endian code units; a last odd byte is dropped, and so is every U+0000.
std::string Utf16LeToUtf8(std::string_view bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (unit != 0) units += unit;
  }
  return Utf16ToUtf8(units);
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  for (const char16_t unit : Utf8ToUtf16(utf8)) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
  return out;
}

}  // namespace

ProfileText DecodeProfileBytes(std::string_view bytes) {
  if (bytes.starts_with(kUtf16LeBom)) {
    return {Utf16LeToUtf8(bytes.substr(kUtf16LeBom.size())), ProfileEncoding::Utf16LeWithBom};
  }
  if (bytes.starts_with(kUtf8Bom)) {
    return {SanitizeUtf8(WithoutZeros(bytes.substr(kUtf8Bom.size()))),
            ProfileEncoding::Utf8WithBom};
  }
  return {ToUtf8(WithoutZeros(bytes)), ProfileEncoding::Gbk};
}

std::string EncodeProfileText(const std::string& utf8, ProfileEncoding encoding) {
  switch (encoding) {
    case ProfileEncoding::Utf16LeWithBom:
      return std::string(kUtf16LeBom) + Utf8ToUtf16Le(utf8);
    case ProfileEncoding::Utf8WithBom:
      return std::string(kUtf8Bom) + utf8;
    case ProfileEncoding::Gbk:
      break;
  }
  return FromUtf8(utf8);
}

ProfileFile LoadProfileFile(const std::string& path) {
  std::string bytes;
  if (!platform::ReadFile(path, bytes)) return {};
  ProfileText text = DecodeProfileBytes(bytes);
  return {IniProfile::FromText(text.utf8), text.encoding};
}

IniProfile LoadProfile(const std::string& path) { return LoadProfileFile(path).profile; }

bool SaveProfileFile(const std::string& path, const ProfileFile& file) {
  return platform::ReplaceFileDurably(path,
                                      EncodeProfileText(file.profile.ToText(), file.encoding));
}

bool WriteProfileValue(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& value) {
  ProfileFile file = LoadProfileFile(path);
  file.profile.Set(section, key, value);
  return SaveProfileFile(path, file);
}

}  // namespace qv
