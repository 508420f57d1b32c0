// The Run value in the registry of the test's Wine prefix (or of the Windows machine).
#include <windows.h>
// After windows.h, which defines what it needs.
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/autostart.h"

namespace qv::platform {
namespace {

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kValueName[] = L"Quorvel打印服务端";

// The value's text under `root`, or nothing when it is missing.
std::wstring RunValue(HKEY root) {
  wchar_t data[1024];
  DWORD size = sizeof data;
  if (RegGetValueW(root, kRunKey, kValueName, RRF_RT_REG_SZ, nullptr, data, &size) !=
      ERROR_SUCCESS) {
    return L"<missing>";
  }
  return data;
}

// Takes away the write access of everybody to the machine-wide Run key, as for a user
// without administrator rights, and gives the old access back when destroyed.
class ReadOnlyMachineRunKey {
 public:
  ReadOnlyMachineRunKey() {
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, READ_CONTROL | WRITE_DAC, nullptr,
                    &key_, nullptr);
    DWORD size = 0;
    RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
    saved_.resize(size);
    ok_ = RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(), &size) == ERROR_SUCCESS;
    PSECURITY_DESCRIPTOR readOnly = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;KR;;;WD)", SDDL_REVISION_1,
                                                         &readOnly, nullptr);
    ok_ = ok_ && RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
    LocalFree(readOnly);
  }
  ~ReadOnlyMachineRunKey() {
    RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data());
    RegCloseKey(key_);
  }
  bool Ok() const { return ok_; }

 private:
  HKEY key_ = nullptr;
  std::string saved_;
  bool ok_ = false;
};

const std::string kProgram = "C:\\Program Files\\Quorvel\\quorvel-print.exe";
const std::wstring kExpected = L"\"C:\\Program Files\\Quorvel\\quorvel-print.exe\" auto";
// What earlier versions and their installer wrote.
const std::wstring kUnquoted = L"C:\\Program Files\\Quorvel\\quorvel-print.exe auto";

void WriteRunValue(HKEY root, const std::wstring& data) {
  RegSetKeyValueW(root, kRunKey, kValueName, REG_SZ, data.c_str(),
                  static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

TEST(RegistryAutostart, MachineRunValueWithTheQuotedPath) {
  auto autostart = Autostart::Create();
  autostart->Remove();
  EXPECT_FALSE(autostart->Exists());

  ASSERT_TRUE(autostart->Set(kProgram, "auto"));
  EXPECT_TRUE(autostart->Exists());
  EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), kExpected);
  EXPECT_EQ(RunValue(HKEY_CURRENT_USER), L"<missing>");

  EXPECT_TRUE(autostart->Remove());
  EXPECT_FALSE(autostart->Exists());
  EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), L"<missing>");
}

TEST(RegistryAutostart, AnUnquotedValueCountsAndIsQuotedWhenSetAgain) {
  auto autostart = Autostart::Create();
  autostart->Remove();
  WriteRunValue(HKEY_LOCAL_MACHINE, kUnquoted);
  EXPECT_TRUE(autostart->Exists()) << "the settings box shows it checked";
  ASSERT_TRUE(autostart->Set(kProgram, "auto"));
  EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), kExpected);
  EXPECT_TRUE(autostart->Remove());

  WriteRunValue(HKEY_CURRENT_USER, kUnquoted);
  EXPECT_TRUE(autostart->Exists()) << "the user's unquoted value too";
  EXPECT_TRUE(autostart->Remove());
  EXPECT_EQ(RunValue(HKEY_CURRENT_USER), L"<missing>");
}

TEST(RegistryAutostart, FallsBackToTheUserWhenTheMachineKeyRefuses) {
  auto autostart = Autostart::Create();
  autostart->Remove();
  {
    ReadOnlyMachineRunKey readOnly;
    ASSERT_TRUE(readOnly.Ok());
    ASSERT_TRUE(autostart->Set(kProgram, "auto"));
    EXPECT_EQ(RunValue(HKEY_LOCAL_MACHINE), L"<missing>");
    EXPECT_EQ(RunValue(HKEY_CURRENT_USER), kExpected);
    EXPECT_TRUE(autostart->Exists());
    EXPECT_TRUE(autostart->Remove()) << "the user's value can go without the machine key";
  }
  EXPECT_FALSE(autostart->Exists());
  EXPECT_EQ(RunValue(HKEY_CURRENT_USER), L"<missing>");
}

}  // namespace
}  // namespace qv::platform
