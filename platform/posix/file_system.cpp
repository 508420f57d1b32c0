// Files on POSIX systems. Paths are UTF-8 byte strings already.
#include "platform/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/posix/fd.h"

namespace qv::platform {
namespace {

bool WriteWithFlags(const std::string& path, std::string_view bytes, int flags, bool sync) {
  Fd fd(::open(path.c_str(), flags | O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  if (!fd.Ok() || !WriteAll(fd.Get(), bytes)) return false;
  if (sync && ::fsync(fd.Get()) != 0) return false;
  return fd.Reset();
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

struct DirTraits {
  using Value = DIR*;
  static DIR* Invalid() { return nullptr; }
  static bool Usable(DIR* d) { return d != nullptr; }
  static bool Close(DIR* d) { return ::closedir(d) == 0; }
};

}  // namespace

std::string ProgramPath() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

std::string ProgramDirectory() { return DirectoryOf(ProgramPath()); }

std::string JoinPath(std::string_view dir, std::string_view name) {
  std::string out(dir);
  if (!out.empty() && out.back() != '/') out += '/';
  out += name;
  return out;
}

bool ReadFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Ok()) return false;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    bytes.append(buffer, static_cast<size_t>(n));
  }
}

bool WriteFile(const std::string& path, std::string_view bytes) {
  return WriteWithFlags(path, bytes, O_TRUNC, false);
}

bool AppendFile(const std::string& path, std::string_view bytes) {
  return WriteWithFlags(path, bytes, O_APPEND, false);
}

bool AppendFileWhole(const std::string& path, std::string_view bytes, uint64_t& offset) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  struct stat st;
  if (!fd.Ok() || ::fstat(fd.Get(), &st) != 0) return false;
  offset = static_cast<uint64_t>(st.st_size);
  if (::lseek(fd.Get(), st.st_size, SEEK_SET) < 0) return false;
  if (!WriteAll(fd.Get(), bytes) || ::fsync(fd.Get()) != 0) {
    // Shrinking takes no room, so this works on a full disk; a reader never sees half a write.
    while (::ftruncate(fd.Get(), st.st_size) != 0 && errno == EINTR) {
    }
    return false;
  }
  return fd.Reset();
}

bool OverwriteFile(const std::string& path, uint64_t offset, std::string_view bytes) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
  struct stat st;
  if (!fd.Ok() || ::fstat(fd.Get(), &st) != 0) return false;
  if (offset + bytes.size() > static_cast<uint64_t>(st.st_size)) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd.Get(), bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return fd.Reset();
}

bool FlushFile(const std::string& path) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
  return fd.Ok() && ::fsync(fd.Get()) == 0 && fd.Reset();
}

bool ReplaceFileDurably(const std::string& path, std::string_view bytes) {
  const std::string temp = path + ".tmp";
  if (!WriteWithFlags(temp, bytes, O_TRUNC, true)) {
    ::unlink(temp.c_str());
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  // The rename itself is only durable once the directory entry is on disk.
  Fd dir(::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Ok()) ::fsync(dir.Get());
  return true;
}

std::vector<FileEntry> ListFiles(const std::string& dir) {
  std::vector<FileEntry> files;
  UniqueHandle<DirTraits> d(::opendir(dir.c_str()));
  if (!d.Ok()) return files;
  while (const dirent* e = ::readdir(d.Get())) {
    struct stat st;
    if (::fstatat(::dirfd(d.Get()), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode)) continue;
    files.push_back({e->d_name, static_cast<uint64_t>(st.st_size)});
  }
  return files;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectory(const std::string& path) {
  return ::mkdir(path.c_str(), 0755) == 0 || DirectoryExists(path);
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 || errno == ENOENT; }

bool RenameFile(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

bool ChangeDirectory(const std::string& dir) { return ::chdir(dir.c_str()) == 0; }

bool DirectoryWritable(const std::string& dir) { return ::access(dir.c_str(), W_OK | X_OK) == 0; }

std::string MachineDataDirectory() { return {}; }

}  // namespace qv::platform
