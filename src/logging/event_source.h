// TVeskApplLog: the names of an event source and of the machine whose event log it writes, and the
// source's registration in the registry (EventMessageFile, through which a viewer finds the message
// catalogue). The base of the event-log writers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/errors/exception.h"
#include "platform/event_log/event_log.h"

namespace qv {

// The event log cannot be opened or written: "Cannot register at EventViewer. LastError: %d (%s)",
// "Cannot write to event log, because Handle is zero", "Invalid EventLogType supplied: %d".
QV_EXCEPTION_CLASS(EApplLogError, Exception);

// The five event types, passed as one byte; WriteEvent maps them to the system's types.
enum TEventLogType : uint8_t { eltError, eltWarning, eltInformation, eltAuditSuccess, eltAuditFailure };

class TVeskApplLog {
 public:
  // Keeps the names and registers the source: below HKEY_LOCAL_MACHINE of this machine (also when
  // a server is named), the key kApplicationLogKey\<source> is created when missing and given
  // EventMessageFile = this program's file unless it has that value already. A registry that refuses
  // is passed over. An empty source name stands for the program file's name without its extension.
  TVeskApplLog(const std::string& server_name, const std::string& source_name);
  TVeskApplLog(const TVeskApplLog&) = delete;
  TVeskApplLog& operator=(const TVeskApplLog&) = delete;

  const std::string ServerName;  // empty: the local machine
  const std::string SourceName;

 protected:
  platform::HEVENTLOG Handle{};  // the open event source; none until a writer opens it

 private:
  void RegisterSource();
};

}  // namespace qv
