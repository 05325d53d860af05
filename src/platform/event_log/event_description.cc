// Message texts of events. The catalogue is read with the message-table reader (message_table.h),
// the same reader a viewer on any platform needs; on Linux the event log's copies to the system log
// take their text from here.
#include "platform/event_log/event_description.h"

#include "platform/errors/exception.h"
#include "platform/errors/win_error.h"
#include "platform/event_log/event_log.h"
#include "platform/message_table/format_message.h"
#include "platform/message_table/message_table.h"
#include "platform/process/environment.h"
#include "platform/registry/registry.h"

namespace qv::platform {

namespace {

// %NAME% replaced by the environment variable's value; an unknown name stays as it is.
std::string ExpandEnvironmentStrings(const std::string& text) {
  std::string expanded;
  size_t at = 0;
  while (at < text.size()) {
    const size_t open = text.find('%', at);
    const size_t close = open == std::string::npos ? std::string::npos : text.find('%', open + 1);
    if (close == std::string::npos) {
      expanded += text.substr(at);
      break;
    }
    expanded += text.substr(at, open - at);
    const auto value = GetEnvironmentVariable(text.substr(open + 1, close - open - 1));
    if (value && close > open + 1) {
      expanded += *value;
      at = close + 1;
    } else {
      expanded += '%';  // the second % may open the next reference
      at = open + 1;
    }
  }
  return expanded;
}

}  // namespace

std::vector<std::string> EventMessageFiles(const std::string& source_name) {
  std::vector<std::string> files;
  if (source_name.empty()) return files;
  std::string data;
  uint32_t type = 0;
  try {
    RegKey key;
    if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, std::string(kApplicationLogKey) + "\\" + source_name, 0,
                     KEY_QUERY_VALUE, key.Receive()) != ERROR_SUCCESS ||
        RegQueryValueEx(key.Get(), "EventMessageFile", &type, &data) != ERROR_SUCCESS)
      return files;
  } catch (const Exception&) {  // an unusable registry names no files
    return files;
  }
  if (type != REG_SZ && type != REG_EXPAND_SZ) return files;
  data = data.substr(0, data.find('\0'));
  if (type == REG_EXPAND_SZ) data = ExpandEnvironmentStrings(data);
  size_t start = 0;
  while (start <= data.size()) {
    size_t end = data.find(';', start);
    if (end == std::string::npos) end = data.size();
    std::string file = data.substr(start, end - start);
    while (!file.empty() && file.front() == ' ') file.erase(0, 1);
    while (!file.empty() && file.back() == ' ') file.pop_back();
    if (!file.empty()) files.push_back(file);
    start = end + 1;
  }
  return files;
}

bool FormatEventDescription(const std::vector<std::string>& message_files, uint32_t event_id,
                            const std::vector<std::string>& strings, std::string* text) {
  for (const std::string& file : message_files) {
    std::string message;
    if (!LoadMessageText(file, event_id, &message)) continue;
    *text = FormatMessageText(message, strings);
    return true;
  }
  return false;
}

std::string MissingEventDescription(const std::string& source_name, uint32_t event_id,
                                    const std::vector<std::string>& strings) {
  std::string text = "The description for Event ID " + std::to_string(event_id) + " from source " +
                     source_name +
                     " cannot be found. Either the component that raises this event is not installed on this "
                     "computer, or its message file (EventMessageFile) is missing or holds no such message.";
  if (!strings.empty()) {
    text += "\r\n\r\nThe following information was included with the event:\r\n";
    for (const std::string& insertion : strings) text += "\r\n" + insertion;
  }
  return text + "\r\n";
}

}  // namespace qv::platform
