// Files and directories by path. Failures return false and set the thread's last error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::platform {

bool FileExists(const std::string& path);  // an existing entry that is not a directory
bool DirectoryExists(const std::string& path);

// Which file a path names and how it stands: its volume and its number there (device and inode;
// volume serial and file index), its size and its last write time. A file put in another's place, or
// written to, has another stamp.
struct FileStamp {
  uint64_t volume = 0;
  uint64_t index = 0;
  uint64_t size = 0;
  uint64_t write_time = 0;  // in the platform's own units
  bool operator==(const FileStamp&) const = default;
};
bool GetFileStamp(const std::string& path, FileStamp* stamp);

// Creates one directory level (CreateDirectory); fails when the parent is missing or it exists.
bool CreateDirectory(const std::string& path);
// Creates a directory with every missing parent; true when it exists afterwards.
bool ForceDirectories(const std::string& path);

bool DeleteFile(const std::string& path);
// Deletes a directory with everything below it; true when nothing is left of it.
bool DeleteTree(const std::string& path);

// Whole-file reading and writing for small files. WriteWholeFile replaces the file; with owner_only
// a newly created file is readable and writable by its owner alone.
bool ReadWholeFile(const std::string& path, std::string* content);
bool WriteWholeFile(const std::string& path, const std::string& content, bool owner_only = false);

// True when the file exists and neither its group nor others may do anything with it; false with
// the last error set when it cannot be examined.
bool IsOwnerOnlyFile(const std::string& path);

// Creates an empty file readable and writable by its owner alone when nothing of that name exists;
// true as well when something does (it is left as it is). A symbolic link is not followed.
bool CreateOwnerOnlyFile(const std::string& path);
// Takes from an existing regular file what its group and others may do; *tightened (may be null)
// tells whether it granted them anything. True as well when there is no such file or it is no
// regular file (a symbolic link is not followed). On Windows a file keeps its rights.
bool RestrictToOwner(const std::string& path, bool* tightened = nullptr);
// ForceDirectories, the last level made readable, writable and searchable by its owner alone (an
// existing directory keeps its rights; on Windows the new one inherits its parent's).
bool ForcePrivateDirectory(const std::string& path);

// The names (not paths) of a directory's entries, "." and ".." left out, sorted.
bool ListDirectory(const std::string& path, std::vector<std::string>* names);

// A new empty directory with a unique name below the system's temporary directory.
std::string CreateTemporaryDirectory(const std::string& prefix);

// Changes the current working directory of the process.
bool SetCurrentDirectory(const std::string& path);
std::string GetCurrentDirectory();

}  // namespace qv::platform
