// THtmlLogWriter: the request log, one line per request: the time stamp, a blank, the client's
// address, a blank, the request's GET line with the password masked, and CR LF. The process-wide
// request log is RequestLog.
#pragma once

#include <string>

#include "logging/log_writer.h"
#include "support/process_wide.h"

namespace qv {

class THtmlLogWriter final : public TLogWriter {
 public:
  // The file and the switch of the settings snapshot (LogFile, logging).
  THtmlLogWriter();
  // The given file with the snapshot's switch.
  explicit THtmlLogWriter(const std::string& path);
  THtmlLogWriter(const std::string& path, bool enabled);
  ~THtmlLogWriter() override;

  // Writes the request's line when the log is enabled. Never raises.
  void LogRequest(const std::string& address, const std::string& line, const std::string& password);

  const bool Enabled;
};

// The GET line as the request log shows it: the password after "P=" replaced by eight asterisks,
// whatever its length, and so is the value of every other P parameter (password_mask.h).
std::string MaskPassword(const std::string& line, const std::string& password);

// The process-wide request log, installed by the program entry after the trace writer.
extern ProcessWide<THtmlLogWriter> RequestLog;

}  // namespace qv
