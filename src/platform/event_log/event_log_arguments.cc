#include "platform/event_log/event_log_arguments.h"

#include "platform/errors/system_error.h"
#include "platform/errors/win_error.h"
#include "platform/process/module.h"
#include "platform/text/ascii_text.h"

namespace qv::platform {

namespace {

bool IsEventType(uint16_t type) {
  return type == EVENTLOG_SUCCESS || type == EVENTLOG_ERROR_TYPE || type == EVENTLOG_WARNING_TYPE ||
         type == EVENTLOG_INFORMATION_TYPE || type == EVENTLOG_AUDIT_SUCCESS ||
         type == EVENTLOG_AUDIT_FAILURE;
}

}  // namespace

bool IsLocalEventLogServer(std::string name) {
  while (!name.empty() && (name.front() == '\\' || name.front() == '/')) name.erase(0, 1);
  if (name.empty() || name == "." || AsciiUpperCase(name) == "LOCALHOST") return true;
  const std::string computer = AsciiUpperCase(GetComputerName());
  const std::string wanted = AsciiUpperCase(name);
  return wanted == computer || wanted == computer.substr(0, computer.find('.'));
}

bool TakeEventArguments(uint16_t type, uint16_t num_strings, uint32_t data_size, const char* const* strings,
                        const void* raw_data, std::vector<std::string>* texts) {
  if (!IsEventType(type) || (num_strings > 0 && strings == nullptr) ||
      (data_size > 0 && raw_data == nullptr) || data_size > kMaxEventDataSize)
    return FailWith(ERROR_INVALID_PARAMETER);
  texts->clear();
  texts->reserve(num_strings);
  for (uint16_t i = 0; i < num_strings; ++i) {
    if (strings[i] == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
    std::string text(strings[i]);
    if (text.size() > kMaxInsertionStringLength) text.resize(kMaxInsertionStringLength);
    texts->push_back(std::move(text));
  }
  return true;
}

bool TakeEventLogReadFlags(uint32_t flags, uint32_t max_records, const std::vector<EventLogRecord>* records,
                           EventLogReadRequest* request) {
  const bool sequential = (flags & EVENTLOG_SEQUENTIAL_READ) != 0;
  const bool seek = (flags & EVENTLOG_SEEK_READ) != 0;
  const bool forwards = (flags & EVENTLOG_FORWARDS_READ) != 0;
  const bool backwards = (flags & EVENTLOG_BACKWARDS_READ) != 0;
  if (sequential == seek || forwards == backwards || records == nullptr || max_records == 0)
    return FailWith(ERROR_INVALID_PARAMETER);
  request->seek = seek;
  request->backwards = backwards;
  return true;
}

}  // namespace qv::platform
