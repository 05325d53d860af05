// The error report that a file writer's worker sends back to the thread that created the writer: the
// exception's class name as a length-prefixed string in a 256-byte field, the message's length as
// four bytes, little-endian, and the message itself, without a terminator (260 + N bytes in all).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qv {

constexpr size_t kErrorReportClassNameSize = 256;  // one length byte and at most 255 characters
constexpr size_t kErrorReportHeaderSize = kErrorReportClassNameSize + 4;

// The report of an exception. A class name longer than 255 characters keeps its first 255; the
// unused part of the name field is zero.
std::string BuildErrorReport(const std::string& class_name, const std::string& message);

// Reads a report; false when its size is below 260 bytes or differs from 260 + its message length.
bool ReadErrorReport(const void* data, uint32_t size, std::string* class_name, std::string* message);

}  // namespace qv
