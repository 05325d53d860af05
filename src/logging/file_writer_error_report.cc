#include "logging/file_writer_error_report.h"

#include <algorithm>

namespace qv {

std::string BuildErrorReport(const std::string& class_name, const std::string& message) {
  std::string report(kErrorReportHeaderSize + message.size(), '\0');
  const size_t name_length = std::min<size_t>(class_name.size(), kErrorReportClassNameSize - 1);
  report[0] = static_cast<char>(name_length);
  class_name.copy(&report[1], name_length);
  const uint32_t message_length = static_cast<uint32_t>(message.size());
  for (int i = 0; i < 4; ++i)
    report[kErrorReportClassNameSize + i] = static_cast<char>((message_length >> (8 * i)) & 0xFF);
  message.copy(&report[kErrorReportHeaderSize], message.size());
  return report;
}

bool ReadErrorReport(const void* data, uint32_t size, std::string* class_name, std::string* message) {
  if (data == nullptr || size < kErrorReportHeaderSize) return false;
  const auto* bytes = static_cast<const unsigned char*>(data);
  uint32_t message_length = 0;
  for (int i = 0; i < 4; ++i)
    message_length |= static_cast<uint32_t>(bytes[kErrorReportClassNameSize + i]) << (8 * i);
  if (size - kErrorReportHeaderSize != message_length) return false;
  class_name->assign(reinterpret_cast<const char*>(bytes + 1), bytes[0]);
  message->assign(reinterpret_cast<const char*>(bytes + kErrorReportHeaderSize), message_length);
  return true;
}

}  // namespace qv
