#include "core/config_file.h"

#include <string_view>

#include "platform/file_system.h"
#include "platform/gbk.h"
#include "util/text.h"

namespace qv {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

}  // namespace

IniProfile LoadProfile(const std::string& path) {
  std::string bytes;
  if (!platform::ReadFile(path, bytes)) return IniProfile();
  if (std::string_view(bytes).starts_with(kUtf8Bom)) {
    return IniProfile::FromText(SanitizeUtf8(std::string_view(bytes).substr(kUtf8Bom.size())));
  }
  return IniProfile::FromText(ToUtf8(bytes));
}

bool SaveProfile(const std::string& path, const IniProfile& profile) {
  return platform::ReplaceFileDurably(path, FromUtf8(profile.ToText()));
}

bool WriteProfileValue(const std::string& path, const std::string& section, const std::string& key,
                       const std::string& value) {
  IniProfile profile = LoadProfile(path);
  profile.Set(section, key, value);
  return SaveProfile(path, profile);
}

}  // namespace qv
