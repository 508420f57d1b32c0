// Autostart on Windows: a text value under the Run key of the registry. The machine-wide key
// starts the program for every user; when this account may not write there (no
// administrator rights), the per-user key keeps the program starting for this user at least.
#include "platform/autostart.h"

#include <windows.h>

#include <string>

namespace qv::platform {
namespace {

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kValueName[] = L"Quorvel打印服务端";
const HKEY kRoots[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

class RegKey {
 public:
  RegKey() = default;
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  // Opens (and with `create`, creates) the Run key of `root` with `access`.
  bool Open(HKEY root, REGSAM access, bool create) {
    const LONG rc =
        create ? RegCreateKeyExW(root, kRunKey, 0, nullptr, 0, access, nullptr, &key_, nullptr)
               : RegOpenKeyExW(root, kRunKey, 0, access, &key_);
    if (rc != ERROR_SUCCESS) key_ = nullptr;
    return rc == ERROR_SUCCESS;
  }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

bool ValueExists(HKEY root) {
  RegKey key;
  if (!key.Open(root, KEY_QUERY_VALUE, false)) return false;
  return RegQueryValueExW(key.Get(), kValueName, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

bool WriteValue(HKEY root, const std::wstring& data) {
  RegKey key;
  if (!key.Open(root, KEY_SET_VALUE, true)) return false;
  const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key.Get(), kValueName, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(data.c_str()), bytes) == ERROR_SUCCESS;
}

void DeleteValue(HKEY root) {
  RegKey key;
  if (!key.Open(root, KEY_SET_VALUE | DELETE | KEY_ENUMERATE_SUB_KEYS, false)) return;
  // A subkey of that name also counts as the entry for older installations; remove it when
  // there is no value to delete.
  if (RegDeleteValueW(key.Get(), kValueName) != ERROR_SUCCESS) {
    RegDeleteKeyW(key.Get(), kValueName);
  }
}

class RegistryAutostart : public Autostart {
 public:
  bool Exists() override {
    for (HKEY root : kRoots) {
      if (ValueExists(root)) return true;
    }
    return false;
  }

  bool Set(const std::string& program, const std::string& argument) override {
    // The path goes in quotes. Unquoted, Windows resolves a path with spaces by trying each
    // space as the end of the name, so "C:\Program.exe" or "C:\Program Files.exe" would run
    // at every logon before the program. An unquoted value of an older version still counts
    // as the entry (Exists looks only at its presence) and is replaced here in quoted form.
    const std::wstring data = Wide("\"" + program + "\" " + argument);
    for (HKEY root : kRoots) {
      if (WriteValue(root, data)) return true;
    }
    return false;
  }

  bool Remove() override {
    for (HKEY root : kRoots) DeleteValue(root);
    return !Exists();
  }
};

}  // namespace

std::unique_ptr<Autostart> Autostart::Create() { return std::make_unique<RegistryAutostart>(); }

}  // namespace qv::platform
