// Files and directories, addressed by UTF-8 paths on every platform.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv::platform {

// Full path of the running executable; empty on failure.
std::string ProgramPath();

// Directory holding the running executable, without a trailing separator.
std::string ProgramDirectory();

// dir + the platform's separator + name ("\" on Windows, "/" elsewhere).
std::string JoinPath(std::string_view dir, std::string_view name);

// Whole file into `bytes`; false when it cannot be read.
bool ReadFile(const std::string& path, std::string& bytes);

// Creates or replaces the file with `bytes`; false on any failure.
bool WriteFile(const std::string& path, std::string_view bytes);

// Appends `bytes` to the file, creating it when missing; false on any failure.
bool AppendFile(const std::string& path, std::string_view bytes);

// Appends `bytes` to the file, creating it when missing, and flushes the file's data to disk,
// earlier writes included; `offset` gets where they begin (the file's length before). On
// failure (a full disk) the file is cut back to that length, never left ending in a part of
// `bytes`, and false is returned.
bool AppendFileWhole(const std::string& path, std::string_view bytes, uint64_t& offset);

// Writes `bytes` over the existing file's content at `offset` without changing its length, so
// it needs no new room on the disk; not flushed. False when the file cannot be opened for
// writing, the range passes its end, or the write fails.
bool OverwriteFile(const std::string& path, uint64_t offset, std::string_view bytes);

// Flushes the existing file's written data to disk; false when it cannot be opened or flushed.
bool FlushFile(const std::string& path);

// Replaces the file so that a crash or power loss at any moment leaves either the old or the
// new content: write a temporary file beside it, flush it to disk, rename it over the target
// and flush the directory. False on any failure (the old file is then untouched).
bool ReplaceFileDurably(const std::string& path, std::string_view bytes);

// One regular file of a directory listing: its name (UTF-8, no directory part) and size.
struct FileEntry {
  std::string name;
  uint64_t size = 0;
};

// The regular files directly inside `dir`, in no particular order; empty when it cannot be
// read. Subdirectories and other kinds of entry are left out.
std::vector<FileEntry> ListFiles(const std::string& dir);

bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);

// Creates one directory level; true when it exists afterwards.
bool MakeDirectory(const std::string& path);

// Removes a file; true when it no longer exists.
bool RemoveFile(const std::string& path);

// Renames a file, replacing the target; false on failure.
bool RenameFile(const std::string& from, const std::string& to);

// Makes `dir` the base of relative file names; false on failure.
bool ChangeDirectory(const std::string& dir);

// True when the running account may create and delete files in `dir`; false when it may not
// or the directory is missing.
bool DirectoryWritable(const std::string& dir);

// The per-machine folder an installed program keeps the shop's files in (Windows:
// %ProgramData%\Quorvel打印服务端, made by the installer); empty where the platform has none
// (Linux packages keep them in the program's own directory under /var/lib).
std::string MachineDataDirectory();

}  // namespace qv::platform
