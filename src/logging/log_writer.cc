#include "logging/log_writer.h"

#include <exception>

#include "platform/files/file_system.h"
#include "support/date_format.h"
#include "support/date_time.h"
#include "support/general_functions.h"

namespace qv {

std::string LogTimeStamp() {
  return DateTimeToStr(Now());
}

namespace {

bool TightenExistingFile(const std::string& path) {
  bool tightened = false;
  platform::RestrictToOwner(path, &tightened);
  return tightened;
}

}  // namespace

bool PrepareLogDirectory(const std::string& path) {
  const std::string directory = ExtractFilePath(path);
  if (directory.empty()) return false;
  return platform::DirectoryExists(directory) || platform::CreateDirectory(directory);
}

TLogWriter::TLogWriter(const std::string& path) : TLogWriter(path, DeferredStart{}) {
  StartWriter();
}

TLogWriter::TLogWriter(const std::string& path, DeferredStart)
    : TThreadedFileWriter(path, DeferredStart{}),
      Active(PrepareLogDirectory(path)),
      Tightened(Active && TightenExistingFile(path)) {}

TLogWriter::~TLogWriter() {
  StopWriter();
}

void TLogWriter::WriteLine(std::string text) {
  if (!Active) return;
  try {
    text += "\r\n";
    WriteText(text, /*add_time=*/false, /*add_line_end=*/false);
  } catch (const std::exception&) {
    // The worker cannot be reached (it did not start); the callers of the log are never told.
  }
}

}  // namespace qv
