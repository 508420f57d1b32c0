// Files on Windows through the W entry points, so that Chinese file names ("打印机列表.txt",
// log prefixes) work whatever the machine's code page.
#include "platform/file_system.h"

#include <windows.h>
// After windows.h, which defines what it needs.
#include <shlobj.h>

#include <algorithm>

#include "platform/win32/wide.h"

namespace qv::platform {
namespace {

using win32::Handle;
using win32::Wide;

bool WriteAll(HANDLE h, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1 << 20));
    if (!::WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

bool WriteWith(const std::string& path, std::string_view bytes, DWORD disposition, bool append,
               bool flush) {
  Handle h(CreateFileW(Wide(path).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                       FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.Ok() || !WriteAll(h.Get(), bytes)) return false;
  return !flush || FlushFileBuffers(h.Get());
}

struct FindTraits {
  using Value = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static bool Usable(HANDLE h) { return h != INVALID_HANDLE_VALUE; }
  static bool Close(HANDLE h) { return FindClose(h) != 0; }
};

}  // namespace

std::string ProgramPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return win32::Narrow(std::wstring_view(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
}

std::string ProgramDirectory() {
  const std::string path = ProgramPath();
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string out(dir);
  if (!out.empty() && out.back() != '\\' && out.back() != '/') out += '\\';
  out += name;
  return out;
}

bool ReadFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  Handle h(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.Ok()) return false;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(h.Get(), buffer, sizeof buffer, &n, nullptr)) return false;
    if (n == 0) return true;
    bytes.append(buffer, n);
  }
}

bool WriteFile(const std::string& path, std::string_view bytes) {
  return WriteWith(path, bytes, CREATE_ALWAYS, false, false);
}

bool AppendFile(const std::string& path, std::string_view bytes) {
  return WriteWith(path, bytes, OPEN_ALWAYS, true, false);
}

bool AppendFileWhole(const std::string& path, std::string_view bytes, uint64_t& offset) {
  Handle h(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!h.Ok() || !GetFileSizeEx(h.Get(), &size)) return false;
  offset = static_cast<uint64_t>(size.QuadPart);
  if (!SetFilePointerEx(h.Get(), size, nullptr, FILE_BEGIN)) return false;
  if (!WriteAll(h.Get(), bytes) || !FlushFileBuffers(h.Get())) {
    // Shrinking takes no room, so this works on a full disk; a reader never sees half a write.
    if (SetFilePointerEx(h.Get(), size, nullptr, FILE_BEGIN)) SetEndOfFile(h.Get());
    return false;
  }
  return true;
}

bool OverwriteFile(const std::string& path, uint64_t offset, std::string_view bytes) {
  Handle h(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!h.Ok() || !GetFileSizeEx(h.Get(), &size)) return false;
  if (offset + bytes.size() > static_cast<uint64_t>(size.QuadPart)) return false;
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(h.Get(), at, nullptr, FILE_BEGIN) && WriteAll(h.Get(), bytes);
}

bool FlushFile(const std::string& path) {
  Handle h(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  return h.Ok() && FlushFileBuffers(h.Get());
}

bool ReplaceFileDurably(const std::string& path, std::string_view bytes) {
  const std::string temp = path + ".tmp";
  if (!WriteWith(temp, bytes, CREATE_ALWAYS, false, true)) {
    DeleteFileW(Wide(temp).c_str());
    return false;
  }
  if (!MoveFileExW(Wide(temp).c_str(), Wide(path).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(Wide(temp).c_str());
    return false;
  }
  return true;
}

std::vector<FileEntry> ListFiles(const std::string& dir) {
  std::vector<FileEntry> files;
  WIN32_FIND_DATAW data;
  UniqueHandle<FindTraits> find(FindFirstFileW(Wide(JoinPath(dir, "*")).c_str(), &data));
  if (!find.Ok()) return files;
  do {
    // Reparse points (links) are not followed, as on POSIX.
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    files.push_back({win32::Narrow(data.cFileName), size});
  } while (FindNextFileW(find.Get(), &data));
  return files;
}

bool FileExists(const std::string& path) {
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
  const DWORD a = GetFileAttributesW(Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectory(const std::string& path) {
  return CreateDirectoryW(Wide(path).c_str(), nullptr) || DirectoryExists(path);
}

bool RemoveFile(const std::string& path) {
  return DeleteFileW(Wide(path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

bool RenameFile(const std::string& from, const std::string& to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING);
}

bool ChangeDirectory(const std::string& dir) { return SetCurrentDirectoryW(Wide(dir).c_str()); }

bool DirectoryWritable(const std::string& dir) {
  // Only a try tells: the folder's ACL, the account's groups, a read-only share and UAC's
  // filtered administrator token all decide, and no single query weighs them all. The probe
  // goes away by itself when its handle closes, even if the program is killed.
  const std::wstring probe =
      Wide(JoinPath(dir, "~qv-write-probe-" + std::to_string(GetCurrentProcessId())));
  Handle h(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  return h.Ok();
}

std::string MachineDataDirectory() {
  wchar_t common[MAX_PATH];
  if (SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common) !=
      S_OK) {
    return {};
  }
  return JoinPath(win32::Narrow(common), "Quorvel打印服务端");
}

}  // namespace qv::platform
