// TLogWriter: a threaded file writer that writes whole lines, and only when the file's directory
// existed or could be created (one level) when the writer was made.
#pragma once

#include <string>

#include "logging/threaded_file_writer.h"

namespace qv {

class TLogWriter : public TThreadedFileWriter {
 public:
  // Checks the directory part of the path (up to its last path delimiter), creating it when it is
  // missing and its parent exists; an empty directory part leaves the writer inactive. The worker
  // runs in any case.
  explicit TLogWriter(const std::string& path);
  ~TLogWriter() override;

  // Queues text + CR LF when the writer is active. Never raises: a line that cannot be queued is lost.
  void WriteLine(std::string text);

  // True when the file's directory existed or was created; an inactive writer never writes anything.
  const bool Active;
  // True when the file existed with rights for its group or others, which the writer took away: the
  // file is readable and writable by its owner alone, as a file the writer creates is.
  const bool Tightened;
  // The trace line that tells of it.
  std::string TightenedText() const { return "File made readable by its owner alone: " + FileName; }

 protected:
  // For derived classes, which start the worker at the end of their own constructor.
  TLogWriter(const std::string& path, DeferredStart);
};

// The time stamp of the trace and request-log lines: the current local date and time as the default
// date-time text (the short date, and the long time unless it is 00:00:00), without milliseconds.
std::string LogTimeStamp();

// Makes sure the directory part of the path exists, creating one level when it is missing; false for
// an empty directory part and when the creation fails.
bool PrepareLogDirectory(const std::string& path);

}  // namespace qv
