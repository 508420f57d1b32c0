// Starting the program with the user's session: the Run value of the registry on Windows, an
// XDG autostart entry on Linux desktops.
#pragma once

#include <memory>
#include <string>

namespace qv::platform {

class Autostart {
 public:
  virtual ~Autostart() = default;
  // True when an autostart entry of the program exists (in any place the backend writes).
  virtual bool Exists() = 0;
  // Registers `program` to be started with the single argument `argument` at logon, the
  // path in quotes (Windows: "C:\…\quorvel-print.exe" auto), replacing an earlier entry of
  // either form; false when no place accepted the entry.
  virtual bool Set(const std::string& program, const std::string& argument) = 0;
  // Deletes the entry from every place the backend writes; true when none remains.
  virtual bool Remove() = 0;

  // The program's own entry: Windows: the value "Quorvel打印服务端" under
  // SOFTWARE\Microsoft\Windows\CurrentVersion\Run of HKEY_LOCAL_MACHINE, or of
  // HKEY_CURRENT_USER when the machine-wide key refuses the write; Linux:
  // $XDG_CONFIG_HOME/autostart/quorvel-print.desktop (~/.config when the variable is unset).
  static std::unique_ptr<Autostart> Create();
};

}  // namespace qv::platform
