// A file opened for writing with a share mode, as CreateFile opens it: while one SharedFile holds a
// file, another writer's open fails with ERROR_SHARING_VIOLATION, whether it comes from this process or
// from another one. Failures return false and set the thread's last error.
//
// Only regular files are written: a device, a pipe or a FIFO of the name fails with
// ERROR_NOT_SUPPORTED, and no open waits for a reader. In a directory that users other than this
// process's and the administrator may write to, a symbolic link of the name fails with
// ERROR_BAD_PATHNAME: nobody can point the writer at a file of their choosing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qv::platform {

class SharedFile {
 public:
  SharedFile() = default;
  SharedFile(SharedFile&& other) noexcept;
  SharedFile& operator=(SharedFile&& other) noexcept;
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;
  ~SharedFile() { Close(); }

  // Opens an existing file for writing; others may read it but not write it (OPEN_EXISTING,
  // FILE_SHARE_READ). The position is at the start; nothing of the file is lost.
  bool OpenForWriting(const std::string& path);
  // Creates the file for reading and writing, replacing the contents of any file of that name, shared
  // with nobody (CREATE_ALWAYS, no sharing). A file that did not exist is created readable and writable
  // by its owner alone; one that did keeps its permissions. A file held by another writer is left
  // untouched.
  bool Create(const std::string& path);
  // Creates a file that does not exist yet, readable and writable by its owner alone and shared with
  // nobody (CREATE_NEW); fails with ERROR_FILE_EXISTS when a file of that name is there.
  bool CreateNew(const std::string& path);

  bool IsOpen() const { return handle_ >= 0; }

  // Moves the position to the end of the file; the new position goes to *position when given.
  bool SeekToEnd(uint64_t* position = nullptr);
  // Writes all of data at the position and moves the position past it.
  bool Write(std::string_view data);
  // Closes the file, which lets other writers in. Closing a closed file does nothing.
  void Close();

 private:
  enum class Disposition { kOpenExisting, kCreateAlways, kCreateNew };
  bool OpenLocked(const std::string& path, Disposition disposition);

  std::intptr_t handle_ = -1;  // the platform's handle of the open file: a file descriptor here
};

}  // namespace qv::platform
