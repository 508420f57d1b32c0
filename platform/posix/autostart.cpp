// Autostart on Linux desktops: an entry in the XDG autostart directory, which GNOME, KDE, Xfce
// and the other session managers start at logon.
#include "platform/autostart.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/file_system.h"

namespace qv::platform {
namespace {

constexpr char kEntryName[] = "quorvel-print.desktop";

// $XDG_CONFIG_HOME when it is an absolute path (relative values are to be ignored), else
// $HOME/.config.
std::string ConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.config";
}

std::string AutostartDirectory() { return ConfigHome() + "/autostart"; }

std::string EntryPath() { return AutostartDirectory() + "/" + kEntryName; }

bool MakeDirectories(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// One argument of the Exec key: quoted when it holds a reserved character, with the
// characters that stay special inside quotes escaped.
std::string ExecArgument(const std::string& arg) {
  static const std::string kReserved = " \t\n\"'\\><~|&;$*?#()`";
  std::string out;
  for (char c : arg) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
    if (c == '%') out += '%';  // field codes start with "%"
    out += c;
  }
  if (arg.find_first_of(kReserved) != std::string::npos) out = "\"" + out + "\"";
  return out;
}

// The value of a key: a backslash is itself an escape character in desktop files.
std::string DesktopValue(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += '\\';
    out += c;
  }
  return out;
}

class XdgAutostart : public Autostart {
 public:
  bool Exists() override { return FileExists(EntryPath()); }

  bool Set(const std::string& program, const std::string& argument) override {
    if (!MakeDirectories(AutostartDirectory())) return false;
    const std::string exec = ExecArgument(program) + " " + ExecArgument(argument);
    const std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Quorvel打印服务端\n"
        "Exec=" +
        DesktopValue(exec) +
        "\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n";
    return ReplaceFileDurably(EntryPath(), entry);
  }

  bool Remove() override {
    RemoveFile(EntryPath());
    return !Exists();
  }
};

}  // namespace

std::unique_ptr<Autostart> Autostart::Create() { return std::make_unique<XdgAutostart>(); }

}  // namespace qv::platform
