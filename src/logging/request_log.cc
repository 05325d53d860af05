#include "logging/request_log.h"

#include <algorithm>
#include <exception>

#include "config/settings_snapshot.h"
#include "logging/password_mask.h"
#include "logging/trace_writer.h"

namespace qv {

constinit ProcessWide<THtmlLogWriter> RequestLog("RequestLog");

namespace {

constexpr char kPasswordMask[] = "********";  // always eight, whatever the password's length

// The first "P=" + password (exactly, case-sensitively) gets its password replaced by the mask; an
// empty password thus gets the mask inserted after the first "P=". A non-empty password is hidden
// wherever else the line offers it after "P=" or "p=".
std::string MaskGivenPassword(const std::string& line, const std::string& password) {
  const std::string upper = "P=" + password;
  if (password.empty()) {
    const size_t at = line.find(upper);
    if (at == std::string::npos) return line;
    return line.substr(0, at + 2) + kPasswordMask + line.substr(at + 2);
  }
  const std::string lower = "p=" + password;
  std::string masked;
  size_t from = 0;
  for (;;) {
    const size_t at = std::min(line.find(upper, from), line.find(lower, from));
    if (at == std::string::npos) break;
    masked.append(line, from, at + 2 - from);
    masked += kPasswordMask;
    from = at + upper.size();
  }
  masked.append(line, from, std::string::npos);
  return masked;
}

}  // namespace

// The given password first, then every P parameter of the line whatever its value: a second P, or one
// that arrives percent-escaped while the password given is the decoded one, never shows.
std::string MaskPassword(const std::string& line, const std::string& password) {
  return MaskPasswords(MaskGivenPassword(line, password));
}

THtmlLogWriter::THtmlLogWriter() : THtmlLogWriter(Config->LogFile, Config->logging) {}

THtmlLogWriter::THtmlLogWriter(const std::string& path) : THtmlLogWriter(path, Config->logging) {}

THtmlLogWriter::THtmlLogWriter(const std::string& path, bool enabled)
    : TLogWriter(path, DeferredStart{}), Enabled(enabled) {
  StartWriter();
  if (Tightened && TraceWriter.Exists()) TraceWriter->Trace(TightenedText(), 2);
}

THtmlLogWriter::~THtmlLogWriter() {
  StopWriter();
}

void THtmlLogWriter::LogRequest(const std::string& address, const std::string& line,
                                const std::string& password) {
  if (!Enabled) return;
  try {
    WriteLine(LogTimeStamp() + " " + address + " " + MaskPassword(line, password));
  } catch (const std::exception&) {
    // Logging never fails its caller; the line is lost.
  }
}

}  // namespace qv
