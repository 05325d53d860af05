#include "logging/event_source_writer.h"

#include <limits>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "support/win_error_text.h"

namespace qv {

namespace {

// The system's event type of each TEventLogType, in the order of its values.
constexpr uint16_t kSystemEventTypes[] = {platform::EVENTLOG_ERROR_TYPE, platform::EVENTLOG_WARNING_TYPE,
                                          platform::EVENTLOG_INFORMATION_TYPE,
                                          platform::EVENTLOG_AUDIT_SUCCESS, platform::EVENTLOG_AUDIT_FAILURE};

}  // namespace

TVeskApplLogWriter::TVeskApplLogWriter(const std::string& server_name, const std::string& source_name)
    : TVeskApplLog(server_name, source_name) {
  Handle = platform::RegisterEventSource(ServerName, SourceName);
  if (Handle == platform::HEVENTLOG{})
    throw EApplLogError("Cannot register at EventViewer. " + LastErrorText(platform::GetLastError()));
}

TVeskApplLogWriter::~TVeskApplLogWriter() {
  if (Handle != platform::HEVENTLOG{}) platform::DeregisterEventSource(Handle);
}

bool TVeskApplLogWriter::WriteEvent(TEventLogType type, uint16_t category, uint32_t event_id,
                                    const std::vector<std::string>* strings, const void* data,
                                    uint32_t data_size) {
  if (Handle == platform::HEVENTLOG{})
    throw EApplLogError("Cannot write to event log, because Handle is zero");
  const auto type_number = static_cast<unsigned>(type);
  if (type_number >= std::size(kSystemEventTypes))
    throw EApplLogError("Invalid EventLogType supplied: " + std::to_string(type_number));
  // The system takes the count as 16 bits: more strings would be cut to the count's remainder, so such
  // an event is refused whole instead of being written with strings missing.
  if (strings != nullptr && strings->size() > std::numeric_limits<uint16_t>::max()) {
    platform::SetLastError(platform::ERROR_INVALID_PARAMETER);
    return false;
  }
  // The pointers refer to each string's own NUL-terminated buffer; nothing is left to release.
  std::vector<const char*> texts;
  if (strings != nullptr) {
    texts.reserve(strings->size());
    for (const std::string& text : *strings) texts.push_back(text.c_str());
  }
  return platform::ReportEvent(Handle, kSystemEventTypes[type_number], category, event_id, nullptr,
                               static_cast<uint16_t>(texts.size()), data_size,
                               texts.empty() ? nullptr : texts.data(), data);
}

bool TVeskApplLogWriter::WriteEvent(TEventLogType type, uint16_t category, uint32_t event_id) {
  return WriteEvent(type, category, event_id, nullptr, nullptr, 0);
}

bool TVeskApplLogWriter::WriteEvent(TEventLogType type, uint16_t category, uint32_t event_id,
                                    const std::vector<std::string>& strings) {
  return WriteEvent(type, category, event_id, &strings, nullptr, 0);
}

bool TVeskApplLogWriter::WriteEvent(TEventLogType type, uint16_t category, uint32_t event_id,
                                    const std::string& text) {
  const std::vector<std::string> strings{text};
  return WriteEvent(type, category, event_id, &strings, nullptr, 0);
}

}  // namespace qv
